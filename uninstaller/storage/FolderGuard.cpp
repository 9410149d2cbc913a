#include "FolderGuard.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "../../common/SystemFunction.h"
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

using KnownFolderLookup = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

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
}  // namespace

bool FolderGuard::Protect(const FolderIdentity& identity) {
  if (count_ == kCapacity) return false;
  protected_[count_++] = identity;
  return true;
}

bool FolderGuard::Protect(const Text& folder) {
  FolderIdentity identity;
  return count_ < kCapacity && !folder.IsEmpty() && ReadFolderIdentity(folder, &identity) && Protect(identity);
}

bool FolderGuard::Protect(const wchar_t* folder) {
  FolderIdentity identity;
  return count_ < kCapacity && folder && *folder && ReadFolderIdentity(folder, &identity) && Protect(identity);
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
    if (length > 0 && length < sizeof drives) {
      for (const char* root = drives; *root; root += lstrlenA(root) + 1) {
        if (GetDriveTypeA(root) != DRIVE_REMOTE) Protect(root);
      }
    }
  }

  Text windows = ReadSystemFolder(GetWindowsDirectoryA);
  Protect(windows);
  Protect(ReadSystemFolder(GetSystemWindowsDirectoryA));
  Protect(ReadSystemFolder(GetSystemDirectoryA));
  // Fails on 32-bit Windows, where there is no such folder. A 32-bit
  // program on 64-bit Windows opening the system directory reaches the
  // 32-bit one; "Sysnative" reaches the real one.
  Protect(ReadSystemFolder(GetSystemWow64DirectoryA));
  if (!windows.IsEmpty()) Protect(windows + "\\Sysnative");
}

void FolderGuard::ProtectShellFolders() {
  wchar_t folder[MAX_PATH];
  for (int csidl : kShellFolders) {
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) Protect(folder);
  }

  auto lookup = FindSystemFunction<KnownFolderLookup>("shell32.dll", "SHGetKnownFolderPath");
  if (lookup) {
    for (const KNOWNFOLDERID* id : kKnownFolders) {
      UniqueCoTaskString path;  // freed whatever the outcome
      if (SUCCEEDED(lookup(*id, 0, nullptr, path.Put()))) Protect(path.Get());
    }
  }

  // Only 64-bit Windows has a 32-bit system directory; elsewhere the 64-bit
  // view would be the only one, read twice.
  UniqueRegKey key;
  if (ReadSystemFolder(GetSystemWow64DirectoryA).IsEmpty() ||
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
    return;
  static const wchar_t* const kNativeFolders[] = {L"ProgramFilesDir", L"CommonFilesDir"};
  for (const wchar_t* name : kNativeFolders) {
    if (ReadFolderValue(key.Get(), name, folder, MAX_PATH)) Protect(folder);
  }
}

bool FolderGuard::AllowsIdentity(const FolderIdentity& identity, const Text& dir) const {
  for (int i = 0; i < count_; ++i) {
    if (protected_[i] == identity) return false;
  }
  // A root the drive list does not show (a volume mounted in a folder, a
  // share). Without a volume path the drive roots above still hold.
  char volume[MAX_PATH];
  FolderIdentity root;
  return !(GetVolumePathNameA(dir.Get(), volume, sizeof volume) && ReadFolderIdentity(volume, &root) && root == identity);
}

bool FolderGuard::Allows(const Text& dir) const {
  FolderIdentity identity;
  return ReadFolderIdentity(dir, &identity) && AllowsIdentity(identity, dir);
}

bool FolderGuard::Allows(HANDLE folder, const Text& dir) const {
  FolderIdentity identity;
  return ReadOpenedFolderIdentity(folder, &identity) && AllowsIdentity(identity, dir);
}

