#pragma once
// The product's controls among the class registrations under
// HKEY_CLASSES_ROOT\CLSID, as the control list finds them. Reads only;
// nothing here writes a key.
#include "../framework/OwnedList.h"
#include "../framework/Text.h"
#include "../storage/HeldFolder.h"
#include "ControlRecord.h"

// True only for a path that names a file directly in dir: its directory part
// (up to its last backslash, double-byte aware) equals dir, ignoring case by
// the code page, and the rest is one plain file name: not empty, no `/`, no
// `:`, and not made of dots alone (`.`, `..`). The platform would read a
// `/` as a separator and `..` as a step up, so anything else may name a
// file outside dir.
bool IsPathInDir(const Text& dir, const char* path);

// How the walk of CollectProductControls ended.
enum class ControlWalk { kWalked, kNoClasses, kFolderRefused };

// Holds storageDir in folder (HeldFolder::Open), then walks the classes
// under HKEY_CLASSES_ROOT\CLSID in registry order and appends one record for
// each class marked "Control" whose server file lies directly in storageDir
// (IsPathInDir). A storageDir that does not exist holds nothing and still
// lists its controls, as missing files. kFolderRefused, nothing walked, when
// the folder is there but can't be held (a link leads to it, it can't be
// opened): no file there is surely the product's. kNoClasses if "CLSID"
// can't be opened.
ControlWalk CollectProductControls(const Text& storageDir, HeldFolder& folder, OwnedList<ControlRecord>& records);
