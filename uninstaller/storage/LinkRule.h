#pragma once
// Whether a file or folder is reached without passing a link another user
// could have made. The program runs with administrator rights, and an
// ordinary user can rename a folder the product left writable and put a link
// in its place, so whatever it deletes, loads or hands on passes this rule.
//
// The rule is decided on an open handle, not on a path read twice: the name
// the system gives the open object is compared with the name the path has
// when no link but the system's own is followed. A link swapped in before
// the open and out again before the check leaves the handle named after the
// place the link led to, so it fails.
#include <windows.h>

#include "../framework/Text.h"

// Whether opened (a file or folder, any access) is what path names with no
// link followed on the way but the system's own. The name the system gives
// opened (its final path: long names, links resolved) must equal path in
// full (GetFullPathName, relative to the current directory) with each part
// as the folder above lists it (its long name), where a part that is a link
// owned by SYSTEM, TrustedInstaller or the Administrators group, as the
// system's own links are, stands for the name of what it leads to. Under
// WOW64 the redirection of the system directory to the 32-bit one counts as
// the system's own too. Letter case is ignored, ordinally.
//
// False for any other link on the way, a part that can't be read (opened
// exists, so its path must too), a part with a wildcard or made of dots, a
// path the platform can't take in full, and where the platform lacks the
// final-name call (before Windows Vista). Wide-character calls throughout,
// so that no name is turned into a look-alike on the way. One directory
// read per part of the path, one more open per system link.
bool IsReachedWithoutLinks(HANDLE opened, const wchar_t* path);

// Whether two names (lengths in UTF-16 units) are one to the file system:
// equal ignoring case, ordinally (CompareStringOrdinal, looked up at run
// time; false where the platform lacks it, before Windows Vista).
bool IsSameNameIgnoringCase(const wchar_t* one, int length, const wchar_t* other, int otherLength);

// The same for what path (ANSI, converted exactly) names, opened here for
// its attributes. False, too, when it can't be opened or converted.
bool IsReachedWithoutLinks(const Text& path);
