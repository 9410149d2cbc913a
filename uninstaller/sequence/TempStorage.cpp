#include "TempStorage.h"

#include "../framework/DirectorySearch.h"

namespace {
Text WithoutTrailingBackslash(const Text& dir) {
  int last = dir.FindLastBackslash();
  return last >= 0 && last == dir.Length() - 1 ? dir.Left(last) : dir;
}

Text SystemFolder(UINT (WINAPI* query)(LPSTR, UINT)) {
  char path[MAX_PATH];
  UINT length = query(path, sizeof path);
  return length > 0 && length < sizeof path ? Text(path, length) : Text();
}
}  // namespace

bool IsStoredFileToDelete(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0; }

bool IsProtectedFolder(const Text& dir) {
  Text bare = WithoutTrailingBackslash(dir);
  // "X:" (a drive root once its backslash is gone) or "" (the current root).
  if (bare.IsEmpty() || (bare.Length() == 2 && bare[1] == ':')) return true;
  Text windows = WithoutTrailingBackslash(SystemFolder(GetWindowsDirectoryA));
  Text system = WithoutTrailingBackslash(SystemFolder(GetSystemDirectoryA));
  return (!windows.IsEmpty() && bare.EqualsNoCase(windows)) || (!system.IsEmpty() && bare.EqualsNoCase(system));
}

bool DeleteStoredFile(Text path) {
  if (path.IsEmpty()) return true;
  return DeleteFileA(path.Get()) != FALSE;
}

bool CleanTempStorage(Text dir) {
  if (dir.IsEmpty()) return true;
  // Almost every file carries the archive bit and nothing is asked: a value
  // naming a root or the system's own folders must not empty them.
  if (IsProtectedFolder(dir)) return false;
  return ForEachDirectoryEntry(dir + "*.*", [&dir](const WIN32_FIND_DATAA& entry) {
    if (IsStoredFileToDelete(entry.dwFileAttributes)) DeleteStoredFile(dir + entry.cFileName);
  });
}
