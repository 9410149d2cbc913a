#include "FolderGuard.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "../framework/DirectorySearch.h"
#include "../framework/Handles.h"
#include "SystemFolder.h"

namespace {
const int kShellFolders[] = {
    CSIDL_PROFILE,          CSIDL_DESKTOPDIRECTORY,        CSIDL_PERSONAL,
    CSIDL_MYPICTURES,       CSIDL_MYMUSIC,                 CSIDL_MYVIDEO,
    CSIDL_FAVORITES,        CSIDL_TEMPLATES,               CSIDL_SENDTO,
    CSIDL_STARTMENU,        CSIDL_PROGRAMS,                CSIDL_STARTUP,
    CSIDL_RECENT,           CSIDL_NETHOOD,                 CSIDL_PRINTHOOD,
    CSIDL_COOKIES,          CSIDL_HISTORY,                 CSIDL_ADMINTOOLS,
    CSIDL_CDBURN_AREA,      CSIDL_APPDATA,                 CSIDL_LOCAL_APPDATA,
    CSIDL_COMMON_APPDATA,   CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS,
    CSIDL_COMMON_PICTURES,  CSIDL_COMMON_MUSIC,            CSIDL_COMMON_VIDEO,
    CSIDL_COMMON_FAVORITES, CSIDL_COMMON_TEMPLATES,        CSIDL_COMMON_STARTMENU,
    CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_STARTUP,          CSIDL_COMMON_ADMINTOOLS,
    CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILES_COMMON,    CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_FONTS,            CSIDL_RESOURCES,
};

// Folders that have no CSIDL.
const KNOWNFOLDERID* const kKnownFolders[] = {
    &FOLDERID_Downloads,        &FOLDERID_UserProfiles,    &FOLDERID_Public,
    &FOLDERID_PublicDownloads,  &FOLDERID_SavedGames,      &FOLDERID_Links,
    &FOLDERID_Contacts,         &FOLDERID_SavedSearches,   &FOLDERID_LocalAppDataLow,
    &FOLDERID_UserProgramFiles, &FOLDERID_Libraries,       &FOLDERID_PublicLibraries,
    &FOLDERID_Objects3D,        &FOLDERID_Screenshots,     &FOLDERID_SkyDrive,
};

// A REG_SZ or REG_EXPAND_SZ value, expanded, or false.
bool ReadFolderValue(HKEY key, const wchar_t* name, wchar_t* folder, DWORD size) {
  wchar_t stored[MAX_PATH];
  DWORD type = 0, bytes = sizeof stored - sizeof(wchar_t);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  stored[bytes / sizeof(wchar_t)] = L'\0';
  DWORD length = ExpandEnvironmentStringsW(stored, folder, size);
  return length > 0 && length <= size;
}

// What a failed read of a folder's identity says when the folder is simply
// not there: nothing to protect then (no such folder, no disk in the drive).
bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NOT_READY ||
         error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}
}  // namespace

bool FolderGuard::Record(bool read, const FolderIdentity& identity) {
  if (!read) {
    if (!IsAbsent(GetLastError())) failed_ = true;
    return false;
  }
  if (count_ == kCapacity) {
    failed_ = true;
    return false;
  }
  protected_[count_++] = identity;
  return true;
}

bool FolderGuard::Protect(const Text& folder) {
  FolderIdentity identity;
  return !folder.IsEmpty() && Record(ReadFolderIdentity(folder, &identity), identity);
}

bool FolderGuard::Protect(const wchar_t* folder) {
  FolderIdentity identity;
  return folder && *folder && Record(ReadFolderIdentity(folder, &identity), identity);
}

void FolderGuard::ProtectSystemFolders() {
  // An empty floppy or card reader must fail quietly, not ask for a disk.
  // SetErrorMode tells the old mode only by replacing it: keep its flags.
  {
    const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    SavedErrorMode previous(SetErrorMode(quiet));
    SetErrorMode(previous.Get() | quiet);
    char drives[26 * 4 + 1];
    DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
    if (length == 0 || length >= sizeof drives) failed_ = true;
    for (const char* root = drives; !failed_ && *root; root += lstrlenA(root) + 1) {
      // A root that can't be opened at all (a drive still locked by its
      // encryption, a volume not formatted) holds no folder to empty; where
      // it is the cleaned folder's own volume, Allows refuses that folder.
      FolderIdentity identity;
      if (GetDriveTypeA(root) != DRIVE_REMOTE && ReadFolderIdentity(Text(root), &identity)) Record(true, identity);
    }
  }

  const Text folders[] = {ReadSystemFolder(GetWindowsDirectoryA), ReadSystemFolder(GetSystemWindowsDirectoryA),
                          ReadSystemFolder(GetSystemDirectoryA)};
  for (const Text& folder : folders) {
    if (folder.IsEmpty()) failed_ = true;
    Protect(folder);
  }
  // Only 64-bit Windows has it. A 32-bit program there opening the system
  // directory reaches the 32-bit one; "Sysnative" reaches the real one.
  Text wow64 = ReadSystemFolder(GetSystemWow64DirectoryA);
  if (!wow64.IsEmpty()) {
    Protect(wow64);
    Protect(folders[0] + "\\Sysnative");
  }
}

void FolderGuard::ProtectShellFolders() {
  wchar_t folder[MAX_PATH];
  for (int csidl : kShellFolders) {
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) Protect(folder);
  }

  for (const KNOWNFOLDERID* id : kKnownFolders) {
    UniqueCoTaskString path;  // freed whatever the outcome
    if (SUCCEEDED(SHGetKnownFolderPath(*id, 0, nullptr, path.Put()))) Protect(path.Get());
  }

  // Only 64-bit Windows has a 32-bit system directory; elsewhere the 64-bit
  // view would be the only one, read twice.
  UniqueRegKey key;
  if (ReadSystemFolder(GetSystemWow64DirectoryA).IsEmpty()) return;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
    failed_ = true;
  static const wchar_t* const kNativeFolders[] = {L"ProgramFilesDir", L"CommonFilesDir"};
  for (const wchar_t* name : kNativeFolders) {
    if (failed_ || !ReadFolderValue(key.Get(), name, folder, MAX_PATH))
      failed_ = true;
    else
      Protect(folder);
  }
}

bool FolderGuard::Allows(HANDLE folder, const Text& dir) const {
  FolderIdentity identity, root;
  if (failed_ || !ReadOpenedFolderIdentity(folder, &identity)) return false;
  for (int i = 0; i < count_; ++i) {
    if (protected_[i] == identity) return false;
  }
  // A root the drive list does not show (a volume mounted in a folder, a share).
  wchar_t wide[kWidePathSize], volume[kWidePathSize];
  return ToWidePath(dir.Get(), wide, kWidePathSize) && GetVolumePathNameW(wide, volume, kWidePathSize) &&
         ReadFolderIdentity(volume, &root) && root != identity;
}

bool FolderGuard::Allows(const Text& dir) const {
  wchar_t wide[kWidePathSize];
  if (!ToWidePath(dir.Get(), wide, kWidePathSize)) return false;
  UniqueFile folder = OpenForAttributes(wide);
  return folder.IsValid() && Allows(folder.Get(), dir);
}
