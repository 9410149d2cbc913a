#include "FolderGuard.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <aclapi.h>

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

bool FolderGuard::Allows(const Text& dir, FolderIdentity* identityOut) const {
  FolderIdentity identity;
  if (!ReadFolderIdentity(dir, &identity) || !AllowsIdentity(identity, dir)) return false;
  if (identityOut) *identityOut = identity;
  return true;
}

bool FolderGuard::Allows(HANDLE folder, const Text& dir, FolderIdentity* identityOut) const {
  FolderIdentity identity;
  if (!ReadOpenedFolderIdentity(folder, &identity) || !AllowsIdentity(identity, dir)) return false;
  if (identityOut) *identityOut = identity;
  return true;
}

namespace {
// Owners whose links are the system's own: SYSTEM, TrustedInstaller and the
// Administrators group. Nobody without administrator rights can give a
// file one of them.
const DWORD kSystemOwners[][7] = {
    // count, then the sub-authorities under the NT authority (5)
    {1, SECURITY_LOCAL_SYSTEM_RID},
    {6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464},
    {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS},
};

bool IsSystemOwner(PSID owner) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  for (const DWORD* known : kSystemOwners) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    PSID sid = buffer;
    if (!InitializeSid(sid, &nt, static_cast<BYTE>(known[0]))) continue;
    for (DWORD i = 0; i < known[0]; ++i) *GetSidSubAuthority(sid, i) = known[i + 1];
    if (EqualSid(owner, sid)) return true;
  }
  return false;
}

// The link itself is opened, not what it leads to, and its owner read.
bool IsSystemLink(const wchar_t* path) {
  UniqueFile link(CreateFileW(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link.IsValid()) return false;
  PSID owner = nullptr;  // inside the descriptor
  UniqueLocalMem descriptor;
  if (GetSecurityInfo(link.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Put())) != ERROR_SUCCESS)
    return false;
  return owner && IsValidSid(owner) && IsSystemOwner(owner);
}

// Characters up to and including the backslash that ends the root of a full
// path: "C:\", "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\"
// and the like; 0 for anything else.
int RootLength(const wchar_t* path) {
  if (path[0] && path[1] == L':' && path[2] == L'\\') return 3;
  if (path[0] != L'\\' || path[1] != L'\\') return 0;
  int separators = 4;  // "\\server\share\"
  if ((path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    if (path[4] && path[5] == L':' && path[6] == L'\\') return 7;
    bool unc = (path[4] | 0x20) == L'u' && (path[5] | 0x20) == L'n' && (path[6] | 0x20) == L'c' && path[7] == L'\\';
    separators = unc ? 6 : 4;  // "\\?\UNC\server\share\", "\\?\Volume{...}\"
  }
  for (int i = 2; path[i]; ++i) {
    if (path[i] == L'\\' && --separators == 2) return i + 1;
  }
  return 0;
}
}  // namespace

bool IsReachedWithoutLinks(const Text& folder) {
  if (folder.IsEmpty()) return false;
  wchar_t given[MAX_PATH * 2];
  int givenLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, folder.Get(), folder.Length() + 1, given,
                                        MAX_PATH * 2);
  if (givenLength == 0) return false;
  wchar_t full[MAX_PATH * 2];
  DWORD length = GetFullPathNameW(given, MAX_PATH * 2, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 2) return false;
  int root = RootLength(full);
  if (root == 0) return false;
  // Every part after the root, each cut off in place at its end.
  for (DWORD end = root; end <= length; ++end) {
    if (end < length && full[end] != L'\\') continue;
    if (end == static_cast<DWORD>(root) || full[end - 1] == L'\\') continue;
    wchar_t kept = full[end];
    full[end] = L'\0';
    DWORD attributes = GetFileAttributesW(full);
    DWORD error = GetLastError();
    bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                !IsSystemLink(full);
    full[end] = kept;
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (link) return false;
  }
  return true;
}
