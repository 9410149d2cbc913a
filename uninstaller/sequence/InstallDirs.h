#pragma once
// The product's three directories, as recorded in the default user profile
// when it was installed. Read once at start-up; empty text means none given.
#include "../framework/Text.h"

struct InstallDirs {
  Text ocxStorageDir;   // "Ocx Storage": where the product put its controls
  Text tempStorageDir;  // "Temp Storage": its temporary files
  Text rootDir;         // "Root": its root directory
};

// Fills all three fields from HKEY_USERS: the primary key first, then the
// fallback key for each field that came back empty.
void ReadInstallDirs(InstallDirs& dirs);

// Reads the value named by the last component of a backslash-separated path,
// opening every earlier component as a key, one level at a time, beneath
// root. Returns the value's bytes up to the first zero byte as text, or empty
// text on any failure, including a value that does not fit (with its zero
// byte) into 520 bytes. Closes root on the way: pass a handle that is not
// needed afterwards (a predefined root key, passed anew on each call).
Text ReadRegistryText(HKEY root, Text path);

// Moves the first component of rest into head. Returns true while further
// components remain in rest; false once head holds the last one (or rest was
// empty). A backslash that is the trail byte of a double-byte character does
// not separate.
bool SplitHeadComponent(Text& head, Text& rest);
