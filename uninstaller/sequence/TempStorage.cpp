#include "TempStorage.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "../framework/DirectorySearch.h"
#include "../framework/OwnedList.h"
#include "../removal/ClassRegistrations.h"
#include "ExternalUninstaller.h"

namespace {
Text SystemFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char path[MAX_PATH];
  UINT length = query(path, sizeof path);
  return length > 0 && length < sizeof path ? Text(path, length) : Text();
}

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

void FolderGuard::ProtectShellFolders() {
  wchar_t folder[MAX_PATH];
  for (int csidl : kShellFolders) {
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) Protect(folder);
  }

  HMODULE shell = GetModuleHandleA("shell32.dll");
  KnownFolderLookup lookup =
      shell ? reinterpret_cast<KnownFolderLookup>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetKnownFolderPath")))
            : nullptr;
  if (lookup) {
    for (const KNOWNFOLDERID* id : kKnownFolders) {
      PWSTR path = nullptr;
      if (SUCCEEDED(lookup(*id, 0, nullptr, &path))) Protect(path);
      CoTaskMemFree(path);  // whatever the outcome
    }
  }

  // Only 64-bit Windows has a 32-bit system directory; elsewhere the 64-bit
  // view would be the only one, read twice.
  char wow64[MAX_PATH];
  UINT wow64Length = GetSystemWow64DirectoryA(wow64, sizeof wow64);
  HKEY key;
  if (wow64Length == 0 || wow64Length >= sizeof wow64 ||
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return;
  static const wchar_t* const kNativeFolders[] = {L"ProgramFilesDir", L"CommonFilesDir"};
  for (const wchar_t* name : kNativeFolders) {
    if (ReadFolderValue(key, name, folder, MAX_PATH)) Protect(folder);
  }
  RegCloseKey(key);
}

bool FolderGuard::Allows(const Text& dir, FolderIdentity* identityOut) const {
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
  if (identityOut) *identityOut = identity;
  return true;
}

bool IsStoredFileToDelete(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0; }

bool DeleteStoredFile(Text path) {
  if (path.IsEmpty()) return true;
  return DeleteFileA(path.Get()) != FALSE;
}

namespace {
// Names of entries the cleanup leaves, all in the one folder it cleans.
class KeptNames {
 public:
  void Add(const char* name) { names_.Add(new Text(name)); }
  bool Holds(const char* name) const {
    if (names_.Count() == 0) return false;  // the usual case: nothing per file
    Text candidate(name);
    for (int i = 0; i < names_.Count(); ++i) {
      if (names_[i]->EqualsNoCase(candidate)) return true;
    }
    return false;
  }

 private:
  OwnedList<Text> names_;
};

// A file the cleanup would delete from the control-storage folder.
struct StoredFile {
  Text name;
  Text shortName;  // empty when the file system keeps none
  bool identityRead = false;
  bool readable = false;
  FolderIdentity identity;
  bool kept = false;
};

// The last part of path, after its last backslash, slash or drive colon.
// Neither "/" nor ":" is ever the trail byte of a double-byte character.
Text LastPart(const Text& path) {
  int cut = path.FindLastBackslash();
  for (int i = cut + 1; i < path.Length(); ++i) {
    if (path[i] == '/' || path[i] == ':') cut = i;
  }
  return path.Mid(cut + 1);
}

bool PathOpensFile(const Text& path, StoredFile& file, const Text& dir) {
  if (!file.identityRead) {
    file.readable = ReadFolderIdentity(dir + file.name, &file.identity);
    file.identityRead = true;
  }
  if (!file.readable) return false;
  char expanded[520];
  DWORD length = ExpandEnvironmentStringsA(path.Get(), expanded, sizeof expanded);
  FolderIdentity named;
  return length > 0 && length <= sizeof expanded && ReadFolderIdentity(expanded, &named) && named == file.identity;
}

void KeepRegisteredServers(const Text& dir, KeptNames& kept) {
  OwnedList<StoredFile> files;
  ForEachDirectoryEntry(dir + "*.*", [&files](const WIN32_FIND_DATAA& entry) {
    if (!IsStoredFileToDelete(entry.dwFileAttributes)) return;
    StoredFile* file = new StoredFile;
    file->name = entry.cFileName;
    file->shortName = entry.cAlternateFileName;
    files.Add(file);
  });
  if (files.Count() == 0) return;

  auto visit = [&](const char* serverPath) {
    Text path(serverPath);
    if (path.Length() >= 2 && path[0] == '"' && path[path.Length() - 1] == '"') path = path.Mid(1).Left(path.Length() - 2);
    Text name = LastPart(path);
    if (name.IsEmpty()) return;
    for (int i = 0; i < files.Count(); ++i) {
      StoredFile& file = *files[i];
      if (file.kept || !(name.EqualsNoCase(file.name) || name.EqualsNoCase(file.shortName))) continue;
      if (name.Length() == path.Length() || PathOpensFile(path, file, dir)) {
        file.kept = true;
        kept.Add(file.name.Get());
      }
    }
  };
  ForEachClassServer(visit);
}

bool IsSameFolder(const Text& folder, const FolderIdentity& identity) {
  FolderIdentity other;
  return !folder.IsEmpty() && ReadFolderIdentity(folder, &other) && other == identity;
}
}  // namespace

bool CleanTempStorage(const InstallDirs& dirs) {
  if (dirs.tempStorageDir.IsEmpty()) return true;
  FolderGuard guard;
  guard.ProtectSystemFolders();
  guard.ProtectShellFolders();
  return CleanTempStorage(dirs, guard);
}

bool CleanTempStorage(const InstallDirs& dirs, const FolderGuard& guard) {
  const Text& dir = dirs.tempStorageDir;
  if (dir.IsEmpty()) return true;
  // Once, before the search: the identity can't change from file to file.
  FolderIdentity identity;
  if (!guard.Allows(dir, &identity)) return false;

  KeptNames kept;
  Text scriptFolder = ScriptFolder(dirs);
  if (IsSameFolder(scriptFolder, identity)) {
    ForEachDirectoryEntry(scriptFolder + kUninstallScriptMask,
                          [&kept](const WIN32_FIND_DATAA& entry) { kept.Add(entry.cFileName); });
  }
  if (IsSameFolder(dirs.ocxStorageDir, identity)) KeepRegisteredServers(dir, kept);

  return ForEachDirectoryEntry(dir + "*.*", [&dir, &kept](const WIN32_FIND_DATAA& entry) {
    if (IsStoredFileToDelete(entry.dwFileAttributes) && !kept.Holds(entry.cFileName))
      DeleteStoredFile(dir + entry.cFileName);
  });
}

bool CleanTempStorage(Text dir) {
  InstallDirs dirs;
  dirs.tempStorageDir = dir;
  return CleanTempStorage(dirs);
}

bool CleanTempStorage(Text dir, const FolderGuard& guard) {
  InstallDirs dirs;
  dirs.tempStorageDir = dir;
  return CleanTempStorage(dirs, guard);
}
