#include "FolderIdentity.h"

#include "../framework/Handles.h"

namespace {
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool ReadOpenedIdentity(const UniqueFile& opened, FolderIdentity* identity) {
  return opened.IsValid() && ReadOpenedFolderIdentity(opened.Get(), identity);
}
}  // namespace

bool ReadOpenedFolderIdentity(HANDLE opened, FolderIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(opened, &info)) return false;
  identity->volumeSerial = info.dwVolumeSerialNumber;
  identity->indexHigh = info.nFileIndexHigh;
  identity->indexLow = info.nFileIndexLow;
  return true;
}

// Backup semantics: the only way CreateFile opens a folder at all.
bool ReadFolderIdentity(const Text& path, FolderIdentity* identity) {
  return ReadOpenedIdentity(UniqueFile(CreateFileA(path.Get(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
                            identity);
}

bool ReadFolderIdentity(const wchar_t* path, FolderIdentity* identity) {
  return ReadOpenedIdentity(UniqueFile(CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
                            identity);
}
