// The cleanup of the temporary-storage directory on the prefix's real disk.
#include "Sandbox.h"
#include "Staging.h"
#include "removal/ControlFile.h"
#include "removal/ControlRemovalDialog.h"
#include "sequence/ExternalUninstaller.h"
#include "sequence/TempStorage.h"
#include "storage/LinkRule.h"

#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace {
using ::CleanTempStorage;
// The cleanup for an installation of which only the temporary directory is known.
InstallDirs TempOnly(const char* dir) {
  InstallDirs dirs;
  dirs.tempStorageDir = dir;
  return dirs;
}
bool CleanTempStorage(const char* dir) { return CleanTempStorage(TempOnly(dir)); }
bool CleanTempStorage(const char* dir, const FolderGuard& guard) {
  return CleanGuardedTempStorage(TempOnly(dir), guard);
}

TEST(TempStorageTest, OnlyArchiveFlaggedEntriesAreDeleted) {
  EXPECT_TRUE(IsStoredFileToDelete(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(IsStoredFileToDelete(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_DIRECTORY));
}

// Names matching mask in dir.
int CountEntries(const std::string& dir, const char* mask) {
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((dir + mask).c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count; while (FindNextFileA(h, &entry));
  FindClose(h);
  return count;
}

TEST(TempStorageTest, ShallowCleanupEmptiesABigFolderKeepsFoldersReadOnlyFilesAndGoesOnAfterFailures) {
  Sandbox box("temp");
  for (const char* name : {"a.tmp", "hidden.tmp", "system.tmp", "readonly.tmp", "z.tmp"}) WriteFile(box / name);
  // More entries than one listing batch holds (a few hundred short names).
  for (int i = 0; i < 2000; ++i) WriteFile(box / ("many" + std::to_string(i) + ".tmp"));
  ASSERT_EQ(2000, CountEntries(box.Dir(), "many*.tmp"));
  SetFileAttributesA((box / "hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((box / "system.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((box / "readonly.tmp").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(CreateDirectoryA((box / "sub").c_str(), nullptr));
  WriteFile(box / "sub\\inner.tmp");

  EXPECT_TRUE(CleanTempStorage(box.Dir().c_str()));
  for (const char* gone : {"a.tmp", "hidden.tmp", "system.tmp", "z.tmp"}) EXPECT_FALSE(FileExists(box / gone)) << gone;
  EXPECT_EQ(0, CountEntries(box.Dir(), "many*.tmp"));
  EXPECT_TRUE(FileExists(box / "readonly.tmp"));
  EXPECT_TRUE(FileExists(box / "sub\\inner.tmp"));
  EXPECT_TRUE(FileExists(box.Dir()));
}

TEST(TempStorageTest, MissingOrEmptyDirectoryAndFailedDeletionAreSilent) {
  Sandbox box("temp-empty");
  EXPECT_TRUE(CleanTempStorage(""));
  EXPECT_FALSE(CleanTempStorage((box / "missing\\").c_str()));
}

// --- The folder guard -------------------------------------------------
// Spellings are built from the system's own answers, so that the cases hold
// wherever the prefix keeps its Windows directory.

std::string SystemFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char path[MAX_PATH];
  UINT length = query(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// The prefix's drive_c as Wine's Z: drive shows it.
std::string DriveCThroughZ() {
  const char* prefix = getenv("WINEPREFIX");
  if (!prefix || prefix[0] != '/') return "";
  std::string path = std::string("Z:") + prefix + "/drive_c";
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ShortName(const std::string& path) {
  char name[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), name, MAX_PATH);
  return length > 0 && length < MAX_PATH ? name : "";
}

// Every hostile way of naming folder (a full path "C:\x\y" without its last
// backslash). Relative forms assume the current directory is C:\.
std::vector<std::string> Spellings(const std::string& folder) {
  const std::string rest = folder.substr(2);  // "\x\y"
  const std::string last = folder.substr(folder.find_last_of('\\') + 1);
  std::string slashes = folder + "/";
  for (char& c : slashes) c = c == '\\' ? '/' : c;
  std::string upper = folder + "\\";
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::vector<std::string> all = {
      upper,                     folder,
      folder + "\\.\\",          folder + "\\..\\" + last + "\\",
      slashes,                   folder + "\\\\",
      "\\\\?\\" + folder + "\\", "\\\\.\\" + folder + "\\",
      "\\??\\" + folder + "\\",  rest + "\\",
      rest.substr(1) + "\\",     ".." + rest + "\\",
      folder + ".\\",
  };
  if (!ShortName(folder).empty()) all.push_back(ShortName(folder) + "\\");
  if (!DriveCThroughZ().empty()) all.push_back(DriveCThroughZ() + rest + "\\");
  return all;
}

// Runs the cases with C:\ as the current directory, for relative spellings.
class InDriveRoot {
 public:
  InDriveRoot() {
    GetCurrentDirectoryA(MAX_PATH, saved_);
    SetCurrentDirectoryA("C:\\");
  }
  ~InDriveRoot() { SetCurrentDirectoryA(saved_); }

 private:
  char saved_[MAX_PATH];
};

const char kGuarded[] = "C:\\unravel-guarded";      // protected in the throwaway cases
const char kLinks[] = "C:\\unravel-links";          // made by prefix-links.sh, never removed

TEST(FolderGuardTest, EverySpellingOfAProtectedFolderIsRefusedAndItsCanarySurvives) {
  InDriveRoot root;
  testbed::RemoveFolderTree(kGuarded);
  ASSERT_TRUE(CreateDirectoryA(kGuarded, nullptr));
  FolderGuard guard;
  ASSERT_TRUE(guard.Protect(kGuarded));
  const std::string canary = std::string(kGuarded) + "\\canary.tmp";

  std::vector<std::string> spellings = Spellings(kGuarded);
  spellings.push_back(std::string(kLinks) + "\\guarded\\");
  for (const std::string& dir : spellings) {
    WriteFile(canary);
    EXPECT_FALSE(guard.Allows(dir.c_str())) << dir;
    EXPECT_FALSE(CleanTempStorage(dir.c_str(), guard)) << dir;
    EXPECT_TRUE(FileExists(canary)) << "deleted through " << dir;
  }

  // The same guard still cleans its subfolder and a folder of the same name elsewhere.
  for (const std::string& dir : {std::string(kGuarded) + "\\sub\\", std::string(kGuarded) + "\\sub\\unravel-guarded\\"}) {
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    WriteFile(dir + "canary.tmp");
    EXPECT_TRUE(CleanTempStorage(dir.c_str(), guard)) << dir;
    EXPECT_FALSE(FileExists(dir + "canary.tmp")) << dir;
  }
  EXPECT_TRUE(FileExists(canary));
  testbed::RemoveFolderTree(kGuarded);
}

TEST(FolderGuardTest, DriveRootsAndTheSystemsFoldersAreRefusedInEverySpelling) {
  InDriveRoot root;
  FolderGuard guard;
  guard.ProtectSystemFolders();
  const std::string windows = SystemFolder(GetWindowsDirectoryA);
  const std::string system = SystemFolder(GetSystemDirectoryA);
  ASSERT_EQ(0, windows.compare(0, 3, "C:\\")) << windows;
  ASSERT_EQ(0, system.compare(0, windows.size() + 1, windows + "\\")) << system;

  std::vector<std::string> refused = Spellings(windows);
  for (const std::string& dir : Spellings(system)) refused.push_back(dir);
  const std::string systemName = system.substr(windows.size() + 1);
  for (const std::string& dir : {
           std::string("C:\\"), std::string("c:\\"), std::string("C:"), std::string("\\"), std::string("C:\\.\\"),
           std::string("C:\\\\"), std::string("C:/"), system + "\\..\\..\\", std::string("\\\\?\\C:\\"),
           std::string("\\\\.\\C:\\"), std::string("\\??\\C:\\"), std::string("."), std::string("Z:\\"),
           std::string("Z:\\.\\"), windows + "\\" + systemName + "\\..\\", system + "\\.\\",
           std::string(kLinks) + "\\windows\\", std::string(kLinks) + "\\system\\",
           std::string(kLinks) + "\\drive-c\\", std::string(kLinks) + "\\unix-root\\",
           DriveCThroughZ() + "\\", std::string(kLinks) + "\\drive-c\\windows\\"}) {
    refused.push_back(dir);
  }
  ASSERT_FALSE(DriveCThroughZ().empty()) << "WINEPREFIX is not set";
  for (const std::string& dir : refused) EXPECT_FALSE(guard.Allows(dir.c_str())) << dir;

  // The cleanup itself, as the program calls it, leaves a file in the Windows
  // directory alone in every spelling of it.
  const std::string marker = windows + "\\unravel-marker.tmp";
  WriteFile(marker);
  for (const std::string& dir : Spellings(windows)) {
    EXPECT_FALSE(CleanTempStorage(dir.c_str())) << dir;
    ASSERT_TRUE(FileExists(marker)) << "deleted through " << dir;
  }
  DeleteFileA(marker.c_str());
}

TEST(FolderGuardTest, OrdinaryFoldersAndFoldersNamedLikeSystemFoldersAreStillCleaned) {
  InDriveRoot root;
  const std::string windows = SystemFolder(GetWindowsDirectoryA);
  testbed::RemoveFolderTree("C:\\Zentrova");
  FolderGuard guard;
  guard.ProtectSystemFolders();
  for (const std::string& dir : {std::string("C:\\Zentrova\\"), std::string("C:\\Zentrova\\Temp\\"),
                                 std::string("C:\\Zentrova\\windows\\"), std::string("C:\\Zentrova\\windows\\system32\\"),
                                 windows + "\\unravel-temp\\", std::string("Zentrova\\Temp\\")}) {
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteFile(dir + "a.tmp");
    EXPECT_TRUE(guard.Allows(dir.c_str())) << dir;
    EXPECT_TRUE(CleanTempStorage(dir.c_str())) << dir;
    EXPECT_FALSE(FileExists(dir + "a.tmp")) << dir;
  }
  // A folder far beyond MAX_PATH, as long as a registry value may name it.
  std::string longDir = "C:\\Zentrova\\";
  std::vector<std::wstring> made;
  for (int i = 0; i < 2; ++i) {
    longDir += std::string(240, 'l') + "\\";
    made.push_back(L"\\\\?\\" + std::wstring(longDir.begin(), longDir.end()));
    ASSERT_TRUE(CreateDirectoryW(made.back().c_str(), nullptr));
  }
  const std::wstring longFile = made.back() + L"a.tmp";
  CloseHandle(CreateFileW(longFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(longFile.c_str()));
  EXPECT_TRUE(guard.Allows(longDir.c_str()));
  EXPECT_TRUE(CleanTempStorage(longDir.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(longFile.c_str())) << longDir.size() << " characters";
  DeleteFileW(longFile.c_str());
  for (auto dir = made.rbegin(); dir != made.rend(); ++dir) RemoveDirectoryW(dir->c_str());

  // Another drive's spelling of the same folder is not the name the system
  // gives it: held by that name, nothing would say which links were crossed.
  const std::string throughZ = DriveCThroughZ() + "\\Zentrova\\Temp\\";
  WriteFile(throughZ + "a.tmp");
  EXPECT_FALSE(CleanTempStorage(throughZ.c_str()));
  EXPECT_TRUE(FileExists(throughZ + "a.tmp"));
  testbed::RemoveFolderTree(windows + "\\unravel-temp");
  testbed::RemoveFolderTree("C:\\Zentrova");
}

TEST(FolderGuardTest, AnUnreadableFolderOrAVolumeRootIsRefusedAndAGuardThatCouldNotRecordRefusesAll) {
  FolderGuard none;  // nothing protected: only the guard's own checks are left
  EXPECT_TRUE(none.Allows("C:\\windows\\"));
  EXPECT_FALSE(none.Allows("C:\\"));                       // the root of its volume
  EXPECT_FALSE(none.Allows("C:\\windows\\system32\\..\\..\\"));
  EXPECT_FALSE(none.Allows("C:\\unravel-missing\\"));      // no such folder
  EXPECT_FALSE(none.Allows("\\\\?\\C:"));                  // the volume itself
  EXPECT_FALSE(none.Allows(""));
  EXPECT_FALSE(none.Protect("C:\\unravel-missing\\"));
  EXPECT_FALSE(none.Protect(""));

  // The guard is bounded, and a folder it had to protect and could not
  // record makes it refuse every folder: the cleanup then deletes nothing.
  FolderGuard full;
  int added = 0;
  while (full.Protect("C:\\") && added < 100) ++added;
  EXPECT_LT(added, 100);
  EXPECT_TRUE(none.Allows("C:\\windows\\")) << "a missing folder does not close the guard";
  EXPECT_FALSE(full.Protect("C:\\windows\\"));
  EXPECT_FALSE(full.Allows("C:\\windows\\"));
  testbed::Staging stage;
  stage.MakeFolder("C:\\unravel-full\\Temp");
  stage.WriteFile("C:\\unravel-full\\Temp\\a.tmp");
  EXPECT_FALSE(CleanTempStorage("C:\\unravel-full\\Temp\\", full));
  EXPECT_TRUE(FileExists("C:\\unravel-full\\Temp\\a.tmp"));
}
// --- The shell's folders, as this prefix's shell reports them ---------

std::string CsidlFolder(int csidl) {
  char path[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

std::string KnownFolder(const KNOWNFOLDERID& id) {
  PWSTR wide = nullptr;
  char path[MAX_PATH] = "";
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &wide)))
    WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, nullptr, nullptr);
  CoTaskMemFree(wide);
  return path;
}

std::string UserTemp() {
  char path[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, path);
  return length > 1 && length < MAX_PATH ? std::string(path, length - 1) : "";  // without its backslash
}

std::string EnvironmentFolder(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

TEST(FolderGuardTest, TheShellsFoldersAreRefusedWhileTemporaryFoldersAndProductFoldersInThemAreNot) {
  ASSERT_TRUE(testbed::ProfileIsThrowaway()) << "the profile's folders are not the test prefix's throwaway ones";
  const bool wow64 = !EnvironmentFolder("ProgramW6432").empty();
  const std::string documents = CsidlFolder(CSIDL_PERSONAL);
  const std::string product = documents + "\\Zentrova\\Temp";
  ASSERT_FALSE(documents.empty());
  CreateDirectoryA((documents + "\\Zentrova").c_str(), nullptr);
  CreateDirectoryA(product.c_str(), nullptr);
  const std::string appData = CsidlFolder(CSIDL_LOCAL_APPDATA);
  const std::string appDataProduct = appData + "\\Zentrova";
  ASSERT_FALSE(appData.empty());
  CreateDirectoryA(appDataProduct.c_str(), nullptr);
  // Music moved elsewhere by the user: only its registration says where.
  const char kUserFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const std::string music = "C:\\unravel-moved\\Music";
  char registered[MAX_PATH];
  DWORD registeredSize = sizeof registered;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kUserFolders, "My Music", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                        nullptr, registered, &registeredSize));
  testbed::Staging stage;
  stage.MakeFolder(music);
  RegSetKeyValueA(HKEY_CURRENT_USER, kUserFolders, "My Music", REG_SZ, music.c_str(), music.size() + 1);
  FolderGuard guard;  // as the cleanup builds it
  guard.ProtectSystemFolders();
  guard.ProtectShellFolders();

  enum Outcome { kRefused, kAllowed, kCleaned };
  const struct {
    const char* what;
    std::string folder;
    Outcome outcome;
    bool required;  // false where this Windows has no such folder
  } cases[] = {
      {"profile", CsidlFolder(CSIDL_PROFILE), kRefused, true},
      {"all profiles", KnownFolder(FOLDERID_UserProfiles), kRefused, true},
      {"Desktop", CsidlFolder(CSIDL_DESKTOPDIRECTORY), kRefused, true},
      {"Documents", documents, kRefused, true},
      {"Downloads", KnownFolder(FOLDERID_Downloads), kRefused, true},
      {"Pictures", CsidlFolder(CSIDL_MYPICTURES), kRefused, true},
      {"Music, where the user moved it", music, kRefused, true},
      {"Videos", CsidlFolder(CSIDL_MYVIDEO), kRefused, true},
      {"Favorites", CsidlFolder(CSIDL_FAVORITES), kRefused, true},
      {"Templates", CsidlFolder(CSIDL_TEMPLATES), kRefused, true},
      {"Send To", CsidlFolder(CSIDL_SENDTO), kRefused, true},
      {"Start menu", CsidlFolder(CSIDL_STARTMENU), kRefused, true},
      {"Programs", CsidlFolder(CSIDL_PROGRAMS), kRefused, true},
      {"Startup", CsidlFolder(CSIDL_STARTUP), kRefused, true},
      {"AppData", CsidlFolder(CSIDL_APPDATA), kRefused, true},
      {"local AppData", CsidlFolder(CSIDL_LOCAL_APPDATA), kRefused, true},
      {"Saved Games", KnownFolder(FOLDERID_SavedGames), kRefused, true},
      {"Links", KnownFolder(FOLDERID_Links), kRefused, true},
      {"Public", KnownFolder(FOLDERID_Public), kRefused, true},
      {"public Desktop", CsidlFolder(CSIDL_COMMON_DESKTOPDIRECTORY), kRefused, true},
      {"public Documents", CsidlFolder(CSIDL_COMMON_DOCUMENTS), kRefused, true},
      {"public Downloads", KnownFolder(FOLDERID_PublicDownloads), kRefused, false},
      {"all users' Programs", CsidlFolder(CSIDL_COMMON_PROGRAMS), kRefused, true},
      {"ProgramData", CsidlFolder(CSIDL_COMMON_APPDATA), kRefused, true},
      {"Program Files", CsidlFolder(CSIDL_PROGRAM_FILES), kRefused, true},
      {"Common Files", CsidlFolder(CSIDL_PROGRAM_FILES_COMMON), kRefused, true},
      {"Program Files (x86)", CsidlFolder(CSIDL_PROGRAM_FILESX86), kRefused, wow64},
      {"native Program Files", EnvironmentFolder("ProgramW6432"), kRefused, wow64},
      {"native Common Files", EnvironmentFolder("CommonProgramW6432"), kRefused, wow64},
      {"Fonts", CsidlFolder(CSIDL_FONTS), kRefused, true},
      {"the user's Temp", UserTemp(), kAllowed, true},
      {"Windows' Temp", SystemFolder(GetWindowsDirectoryA) + "\\Temp", kAllowed, true},
      {"a product folder in Documents", product, kCleaned, true},
      {"a product folder in local AppData", appDataProduct, kCleaned, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + c.folder);
    if (c.folder.empty()) {
      EXPECT_FALSE(c.required) << "the shell gives no such folder";
      continue;
    }
    const std::string dir = c.folder + "\\";
    if (c.outcome == kAllowed) {
      EXPECT_TRUE(guard.Allows(dir.c_str()));
      continue;
    }
    const std::string canary = dir + "unravel-canary.tmp";
    WriteFile(canary);
    EXPECT_EQ(c.outcome == kCleaned, CleanTempStorage(dir.c_str()));  // as the program calls it
    EXPECT_EQ(c.outcome == kRefused, FileExists(canary));
    DeleteFileA(canary.c_str());
  }
  RegSetKeyValueA(HKEY_CURRENT_USER, kUserFolders, "My Music", REG_EXPAND_SZ, registered, registeredSize);
  testbed::RemoveFolderTree(documents + "\\Zentrova");
  testbed::RemoveFolderTree(appDataProduct);
}
// --- Links and names: what an ordinary user can put in the way ------------
// The links are made on the Unix side by prefix-links.sh (kLinks).

const char kOther[] = "C:\\unravel-other";  // where kLinks\other leads

bool WriteWide(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool ExistsWide(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(LinkRuleTest, AFolderALinkLeadsToIsNeitherCleanedNorListedForControls) {
  testbed::Staging stage;
  stage.MakeFolder("C:\\unravel-plain\\Temp");
  stage.MakeFolder(std::string(kOther) + "\\Temp");
  const struct {
    const char* what;
    std::string folder;  // as the program is given it
    std::string real;    // the same folder reached without links
    bool reached;
  } cases[] = {
      {"plain folder", "C:\\unravel-plain\\Temp\\", "C:\\unravel-plain\\Temp\\", true},
      {"a link", std::string(kLinks) + "\\other\\", std::string(kOther) + "\\", false},
      {"a folder under a link", std::string(kLinks) + "\\other\\Temp\\", std::string(kOther) + "\\Temp\\", false},
      {"a link behind dots", "C:\\unravel-plain\\..\\unravel-links\\other\\Temp\\", std::string(kOther) + "\\Temp\\",
       false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + c.folder);
    char clsid[64];
    wsprintfA(clsid, "{7E571111-2222-4000-8000-0000000000%02X}", ++n);
    stage.Register({clsid, "Linked control", c.folder + "ctl.ocx"});
    const std::string canary = c.real + "canary.tmp";
    stage.WriteFile(canary);

    EXPECT_EQ(c.reached, IsReachedWithoutLinks(c.folder.c_str()));
    EXPECT_EQ(c.reached, CleanTempStorage(c.folder.c_str()));
    EXPECT_EQ(!c.reached, FileExists(canary));
    OwnedList<ControlRecord> records;
    HeldFolder held;
    EXPECT_EQ(c.reached ? ControlWalk::kWalked : ControlWalk::kFolderRefused,
              CollectProductControls(c.folder.c_str(), held, records));
    EXPECT_EQ(c.reached ? 1 : 0, records.Count());
  }
  EXPECT_FALSE(IsReachedWithoutLinks("C:\\unravel-plain\\missing\\"));  // nothing there to reach
  EXPECT_FALSE(IsReachedWithoutLinks(""));
}

// The rule is decided on what is open, by the name the system gives it: a
// handle that came through a link (as one swapped in before the open leaves
// it) fails whatever the path says by the time of the check, and a file the
// held folder holds is used only through a path that leads to it alone.
TEST(LinkRuleTest, TheOpenObjectDecidesAndAPathMustLeadToTheVeryEntryHeld) {
  testbed::Staging stage;
  stage.MakeFolder("C:\\unravel-plain\\Temp");
  stage.MakeFolder(kOther);
  stage.WriteFile(std::string(kOther) + "\\x.ocx");
  stage.WriteFile("C:\\unravel-plain\\Temp\\x.ocx");
  const std::string other = kOther, plain = "C:\\unravel-plain\\Temp", linked = std::string(kLinks) + "\\other";
  const struct {
    std::string opened, checked;
    bool reached;
  } handles[] = {
      {plain, plain, true},
      {linked, other, true},   // the folder itself, whichever way it was opened
      {other, linked, false},  // a link on the way
      {linked, plain, false},  // opened through a link, the path put back since
      {plain, "C:\\unravel-nowhere\\Temp", false},
      {SystemFolder(GetSystemDirectoryA), SystemFolder(GetSystemDirectoryA), true},  // under WOW64: redirected
  };
  for (const auto& c : handles) {
    SCOPED_TRACE(c.opened + " checked as " + c.checked);
    UniqueFile opened(CreateFileA(c.opened.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(opened.IsValid());
    const std::wstring wide(c.checked.begin(), c.checked.end());
    EXPECT_EQ(c.reached, IsReachedWithoutLinks(opened.Get(), wide.c_str()));
  }

  HeldFolder held;
  ASSERT_TRUE(held.Open((other + "\\").c_str()));
  const struct {
    std::string path;
    bool leads;
  } paths[] = {
      {other + "\\x.ocx", true},
      {other + "\\X.OCX", true},                // as registered, in another case
      {linked + "\\x.ocx", false},           // a link on the way
      {plain + "\\x.ocx", false},            // the name of an entry held, another folder's file
      {other + "\\missing.ocx", false},
  };
  for (const auto& c : paths) {
    ControlFile file;
    EXPECT_EQ(c.leads, file.Pin(held, c.path.c_str())) << c.path;
    EXPECT_EQ(c.leads, file.IsPinned()) << c.path;
    if (!c.leads) continue;
    // Pinned: nobody writes or renames it meanwhile.
    EXPECT_FALSE(UniqueFile(CreateFileA(c.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr)).IsValid()) << c.path;
    EXPECT_FALSE(MoveFileA(c.path.c_str(), (other + "\\moved.ocx").c_str())) << c.path;
  }
}

// Which links the rule follows (read from the link's and its folder's
// security descriptors), and which reparse points are links at all.
TEST(LinkRuleTest, OnlyLinksNoOrdinaryUserCanChangeAreFollowedAndOnlyNameSurrogatesAreLinks) {
  const char kTi[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const std::string programFiles = std::string("O:") + kTi + "D:PAI(A;;FA;;;" + kTi + ")(A;CIIO;GA;;;" + kTi +
                                   ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
                                   "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
  const std::string driveRoot = "O:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)"
                                "(A;OICIIO;SDGXGWGR;;;AU)";
  const struct {
    const char* what;
    std::string link, parent;
    bool trusted;
  } links[] = {
      {"an administrator's junction under Program Files",
       "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GA;;;CO)", programFiles, true},
      {"the same under C:\\, users inheriting Modify",
       "O:BAD:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)", driveRoot, false},
      {"the system's, an inherit-only CREATOR OWNER entry", std::string("O:") + kTi + "D:(A;;FA;;;SY)(A;OICIIO;GA;;;CO)",
       programFiles, true},
      {"a user as owner", "O:S-1-5-21-1-2-3-1000D:(A;;FA;;;SY)", programFiles, false},
      {"no access list", "O:BA", programFiles, false},
      {"a parent without one", "O:BAD:(A;;FA;;;BA)", "O:BA", false},
      {"a deny entry before a grant", "O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)(A;;GW;;;WD)", programFiles, false},
      {"users may change its access list", "O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;BU)(A;;WD;;;BU)", programFiles, false},
      {"users may delete it through its folder", "O:BAD:(A;;FA;;;BA)", "O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", false},
      {"an empty access list", "O:BAD:", "O:BAD:", true},
  };
  for (const auto& c : links) {
    SCOPED_TRACE(c.what);
    PSECURITY_DESCRIPTOR link = nullptr, parent = nullptr;
    const std::wstring linkText(c.link.begin(), c.link.end()), parentText(c.parent.begin(), c.parent.end());
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(linkText.c_str(), SDDL_REVISION_1, &link,
                                                                     nullptr));
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(parentText.c_str(), SDDL_REVISION_1, &parent,
                                                                     nullptr));
    EXPECT_EQ(c.trusted, IsLinkOnlyAdministratorsChange(link, parent));
    LocalFree(link);
    LocalFree(parent);
  }

  const DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT, kFolder = FILE_ATTRIBUTE_DIRECTORY;
  const struct {
    DWORD attributes, tag;
    bool link;
  } tags[] = {
      {kFolder | kReparse, 0xA0000003, true},   // mount point, junction
      {kReparse, 0xA000000C, true},             // symbolic link
      {kReparse, 0xA000001D, true},             // a Linux-subsystem link
      {kReparse, 0, true},                      // no tag told (Wine's links)
      {kReparse, 0x80000017, false},            // compressed by compact /exe
      {kReparse, 0x80000013, false},            // deduplicated
      {kReparse, 0x9000001A, false},            // a cloud-files placeholder
      {kFolder | kReparse, 0x9000701A, false},  // a synced folder
      {FILE_ATTRIBUTE_ARCHIVE, 0xA000000C, false},  // no reparse point at all
  };
  for (const auto& c : tags) EXPECT_EQ(c.link, IsLink(c.attributes, c.tag)) << std::hex << c.tag;
}

// Names the ANSI code page spells only as look-alikes (code page 1252 here):
// the listing gives ..\..\unravel-victim.dat for the first, which a path
// built from it would reach. Each such entry goes itself; nothing outside.
TEST(NameRuleTest, EntriesGoByTheirOwnNameAndNoLookAlikePathOrLinkIsFollowed) {
  ASSERT_EQ(1252u, GetACP());
  const std::string folder = std::string(kLinks) + "\\names\\";
  const std::wstring wideFolder(folder.begin(), folder.end());
  const struct {
    const wchar_t* name;
    const char* lookAlike;  // where the ANSI spelling of the name leads, if outside
    bool kept;
  } cases[] = {
      {L"..\uFF3C..\uFF3Cunravel-victim.dat", "C:\\unravel-victim.dat", false},  // fullwidth backslash
      {L"..\u2215..\u2215unravel-victim2.dat", "C:\\unravel-victim2.dat", false},  // division slash
      {L"DeIsLog.\uFF11", nullptr, false},  // reads as the script's name
      {L"plain.tmp", nullptr, false},
      {L"caf\u00E9.tmp", nullptr, false},  // exact in this code page
      {L"DeIsLog.1", nullptr, true},       // the script, kept for the hand-over
  };
  for (const auto& c : cases) {
    if (c.lookAlike) WriteFile(c.lookAlike);
    if (!c.kept) ASSERT_TRUE(WriteWide(wideFolder + c.name));
  }
  WriteFile("C:\\unravel-link-target.dat");  // where link.dat leads
  InstallDirs dirs;
  dirs.tempStorageDir = folder.c_str();
  dirs.rootDir = folder.c_str();
  // With only the look-alike there, the hand-over's search finds no script.
  EXPECT_STREQ("", FindInstallFile(kUninstallScriptMask, nullptr, dirs).Get());
  ASSERT_TRUE(WriteWide(wideFolder + L"DeIsLog.1"));

  EXPECT_TRUE(CleanTempStorage(dirs));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "entry " << std::string(c.name, c.name + wcslen(c.name)));
    EXPECT_EQ(c.kept, ExistsWide(wideFolder + c.name));
    if (c.lookAlike) EXPECT_TRUE(FileExists(c.lookAlike));
    DeleteFileW((wideFolder + c.name).c_str());
    if (c.lookAlike) DeleteFileA(c.lookAlike);
  }
  EXPECT_TRUE(FileExists("C:\\unravel-link-target.dat")) << "deleted through a link entry";
  EXPECT_TRUE(ExistsWide(wideFolder + L"link.dat"));
  DeleteFileA("C:\\unravel-link-target.dat");
}

// The folder is checked once, open; swapping it for a link afterwards (here
// the folder above it, for one whose Temp is a link) deletes nothing the
// link leads to, not even a file named as one in the folder that was checked.
TEST(HeldFolderTest, AFolderSwappedForALinkAfterTheCheckIsNotFollowed) {
  testbed::Staging stage;
  stage.MakeFolder("C:\\unravel-swap\\Temp");
  stage.MakeFolder("C:\\unravel-swap-victim");
  stage.WriteFile("C:\\unravel-swap\\Temp\\victim.dat");
  stage.WriteFile("C:\\unravel-swap-victim\\victim.dat");
  const std::string swap = std::string(kLinks) + "\\swap";
  FolderGuard guard;
  guard.ProtectSystemFolders();
  HeldFolder folder;
  ASSERT_TRUE(folder.Open("C:\\unravel-swap\\Temp\\"));
  ASSERT_TRUE(guard.Allows(folder.Get(), "C:\\unravel-swap\\Temp\\"));

  ASSERT_TRUE(MoveFileA("C:\\unravel-swap", "C:\\unravel-swap-checked"));
  ASSERT_TRUE(MoveFileA(swap.c_str(), "C:\\unravel-swap"));
  EXPECT_NE(0u, GetFileAttributesA("C:\\unravel-swap\\Temp") & FILE_ATTRIBUTE_REPARSE_POINT);
  InstallDirs dirs;
  dirs.tempStorageDir = "C:\\unravel-swap\\Temp\\";
  CleanHeldTempStorage(dirs, folder);
  ControlFile file;
  EXPECT_FALSE(file.Pin(folder, "C:\\unravel-swap\\Temp\\victim.dat"));
  file.Delete(folder);
  EXPECT_TRUE(FileExists("C:\\unravel-swap-victim\\victim.dat"));
  // Back as they were, before any tree removal could follow the link.
  ASSERT_TRUE(MoveFileA("C:\\unravel-swap", swap.c_str()));
  ASSERT_TRUE(MoveFileA("C:\\unravel-swap-checked", "C:\\unravel-swap"));
}
}  // namespace
