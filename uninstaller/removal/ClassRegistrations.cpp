#include "ClassRegistrations.h"

#include <string.h>

#include "../framework/Handles.h"
#include "../sequence/FolderGuard.h"

namespace {
constexpr int kClassNameSize = 261;
constexpr LONG kDescriptionSize = 262;
constexpr LONG kServerPathSize = 520;

// The default value of subKey beneath key, if it fits its buffer with its
// zero byte; bytes without one inside the buffer count as too long.
bool QueryDefaultText(HKEY key, const char* subKey, char* buffer, LONG size) {
  LONG got = size;
  if (RegQueryValueA(key, subKey, buffer, &got) != ERROR_SUCCESS) return false;
  return memchr(buffer, 0, size) != nullptr;
}

bool FileExists(const char* path) {
  OFSTRUCT info;
  if (strlen(path) < sizeof info.szPathName) return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
  // OpenFile can't take a path longer than its own record holds.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls visit(classes, name) for every class under HKEY_CLASSES_ROOT\CLSID,
// in registry order, the open "CLSID" key passed along. False if "CLSID"
// can't be opened.
template <typename Visit>
bool ForEachClass(Visit visit) {
  UniqueRegKey classes;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", classes.Put()) != ERROR_SUCCESS) return false;
  char name[kClassNameSize];
  for (DWORD index = 0; RegEnumKeyA(classes.Get(), index, name, sizeof name) == ERROR_SUCCESS; ++index)
    visit(classes.Get(), static_cast<const char*>(name));
  return true;
}

// The class's server path into buffer, if it fits with its zero byte.
bool QueryServerPath(HKEY classes, const char* name, char* buffer, LONG size) {
  char subKey[kClassNameSize + 16];
  wsprintfA(subKey, "%s\\InprocServer32", name);
  return QueryDefaultText(classes, subKey, buffer, size);
}

// One file name, nothing the platform would read as a step elsewhere.
// Neither `/` nor `:` is ever a trail byte, so a plain byte scan is exact.
bool IsPlainFileName(const char* name) {
  if (!*name || strpbrk(name, "/:")) return false;
  return name[strspn(name, ".")] != '\0';
}
}  // namespace

bool CollectProductControls(const Text& storageDir, OwnedList<ControlRecord>& records) {
  // A control folder a link leads to lists nothing: no file there is the product's.
  if (!storageDir.IsEmpty() && !IsReachedWithoutLinks(storageDir)) return true;
  return ForEachClass([&](HKEY classes, const char* name) {
    // "<class>\Control" first: one call rules out almost every class, and
    // none of these reads has a side effect, so the outcome is the same.
    char subKey[kClassNameSize + 16];
    wsprintfA(subKey, "%s\\Control", name);
    UniqueRegKey control;
    if (RegOpenKeyA(classes, subKey, control.Put()) != ERROR_SUCCESS) return;
    char description[kDescriptionSize];
    if (!QueryDefaultText(classes, name, description, sizeof description)) return;
    char serverPath[kServerPathSize];
    if (!QueryServerPath(classes, name, serverPath, sizeof serverPath)) return;
    if (!IsPathInDir(storageDir, serverPath)) return;

    ControlRecord* record = new ControlRecord;
    record->description = ControlRecord::CopyText(description);
    record->serverPath = ControlRecord::CopyText(serverPath);
    record->fileExists = FileExists(serverPath) ? 1 : 0;
    records.Add(record);
  });
}

bool ForEachClassServer(void (*visit)(void* context, const char* serverPath), void* context) {
  return ForEachClass([&](HKEY classes, const char* name) {
    char serverPath[kServerPathSize];
    if (QueryServerPath(classes, name, serverPath, sizeof serverPath)) visit(context, serverPath);
  });
}

bool IsPathInDir(const Text& dir, const char* path) {
  if (dir.IsEmpty() || !path || !*path) return false;
  Text full(path);
  int last = full.FindLastBackslash();
  if (last < 0) return false;
  return full.Left(last + 1).EqualsNoCase(dir) && IsPlainFileName(path + last + 1);
}
