// The whole sequence of the real unravel.exe after "&Uninstall": controls,
// then the temporary-storage cleanup, then the hand-over to the stand-in
// uninstaller, which records the command line it was given.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "Driver.h"
#include "UnravelWindows.h"

using namespace e2e;
using namespace testbed;

namespace {
const char kNotFound[] =
    "No deinstallation information can be found on you computer.\n"
    "This means either the DeIsLog.1 uninstall script or UNINST.EXE\n"
    "could not be located.  Either no previous installation exists,\n"
    "or files must be located manually!";
const char kTryByHand[] = "If the uninstall files are located, try <path>uninst.exe -f\"<path>DeIsLog.1\"";

class Sequence : public UnravelRun {
 protected:
  // Started: the no-controls message, then silence to the end (any window
  // now is the hand-over failing).
  void RunToTheNoControlsMessageThenSilence() {
    ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNoControls));
    HWND unexpected = app_->WaitAnyWindow();
    EXPECT_EQ(nullptr, unexpected) << Text(unexpected);
    EXPECT_EQ(0u, app_->WaitExit(unexpected ? 0 : 10000));
  }
  void ExpectNothingHandedOver() {
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNotFound));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(kTryByHand));
    EXPECT_EQ(0u, app_->WaitExit());
    Sleep(1000);
    EXPECT_EQ("", stage_.UninstallerRecord());
  }
};

// The product's folders and class path as registered: in long names (one
// folder's ending in a space, as an installer asked for it), or, as older
// installers wrote them, all in 8.3 short forms of long names on disk.
TEST_F(Sequence, RemovesControlsThenCleansTemporaryStorageThenHandsOver) {
  const struct {
    const char* root;
    const char* ocx;
    const char* control;
    bool shortForms;
  } layouts[] = {{"C:\\ZS\\", "Ocx\\", "grid.ocx", false},
                 {"C:\\Zentrova \\", "Ocx \\", "grid.ocx", false},
                 {"C:\\Zentrova Suite\\", "Ocx Controls\\", "Calendar Control.ocx", true}};
  int n = 0;
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.root);
    const std::string root = layout.root, ocx = root + layout.ocx, temp = root + "Temporary Files\\";
    stage_.MakeFolder(ocx);
    stage_.MakeFolder(temp + "keep");
    stage_.CopyFixture("ctl_ok.ocx", ocx + layout.control);
    for (const char* name : {"a.tmp", "b.dat", "hidden.tmp", "system.tmp", "readonly.tmp", "keep\\inner.tmp"})
      stage_.WriteFile(temp + name);
    SetFileAttributesA((temp + "hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesA((temp + "system.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesA((temp + "readonly.tmp").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    stage_.WriteFile(root + "DeIsLog.1");
    stage_.WriteFile(root + "keep.txt");
    stage_.InstallUninstaller();
    auto registered = [&](const std::string& path) {
      char spelled[MAX_PATH];
      DWORD length = layout.shortForms ? GetShortPathNameA(path.c_str(), spelled, MAX_PATH) : 0;
      return length > 0 && length < MAX_PATH ? std::string(spelled) : path;
    };
    if (layout.shortForms) ASSERT_EQ(std::string::npos, registered(ocx + layout.control).find(' '));
    stage_.SetDirectories(registered(ocx), registered(temp), registered(root));
    stage_.Register({"{7E57AA01-0000-4000-8000-0000000000A" + std::to_string(n++) + "}", "Grid Control",
                     registered(ocx + layout.control)});

    ASSERT_NO_FATAL_FAILURE(StartToTheList());
    // Controls come first: nothing is cleaned or started while the list is up.
    EXPECT_TRUE(FileExists(temp + "a.tmp"));
    ASSERT_NO_FATAL_FAILURE(RemoveFirstLineThenClose("Grid Control"));

    ASSERT_NO_FATAL_FAILURE(ExpectHandedOver("-f\"" + registered(root) + "DeIsLog.1\""));

    EXPECT_FALSE(FileExists(ocx + layout.control));
    for (const char* gone : {"a.tmp", "b.dat", "hidden.tmp", "system.tmp"})
      EXPECT_FALSE(FileExists(temp + gone)) << gone;
    for (const std::string& kept : {temp + "readonly.tmp", temp + "keep\\inner.tmp", temp, root + "DeIsLog.1",
                                    root + "keep.txt"})
      EXPECT_TRUE(FileExists(kept)) << kept;
  }
}

// A Root an ordinary user made a link to another folder holding a script, or
// a script in Root that is such a link itself: the uninstaller would run
// elevated on that user's script, so nothing starts, and the user is told so
// in one message; the control folder the link leads to is refused in one of
// its own.
TEST_F(Sequence, AScriptReachedThroughALinkHandsNothingOver) {
  stage_.MakeFolder("C:\\ZROther");
  stage_.MakeFolder("C:\\ZRFile");
  stage_.WriteFile("C:\\ZROther\\DeIsLog.1");
  ASSERT_TRUE(RunOnUnixSide("ln -s ZROther ZR && ln -s ../ZROther/DeIsLog.1 ZRFile/DeIsLog.1", kTimeoutMs));
  struct Unlink {
    ~Unlink() { RunOnUnixSide("rm -f ZR ZRFile/DeIsLog.1", kTimeoutMs); }
  } unlink;
  stage_.InstallUninstaller();
  for (const char* root : {"C:\\ZR\\", "C:\\ZRFile\\"}) {
    SCOPED_TRACE(root);
    const std::string linked = root == std::string("C:\\ZR\\") ? root : "";
    stage_.SetDirectories(root, "", root);
    ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
    HWND box = app_->WaitWindow(kSequenceCaption);  // owned by the list, which never shows
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(linked.empty() ? kNoControls
                             : "The control folder " + linked + " was left alone: a link that other users could "
                               "have made or changed leads there, or it could not be opened safely.\nNo control in "
                               "it was removed. Remove them by hand.",
              FindControl(box, -1).text);
    EXPECT_EQ(MessageIcon::Information, IconOf(box));
    EXPECT_EQ(kRemoval, Text(Owner(box)));
    Dismiss(box);
    ASSERT_TRUE(WaitGone(box));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(std::string("The uninstall script ") + root + "DeIsLog.1 was not handed "
                                          "over: a link that other users could have made or changed leads there.\n"
                                          "Nothing was started. Remove Zentrova by hand."));
    EXPECT_EQ(0u, app_->WaitExit());
    EXPECT_EQ("", stage_.UninstallerRecord());
  }
}

