#include "TempStorage.h"

#include "../framework/DirectorySearch.h"

namespace {
Text SystemFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char path[MAX_PATH];
  UINT length = query(path, sizeof path);
  return length > 0 && length < sizeof path ? Text(path, length) : Text();
}
}  // namespace

bool FolderGuard::Protect(const Text& folder) {
  if (count_ == kCapacity || folder.IsEmpty()) return false;
  if (!ReadFolderIdentity(folder, &protected_[count_])) return false;
  ++count_;
  return true;
}

void FolderGuard::ProtectSystemFolders() {
  // An empty floppy or card reader must fail quietly, not ask for a disk.
  // SetErrorMode tells the old mode only by replacing it: keep its flags.
  const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  UINT oldMode = SetErrorMode(quiet);
  SetErrorMode(oldMode | quiet);
  char drives[26 * 4 + 1];
  DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
  if (length > 0 && length < sizeof drives) {
    for (const char* root = drives; *root; root += lstrlenA(root) + 1) {
      if (GetDriveTypeA(root) != DRIVE_REMOTE) Protect(root);
    }
  }
  SetErrorMode(oldMode);

  Text windows = SystemFolder(GetWindowsDirectoryA);
  Protect(windows);
  Protect(SystemFolder(GetSystemWindowsDirectoryA));
  Protect(SystemFolder(GetSystemDirectoryA));
  // Fails on 32-bit Windows, where there is no such folder. A 32-bit
  // program on 64-bit Windows opening the system directory reaches the
  // 32-bit one; "Sysnative" reaches the real one.
  Protect(SystemFolder(GetSystemWow64DirectoryA));
  if (!windows.IsEmpty()) Protect(windows + "\\Sysnative");
}

bool FolderGuard::Allows(const Text& dir) const {
  FolderIdentity identity;
  if (!ReadFolderIdentity(dir, &identity)) return false;
  for (int i = 0; i < count_; ++i) {
    if (protected_[i] == identity) return false;
  }
  // A root the drive list does not show (a volume mounted in a folder, a
  // share). Without a volume path the drive roots above still hold.
  char volume[MAX_PATH];
  FolderIdentity root;
  if (GetVolumePathNameA(dir.Get(), volume, sizeof volume) && ReadFolderIdentity(volume, &root) && root == identity)
    return false;
  return true;
}

bool IsStoredFileToDelete(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0; }

bool DeleteStoredFile(Text path) {
  if (path.IsEmpty()) return true;
  return DeleteFileA(path.Get()) != FALSE;
}

bool CleanTempStorage(Text dir) {
  if (dir.IsEmpty()) return true;
  FolderGuard guard;
  guard.ProtectSystemFolders();
  return CleanTempStorage(dir, guard);
}

bool CleanTempStorage(Text dir, const FolderGuard& guard) {
  if (dir.IsEmpty()) return true;
  // Once, before the search: the identity can't change from file to file.
  if (!guard.Allows(dir)) return false;
  return ForEachDirectoryEntry(dir + "*.*", [&dir](const WIN32_FIND_DATAA& entry) {
    if (IsStoredFileToDelete(entry.dwFileAttributes)) DeleteStoredFile(dir + entry.cFileName);
  });
}
