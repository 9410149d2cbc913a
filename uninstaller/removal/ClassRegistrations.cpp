#include "ClassRegistrations.h"

#include <string.h>

#include "../framework/Handles.h"
#include "../storage/ClassServers.h"

namespace {
constexpr LONG kDescriptionSize = 262;

bool FileExists(const char* path) {
  OFSTRUCT info;
  if (strlen(path) < sizeof info.szPathName) return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
  // OpenFile can't take a path longer than its own record holds.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One file name, nothing the platform would read as a step elsewhere.
// Neither `/` nor `:` is ever a trail byte, so a plain byte scan is exact.
bool IsPlainFileName(const char* name) {
  if (!*name || strpbrk(name, "/:")) return false;
  return name[strspn(name, ".")] != '\0';
}
}  // namespace

ControlWalk CollectProductControls(const Text& storageDir, HeldFolder& folder, OwnedList<ControlRecord>& records) {
  if (!storageDir.IsEmpty() && !folder.Open(storageDir)) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return ControlWalk::kFolderRefused;
  }
  auto visit = [&](HKEY classes, const char* name) {
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
  };
  return ForEachClass(visit) ? ControlWalk::kWalked : ControlWalk::kNoClasses;
}

bool IsPathInDir(const Text& dir, const char* path) {
  if (dir.IsEmpty() || !path || !*path) return false;
  Text full(path);
  int last = full.FindLastBackslash();
  if (last < 0) return false;
  return full.Left(last + 1).EqualsNoCase(dir) && IsPlainFileName(path + last + 1);
}