// The longest command line the program starts: 519 characters, its script
// path far beyond MAX_PATH (the folder made on the Unix side, where no
// length limit stands in the way).
TEST_F(Sequence, TheLongestCommandLineIsStarted) {
  std::string root = "C:\\ZL\\";
  while (root.size() < 484) root += std::string(std::min<size_t>(50, 484 - root.size() - 1), 'l') + "\\";
  std::string unix = root.substr(3);
  for (char& c : unix) c = c == '\\' ? '/' : c;
  ASSERT_TRUE(RunOnUnixSide("mkdir -p " + unix + " && touch " + unix + "DeIsLog.1", kTimeoutMs));
  struct Remove {
    ~Remove() { RunOnUnixSide("rm -r ZL", kTimeoutMs); }
  } remove;
  stage_.SetDirectories("", "", root);
  stage_.InstallUninstaller();
  const std::string arguments = "-f\"" + root + "DeIsLog.1\"";
  ASSERT_EQ(519u, (stage_.WindowsDir() + "\\uninst.exe " + arguments).size());

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNoControls));
  ASSERT_NO_FATAL_FAILURE(ExpectHandedOver(arguments));
}

TEST_F(Sequence, WithoutRootTheFolderAboveTemporaryStorageIsSearchedAndAFolderCounts) {
  stage_.MakeFolder("C:\\ZD\\TEMP");
  stage_.MakeFolder("C:\\ZD\\DeIsLog.old");  // a folder named like the mask
  stage_.SetDirectories("", "C:\\ZD\\TEMP\\", "");
  stage_.InstallUninstaller();

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNoControls));
  ASSERT_NO_FATAL_FAILURE(ExpectHandedOver("-f\"C:\\ZD\\DeIsLog.old\""));
}

TEST_F(Sequence, RootWithoutScriptIsNotMadeGoodElsewhereAndWindowsDirectoryIsNeverCleaned) {
  // Temporary storage names the Windows directory: nothing there is deleted.
  // The folder above it holds a script, but Root is set and has none.
  const std::string windows = stage_.WindowsDir();
  stage_.MakeFolder("C:\\ZR");
  stage_.WriteFile(windows + "\\unravel-marker.tmp");
  stage_.WriteFile("C:\\DeIsLog.1");
  stage_.SetDirectories("", windows + "\\", "C:\\ZR\\");
  stage_.InstallUninstaller();

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNoControls));
  ASSERT_NO_FATAL_FAILURE(ExpectNothingHandedOver());
  EXPECT_TRUE(FileExists(windows + "\\unravel-marker.tmp"));
  EXPECT_TRUE(FileExists(windows + "\\uninst.exe"));
}

