#pragma once
// Whether a file or folder is reached without passing a link another user
// could have made. The program runs with administrator rights, and an
// ordinary user can rename a folder the product left writable and put a link
// in its place, so whatever it deletes, loads or hands on passes this rule.
//
// The rule is decided on an open handle, not on a path read twice: the name
// the system gives the open object is compared with the name the path has
// when no link but those only administrators could change is followed. A
// link swapped in before the open and out again before the check leaves the
// handle named after the place the link led to, so it fails.
#include <windows.h>

#include "../framework/DirectorySearch.h"
#include "../framework/Text.h"

// Whether no ordinary user could have made or changed a link with the
// security descriptor link, lying in a folder with the descriptor parent:
// the link's owner is SYSTEM, TrustedInstaller or Administrators, and no
// entry of either access list that applies to the object itself (not
// inherit-only) allows anyone else to change the link (write its data,
// attributes or extended attributes, append, delete it, change its access
// list or owner, generic write or all) or, in the parent's, to delete its
// children. No access list means anyone. Deny entries are passed over: they
// take nothing from what another entry allows. The owner alone says only who
// made the folder: setting a reparse point needs no more than the right to
// write an empty folder, and it keeps that owner.
bool IsLinkOnlyAdministratorsChange(PSECURITY_DESCRIPTOR link, PSECURITY_DESCRIPTOR parent);

// Whether an entry with these attributes and reparse tag is a link: a
// reparse point whose tag the platform marks as a name surrogate (symbolic
// links, mount points, junctions and the like). Every other reparse point (a
// compressed, deduplicated or cloud-synced file) is the file or folder
// itself. A reparse point without a tag counts as a link: a platform that
// does not tell (Wine tells none) can't show it is none.
bool IsLink(DWORD attributes, DWORD reparseTag);

// Whether two names (lengths in UTF-16 units) are one to the file system:
// equal ignoring case, ordinally (false where the platform lacks the call).
bool IsSameNameIgnoringCase(const wchar_t* one, int length, const wchar_t* other, int otherLength);

// A full name as the rule compares them: no device prefix ("\\?\C:\x" is
// "C:\x", "\\?\UNC\s\x" is "\\s\x") and no trailing backslash.
class PathName {
 public:
  static const int kCapacity = kWidePathSize;

  bool Set(const wchar_t* text, int length);
  bool AppendPart(const wchar_t* part, int length);
  // The one reading of the name the system gives opened: its final path,
  // normalized (long names, links resolved), with its drive letter.
  bool ReadFinal(HANDLE opened);
  bool IsSameIgnoringCase(const PathName& other) const {
    return IsSameNameIgnoringCase(text_, length_, other.text_, other.length_);
  }
  const wchar_t* Chars() const { return text_; }
  int Length() const { return length_; }

 private:
  bool Append(const wchar_t* text, int length);
  bool TrimEnd();

  wchar_t text_[kCapacity];
  int length_ = 0;
};

// Whether opened (a file or folder, any access) is what path names with no
// link followed on the way but those no ordinary user could change. The name
// the system gives opened must equal path in full (GetFullPathName, relative
// to the current directory) with each part as the folder above lists it (its
// long name, read through the "\\?\" form, so that a trailing space or dot
// stays), where a part that is a link (IsLink) passing
// IsLinkOnlyAdministratorsChange stands for the name of what it leads to,
// and the parts beneath it are read beneath that. Under WOW64 the
// redirection of the system directory to the 32-bit one is followed too.
// Letter case is ignored, ordinally.
//
// False for any other link on the way, a part that can't be read (opened
// exists, so its path must too), a part with a wildcard or made of dots, a
// path the platform can't take in full. Wide-character calls throughout,
// so that no name is turned into a look-alike on the way; paths of any
// length the program reads. One directory read per part of the path, three
// more opens per link. finalName, if given, receives opened's final
// name (PathName::ReadFinal), read once for both.
bool IsReachedWithoutLinks(HANDLE opened, const wchar_t* path, PathName* finalName = nullptr);

// The same for what path (ANSI, converted exactly, ToWidePath) names, opened
// here for its attributes. False, too, when it can't be opened or converted.
bool IsReachedWithoutLinks(const Text& path);
