#pragma once
// The class registrations under HKEY_CLASSES_ROOT\CLSID, as the control list
// and the cleanup read them. Reads only; nothing here writes a key.
#include "../framework/OwnedList.h"
#include "../framework/Text.h"
#include "ControlRecord.h"

// True only for a path that names a file directly in dir: its directory part
// (up to its last backslash, double-byte aware) equals dir, ignoring case by
// the code page, and the rest is one plain file name: not empty, no `/`, no
// `:`, and not made of dots alone (`.`, `..`). The platform would read a
// `/` as a separator and `..` as a step up, so anything else may name a
// file outside dir.
bool IsPathInDir(const Text& dir, const char* path);

// Walks the classes under HKEY_CLASSES_ROOT\CLSID in registry order and
// appends one record for each class marked "Control" whose server file lies
// directly in storageDir (IsPathInDir). None, and true, when a link leads
// to storageDir (IsReachedWithoutLinks): no file there is surely the
// product's. False if "CLSID" can't be opened.
bool CollectProductControls(const Text& storageDir, OwnedList<ControlRecord>& records);

// Calls visit(context, serverPath) with the in-process server path (the
// default value of "<class>\InprocServer32", as stored) of every class under
// HKEY_CLASSES_ROOT\CLSID, controls or not. One query per class; reads only.
// False if "CLSID" can't be opened.
bool ForEachClassServer(void (*visit)(void* context, const char* serverPath), void* context);

template <typename Visit>
bool ForEachClassServer(Visit& visit) {
  return ForEachClassServer([](void* context, const char* path) { (*static_cast<Visit*>(context))(path); }, &visit);
}