TEST_F(Sequence, UninstallerOutsideTheWindowsDirectoryIsNotFoundAndDriveRootIsNeverCleaned) {
  stage_.MakeFolder("C:\\ZU");
  stage_.WriteFile("C:\\ZU\\DeIsLog.1");
  stage_.CopyFixture("uninst.exe", "C:\\ZU\\uninst.exe");
  stage_.WriteFile("C:\\unravel-marker.tmp");
  DeleteFileA((stage_.WindowsDir() + "\\uninst.exe").c_str());
  stage_.SetDirectories("", "C:\\", "C:\\ZU\\");

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  ASSERT_NO_FATAL_FAILURE(ExpectMessage(kNoControls));
  ASSERT_NO_FATAL_FAILURE(ExpectNothingHandedOver());
  EXPECT_EQ("", ReadWholeFile("C:\\ZU\\uninst-record.txt"));
  EXPECT_TRUE(FileExists("C:\\unravel-marker.tmp"));
}

TEST_F(Sequence, HostileSpellingsOfSystemFoldersAsTemporaryStorageDeleteNothingAndTheUninstallerStillStarts) {
  const std::string windows = stage_.WindowsDir();
  char buffer[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(buffer, MAX_PATH), 0u);
  const std::string system = buffer;
  const char* prefix = getenv("WINEPREFIX");
  ASSERT_TRUE(prefix && prefix[0] == '/') << "WINEPREFIX is not set";
  std::string windowsThroughZ = std::string("Z:") + prefix + "\\drive_c" + windows.substr(2) + "\\";
  std::replace(windowsThroughZ.begin(), windowsThroughZ.end(), '/', '\\');
  std::string forwardRoot = system + "/../../";
  std::replace(forwardRoot.begin(), forwardRoot.end(), '\\', '/');

  const std::string canaries[] = {windows + "\\unravel-canary.tmp", system + "\\unravel-canary.tmp",
                                  "C:\\unravel-canary.tmp"};
  for (const std::string& canary : canaries) stage_.WriteFile(canary);
  stage_.MakeFolder("C:\\ZH");
  stage_.WriteFile("C:\\ZH\\DeIsLog.1");
  stage_.InstallUninstaller();
  const std::string record = windows + "\\uninst-record.txt";

  // The Windows directory first: were it emptied, uninst.exe would be gone
  // and the case would end at once, before a broken system could stall it.
  for (const std::string& temp : {"\\\\?\\" + windows + "\\", windowsThroughZ, system + "\\..\\..\\", forwardRoot,
                                  "\\??\\" + system + "\\", system + "\\.\\"}) {
    SCOPED_TRACE(temp);
    DeleteFileA(record.c_str());
    stage_.SetDirectories("", temp, "C:\\ZH\\");
    ASSERT_NO_FATAL_FAILURE(RunToTheNoControlsMessageThenSilence());
    for (const std::string& canary : canaries) EXPECT_TRUE(FileExists(canary)) << canary;
    ASSERT_TRUE(FileExists(windows + "\\uninst.exe"));
    ASSERT_TRUE(WaitFile(record, 30000));
    EXPECT_EQ(windows + "\\uninst.exe -f\"C:\\ZH\\DeIsLog.1\"", stage_.UninstallerRecord());
  }
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

TEST_F(Sequence, TheShellsFoldersAsTemporaryStorageKeepTheirFilesAndTheUninstallerStillStarts) {
  ASSERT_TRUE(ProfileIsThrowaway()) << "the profile's folders are not the test prefix's throwaway ones";
  std::vector<std::string> folders;
  for (int csidl : {CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA})
    folders.push_back(ShellFolder(csidl));
  if (const char* native = getenv("ProgramW6432")) folders.push_back(native);  // 64-bit Windows
  stage_.MakeFolder("C:\\ZH");
  stage_.WriteFile("C:\\ZH\\DeIsLog.1");
  stage_.InstallUninstaller();
  const std::string record = stage_.WindowsDir() + "\\uninst-record.txt";

  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    ASSERT_FALSE(folder.empty());
    const std::string canary = folder + "\\unravel-canary.tmp";
    stage_.WriteFile(canary);
    DeleteFileA(record.c_str());
    stage_.SetDirectories("", folder + "\\", "C:\\ZH\\");
    ASSERT_NO_FATAL_FAILURE(RunToTheNoControlsMessageThenSilence());
    EXPECT_TRUE(FileExists(canary));
    ASSERT_TRUE(WaitFile(record, kTimeoutMs));
    EXPECT_EQ(stage_.WindowsDir() + "\\uninst.exe -f\"C:\\ZH\\DeIsLog.1\"", stage_.UninstallerRecord());
  }
}

