#include "FolderIdentity.h"

#include "../framework/DirectorySearch.h"

bool ReadOpenedFolderIdentity(HANDLE opened, FolderIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(opened, &info)) return false;
  identity->volumeSerial = info.dwVolumeSerialNumber;
  identity->indexHigh = info.nFileIndexHigh;
  identity->indexLow = info.nFileIndexLow;
  return true;
}

// Backup semantics: the only way CreateFile opens a folder at all.
UniqueFile OpenForAttributes(const wchar_t* path) {
  return UniqueFile(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool ReadFolderIdentity(const wchar_t* path, FolderIdentity* identity) {
  UniqueFile opened = OpenForAttributes(path);
  return opened.IsValid() && ReadOpenedFolderIdentity(opened.Get(), identity);
}

bool ReadFolderIdentity(const Text& path, FolderIdentity* identity) {
  wchar_t wide[kWidePathSize];
  if (!ToWidePath(path.Get(), wide, kWidePathSize)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return ReadFolderIdentity(wide, identity);
}
