#include "FolderIdentity.h"

#include "Handles.h"

bool ReadFolderIdentity(const Text& path, FolderIdentity* identity) {
  // Backup semantics: the only way CreateFile opens a folder at all.
  UniqueFile folder(CreateFileA(path.Get(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder.IsValid()) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(folder.Get(), &info)) return false;
  identity->volumeSerial = info.dwVolumeSerialNumber;
  identity->indexHigh = info.nFileIndexHigh;
  identity->indexLow = info.nFileIndexLow;
  return true;
}