// Temporary storage that is the folder holding the scripts, named as Root or
// as the folder above the temporary storage, in another spelling each time:
// every script stays, and the last one listed is handed over.
TEST_F(Sequence, TemporaryStorageInTheScriptsFolderKeepsTheScriptsForTheHandOver) {
  stage_.MakeFolder("C:\\ZK");
  stage_.InstallUninstaller();
  const std::string record = stage_.WindowsDir() + "\\uninst-record.txt";
  for (const auto& dirs : {std::make_pair("c:\\zk\\.\\", "C:\\ZK\\"), std::make_pair("C:\\ZK\\.\\", "")}) {
    SCOPED_TRACE(std::string(dirs.first) + " | " + dirs.second);
    for (const char* file : {"DeIsLog.1", "DeIsLog.2", "session.tmp"}) stage_.WriteFile(std::string("C:\\ZK\\") + file);
    WIN32_FIND_DATAA entry;
    std::string last;
    HANDLE h = FindFirstFileA("C:\\ZK\\DeIsLog.*", &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    do last = entry.cFileName; while (FindNextFileA(h, &entry));
    FindClose(h);
    DeleteFileA(record.c_str());
    stage_.SetDirectories("", dirs.first, dirs.second);
    ASSERT_NO_FATAL_FAILURE(RunToTheNoControlsMessageThenSilence());
    ASSERT_TRUE(WaitFile(record, kTimeoutMs));
    EXPECT_EQ(stage_.WindowsDir() + "\\uninst.exe -f\"C:\\ZK\\" + last + "\"", stage_.UninstallerRecord());
    EXPECT_TRUE(FileExists("C:\\ZK\\DeIsLog.1"));
    EXPECT_TRUE(FileExists("C:\\ZK\\DeIsLog.2"));
    EXPECT_FALSE(FileExists("C:\\ZK\\session.tmp"));
  }
}

// Temporary storage that is the control folder: the control the user kept
// and servers registered in another spelling, by an expandable path, by the
// 8.3 short name, by the bare name (which the loader's search finds) or by a
// path of 519 characters stay, with their registrations; files only named
// like a registered server (one in another folder, one whose folder is gone)
// do not.
TEST_F(Sequence, TemporaryStorageInTheControlFolderKeepsRegisteredServers) {
  stage_.MakeFolder("C:\\ZC\\Ocx");
  stage_.MakeFolder("C:\\ZC\\Other");
  const char* const kept[] = {"Grid Copy.ocx", "bare.ocx", "long.ocx"};
  for (const char* file : {"C:\\ZC\\Ocx\\twin.ocx", "C:\\ZC\\Other\\twin.ocx", "C:\\ZC\\Ocx\\ghost.ocx"})
    stage_.WriteFile(file);
  for (const char* file : kept) stage_.WriteFile(std::string("C:\\ZC\\Ocx\\") + file);
  char shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameA("C:\\ZC\\Ocx\\Grid Copy.ocx", shortPath, MAX_PATH), 0u);
  std::string longest = "C:\\ZC\\Ocx\\long.ocx";
  longest.insert(9, 519 - longest.size(), '\\');  // the repeated backslashes collapse
  int n = 6;
  for (const std::string& path : {std::string(shortPath), std::string("bare.ocx"), longest})
    stage_.Register({"{7E57AA01-0000-4000-8000-0000000000C" + std::to_string(n++) + "}", "Server", path, false});
  stage_.Register({"{7E57AA01-0000-4000-8000-0000000000C3}", "Twin", "C:\\ZC\\Other\\twin.ocx"});
  stage_.Register({"{7E57AA01-0000-4000-8000-0000000000C4}", "Ghost", "C:\\ZC\\Gone\\ghost.ocx"});
  stage_.SetDirectories("C:\\ZC\\Ocx\\", "C:\\ZC\\Ocx\\", "C:\\ZC\\");
  stage_.CopyFixture("ctl_ok.ocx", "C:\\ZC\\Ocx\\grid.ocx");
  stage_.CopyFixture("ctl_ok.ocx", "C:\\ZC\\Ocx\\helper.dll");
  stage_.CopyFixture("ctl_ok.ocx", "C:\\ZC\\Ocx\\stale.ocx");  // registered no more
  stage_.CopyFixture("ctl_ok.ocx", "C:\\ZC\\Ocx\\expand.ocx");
  stage_.Register({"{7E57AA01-0000-4000-8000-0000000000C5}", "Expandable", "%SystemDrive%\\ZC\\Ocx\\expand.ocx"});
  stage_.WriteFile("C:\\ZC\\Ocx\\session.tmp");
  const ClassInfo grid = {"{7E57AA01-0000-4000-8000-0000000000C1}", "Grid Control", "C:\\ZC\\Ocx\\grid.ocx"};
  const ClassInfo helper = {"{7E57AA01-0000-4000-8000-0000000000C2}", "Helper", "\"c:/zc/OCX/..\\Ocx/HELPER.DLL\"",
                            false};
  stage_.Register(grid);
  stage_.Register(helper);
  stage_.WriteFile("C:\\ZC\\DeIsLog.1");
  stage_.InstallUninstaller();

  ASSERT_NO_FATAL_FAILURE(StartToTheList());
  PressKey(removal_, VK_ESCAPE);  // the user keeps the control
  ASSERT_TRUE(WaitGone(removal_));
  EXPECT_EQ(0u, app_->WaitExit());
  ASSERT_TRUE(WaitFile(stage_.WindowsDir() + "\\uninst-record.txt", kTimeoutMs));

  EXPECT_TRUE(FileExists("C:\\ZC\\Ocx\\grid.ocx"));
  EXPECT_TRUE(FileExists("C:\\ZC\\Ocx\\helper.dll"));
  EXPECT_TRUE(FileExists("C:\\ZC\\Ocx\\expand.ocx"));
  for (const char* file : kept) EXPECT_TRUE(FileExists(std::string("C:\\ZC\\Ocx\\") + file)) << file;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + grid.clsid + "\\InprocServer32"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + helper.clsid + "\\InprocServer32"));
  EXPECT_FALSE(FileExists("C:\\ZC\\Ocx\\stale.ocx"));
  EXPECT_FALSE(FileExists("C:\\ZC\\Ocx\\twin.ocx"));
  EXPECT_FALSE(FileExists("C:\\ZC\\Ocx\\ghost.ocx"));
  EXPECT_TRUE(FileExists("C:\\ZC\\Other\\twin.ocx"));
  EXPECT_FALSE(FileExists("C:\\ZC\\Ocx\\session.tmp"));
}

// OLE that cannot start: a stand-in library beside a copy of the program,
// which Wine prefers to its own for that program name while the test runs.
// The program says so in its own box, titled from its resources, and ends.
TEST_F(Sequence, OleThatCannotStartIsReportedInTheApplicationsBoxAndEndsTheRun) {
  const std::string dir = "C:\\ZOLE";
  stage_.MakeFolder(dir);
  stage_.CopyIn(WindowsPathFromEnv("UNRAVEL_EXE"), dir + "\\unravel.exe");
  stage_.CopyFixture("ole32.dll", dir + "\\ole32.dll");
  const char overrides[] = "Software\\Wine\\AppDefaults\\unravel.exe\\DllOverrides";
  struct NativeOle {
    explicit NativeOle(const char* key) {
      HKEY h;
      if (RegCreateKeyA(HKEY_CURRENT_USER, key, &h) != ERROR_SUCCESS) return;
      RegSetValueExA(h, "ole32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
      RegCloseKey(h);
    }
    ~NativeOle() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\unravel.exe"); }
  } native(overrides);

  app_ = std::make_unique<Process>(Process::Start(dir + "\\unravel.exe"));
  HWND box = app_->WaitWindow("Brenat Windows Application");
  ASSERT_NE(box, nullptr) << "no box captioned with the application title";
  EXPECT_EQ("OLE initialization failed. Make sure that the OLE libraries are the correct version.",
            FindControl(box, -1).text);
  EXPECT_EQ(MessageIcon::Exclamation, IconOf(box)) << ToString(IconOf(box));
  EXPECT_EQ(nullptr, Owner(box));
  Dismiss(box);
  EXPECT_TRUE(app_->WindowsUntilExit({box}).empty()) << "the run went on";
  EXPECT_EQ(0u, app_->WaitExit());
}
}  // namespace
