// Removing the product's controls with the real unravel.exe: which classes
// are listed, the four answers, the failure messages, and that the sequence
// goes on after the list is closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Driver.h"
#include "UnravelWindows.h"

using namespace e2e;
using namespace testbed;

namespace {
const char kOcx[] = "C:\\ZT\\Ocx\\";

const ClsidSeries Clsid("{7E57%04X-0000-4000-8000-00000000AB%02X}");

std::vector<int> Selected(HWND list) {
  std::vector<int> selected;
  int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    if (SendMessageA(list, LB_GETSEL, i, 0) > 0) selected.push_back(i);
  return selected;
}

class ControlRemoval : public UnravelRun {};

TEST_F(ControlRemoval, ListsTheProductsControlsAndRemovesThoseConfirmed) {
  const std::string ocx = kOcx;
  stage_.MakeFolder(ocx + "sub");
  stage_.MakeFolder("C:\\ZT\\Other");
  stage_.SetDirectories(ocx, "", "");
  // Registered out of order: the list follows the registry's own order.
  stage_.InstallControl("ctl_ok.ocx", {Clsid(10), "Grid Control", ocx + "grid.ocx"});
  stage_.CopyFixture("ctl_false.ocx", ocx + "chart.ocx");
  stage_.Register({Clsid(1), "Chart Control", "c:\\zt\\ocx\\CHART.OCX"});
  stage_.InstallControl("ctl_ok.ocx", {Clsid(2), "", ocx + "blank.ocx"});
  stage_.InstallControl("ctl_fail.ocx", {Clsid(3), "Broken Control", ocx + "broken.ocx"});
  stage_.Register({Clsid(4), "Gone Control", ocx + "gone.ocx"});  // no file
  stage_.CopyFixture("ctl_ok.ocx", ocx + "plain.ocx");
  stage_.Register({Clsid(5), "Not A Control", ocx + "plain.ocx", false});
  stage_.InstallControl("ctl_ok.ocx", {Clsid(6), "Sub Control", ocx + "sub\\deep.ocx"});
  stage_.InstallControl("ctl_ok.ocx", {Clsid(7), "Elsewhere", "C:\\ZT\\Other\\x.ocx"});
  stage_.InstallControl("ctl_ok.ocx", {Clsid(8), "Twin One", ocx + "twin.ocx"});
  stage_.Register({Clsid(9), "Twin Two", ocx + "twin.ocx"});
  stage_.InstallControl("ctl_ok.ocx", {Clsid(11), "Locked Control", ocx + "locked.ocx"});
  SetFileAttributesA((ocx + "locked.ocx").c_str(), FILE_ATTRIBUTE_READONLY);

  const auto classesBefore = Snapshot(HKEY_CLASSES_ROOT, "CLSID");
  const auto profileBefore = Snapshot(HKEY_USERS, ".Default\\Software");

  ASSERT_NO_FATAL_FAILURE(StartToTheList());
  HWND list = list_;
  EXPECT_EQ((std::vector<std::string>{"Chart Control", "", "Broken Control", "Gone Control", "Twin One", "Twin Two",
                                      "Grid Control", "Locked Control"}),
            Lines(list));
  EXPECT_TRUE(Selected(list).empty());

  // Nothing selected: "&Delete .OCX" asks nothing.
  Click(removal_, IDOK);
  Sleep(3000);
  EXPECT_EQ(nullptr, FindWindowA(nullptr, kQuestion));

  // Pass 1, bottom up: Yes on Grid, then Cancel on Broken leaves Chart too.
  SelectLines(list, {0, 2, 6});
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Grid Control", kYes));
  ASSERT_NO_FATAL_FAILURE(Answer("Broken Control", kCancel));
  const std::vector<std::string> afterPass1{"Chart Control", "", "Broken Control", "Gone Control", "Twin One",
                                            "Twin Two", "Locked Control"};
  EXPECT_EQ(afterPass1, SettledLines(list, afterPass1));
  EXPECT_FALSE(FileExists(ocx + "grid.ocx"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + Clsid(10)));
  EXPECT_EQ((std::vector<int>{0, 2}), Selected(list));

  // Pass 2: No keeps a line and its selection, Esc skips one line, a failing
  // unregistration keeps the file, S_FALSE counts as success.
  SelectLines(list, {0, 1, 2, 3});
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Gone Control", kNo));
  ASSERT_NO_FATAL_FAILURE(Answer("Broken Control", kYes));
  ASSERT_NO_FATAL_FAILURE(ExpectFailure("Unable to unregister control Broken Control"));
  ASSERT_NO_FATAL_FAILURE(Answer("", IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(Answer("Chart Control", kYes));
  const std::vector<std::string> afterPass2{"", "Gone Control", "Twin One", "Twin Two", "Locked Control"};
  EXPECT_EQ(afterPass2, SettledLines(list, afterPass2));
  EXPECT_TRUE(FileExists(ocx + "broken.ocx"));
  EXPECT_FALSE(FileExists(ocx + "chart.ocx"));
  EXPECT_EQ((std::vector<int>{0, 1}), Selected(list));

  // Pass 3: Yes to All on the first question covers the rest of the pass,
  // and only that: pass 4 asks again, line by line.
  SelectLines(list, {2, 3, 4});
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Locked Control", kYesToAll));
  ASSERT_NO_FATAL_FAILURE(ExpectFailure("Unable to delete control Locked Control"));
  ExpectFailure("Unable to unregister control Twin One");  // Twin Two took the shared file
  const std::vector<std::string> afterPass3{"", "Gone Control"};
  EXPECT_EQ(afterPass3, SettledLines(list, afterPass3));
  SelectLines(list, {0, 1});
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Gone Control", kYes));
  ASSERT_NO_FATAL_FAILURE(Answer("", kNo));
  EXPECT_EQ(std::vector<std::string>{""}, SettledLines(list, {""}));
  EXPECT_TRUE(FileExists(ocx + "locked.ocx"));
  EXPECT_FALSE(FileExists(ocx + "twin.ocx"));
  EXPECT_TRUE(FileExists(ocx + "blank.ocx"));
  EXPECT_TRUE(FileExists(ocx + "plain.ocx"));
  EXPECT_TRUE(FileExists(ocx + "sub\\deep.ocx"));

  // Closing the list lets the sequence go on to the hand-over.
  Click(removal_, IDCANCEL);
  ASSERT_TRUE(WaitGone(removal_));
  ASSERT_NO_FATAL_FAILURE(ExpectHandOverMessagesThenExit());

  // The registry lost only what the controls' own entry points removed.
  auto classesExpected = classesBefore;
  for (int removed : {1, 3, 8, 9, 10, 11}) {
    const std::string prefix = "CLSID\\" + Clsid(removed);
    for (auto it = classesExpected.begin(); it != classesExpected.end();) {
      it = it->first.compare(0, prefix.size(), prefix) == 0 ? classesExpected.erase(it) : std::next(it);
    }
  }
  EXPECT_TRUE(classesExpected == Snapshot(HKEY_CLASSES_ROOT, "CLSID"));
  EXPECT_TRUE(profileBefore == Snapshot(HKEY_USERS, ".Default\\Software"));
}

TEST_F(ControlRemoval, NoMatchingControlClosesTheListUnseenAndGoesOn) {
  const std::string ocx = kOcx;
  stage_.MakeFolder(ocx);
  stage_.InstallControl("ctl_ok.ocx", {Clsid(10), "Grid Control", ocx + "grid.ocx"});
  stage_.SetDirectories("C:\\ZT\\Ocx", "", "");  // no trailing backslash: nothing matches

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  HWND box = app_->WaitWindow(kSequenceCaption);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ("No previously installed Zentrova .OCX\ncontrols were detected.", FindControl(box, -1).text);
  EXPECT_EQ(MessageIcon::Information, IconOf(box)) << ToString(IconOf(box));
  HWND owner = Owner(box);
  ASSERT_NE(nullptr, owner) << "the message must be owned by the list dialog";
  EXPECT_EQ(kRemoval, Text(owner));
  EXPECT_FALSE(IsWindowVisible(owner));
  Dismiss(box);
  ASSERT_TRUE(WaitGone(box));
  EXPECT_TRUE(WaitGone(owner));
  ASSERT_NO_FATAL_FAILURE(ExpectHandOverMessagesThenExit());
  EXPECT_TRUE(FileExists(ocx + "grid.ocx"));
}

// A control imports a library by name. Where the platform's registration
// tool finds it (the Windows directory, a folder on PATH) the control is
// unregistered and deleted, the first place winning: a copy planted in a
// PATH folder ordinary users can change is never loaded while the Windows
// directory holds one. A copy in the current directory or beside unravel.exe
// (a download folder) is never loaded, and without another the control
// cannot load, so unregistering it fails.
TEST_F(ControlRemoval, AControlsImportIsFoundWhereTheRegistrationToolFindsItAndNeverBesideTheProgram) {
  const std::string ocx = kOcx, work = "C:\\ZT\\Work\\", download = "C:\\ZT\\Download\\",
                    shared = "C:\\ZT\\Shared\\", windows = stage_.WindowsDir() + "\\";
  const struct {
    std::string library;  // the folder zplant.dll lies in
    bool onPath, besideProgram, removed;
    std::string planted;  // a further copy, never loaded ("" for none)
  } cases[] = {
      {work, false, false, false, ""},
      {download, false, true, false, ""},
      {windows, false, false, true, ""},
      {shared, true, false, true, ""},
      {windows, true, false, true, shared},
  };
  char path[32767];
  const DWORD pathLength = GetEnvironmentVariableA("PATH", path, sizeof path);
  ASSERT_TRUE(pathLength > 0 && pathLength < sizeof path);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library);
    for (const std::string& dir : {ocx, work, download, shared}) stage_.MakeFolder(dir);
    stage_.InstallControl("ctl_plant.ocx", {Clsid(12), "Planted Control", ocx + "plant.ocx"});
    for (const std::string& dir : {c.library, c.planted}) {
      if (dir.empty()) continue;
      stage_.CopyFixture("zplant.dll", dir + "zplant.dll");
      stage_.Track(dir + "planted-loaded.txt");
    }
    if (c.besideProgram) stage_.CopyIn(WindowsPathFromEnv("UNRAVEL_EXE"), download + "unravel.exe");
    stage_.SetDirectories(ocx, "", "");
    SetEnvironmentVariableA("PATH", c.onPath ? (shared + ";" + path).c_str() : path);

    ASSERT_NO_FATAL_FAILURE(StartToTheList(work, c.besideProgram ? download + "unravel.exe" : ""));
    SetEnvironmentVariableA("PATH", path);
    ASSERT_EQ(std::vector<std::string>{"Planted Control"}, Lines(list_));
    SelectLines(list_, {0});
    Click(removal_, IDOK);
    ASSERT_NO_FATAL_FAILURE(Answer("Planted Control", kYes));
    if (!c.removed) ASSERT_NO_FATAL_FAILURE(ExpectFailure("Unable to unregister control Planted Control"));
    EXPECT_TRUE(SettledLines(list_, {}).empty());  // the pass is over
    Click(removal_, IDCANCEL);
    ASSERT_TRUE(WaitGone(removal_));
    ASSERT_NO_FATAL_FAILURE(ExpectHandOverMessagesThenExit());
    EXPECT_EQ(c.removed ? c.library + "zplant.dll" : "", ReadWholeFile(c.library + "planted-loaded.txt"));
    EXPECT_NE(c.removed, FileExists(ocx + "plant.ocx"));
    EXPECT_FALSE(FileExists(c.planted + "planted-loaded.txt"));
    for (const std::string& dir : {c.library, c.planted}) {
      DeleteFileA((dir + "zplant.dll").c_str());
      DeleteFileA((dir + "planted-loaded.txt").c_str());
    }
  }
}

// Older products kept their controls in the system directory (under WOW64
// the 32-bit one, which the program names system32): the product's control
// there is unregistered and deleted, while the platform's own controls
// listed beside it stay, with their registrations.
TEST_F(ControlRemoval, AControlInTheSystemDirectoryIsRemovedAndThePlatformsOwnStay) {
  char buffer[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(buffer, MAX_PATH), 0u);
  const std::string system = std::string(buffer) + "\\";
  stage_.SetDirectories(system, "", "");
  stage_.InstallControl("ctl_ok.ocx", {Clsid(13), "Zentrova System Control", system + "zsystem.ocx"});
  auto classesExpected = Snapshot(HKEY_CLASSES_ROOT, "CLSID");

  ASSERT_NO_FATAL_FAILURE(StartToTheList());
  std::vector<std::string> platforms = Lines(list_);
  const auto ours = std::find(platforms.begin(), platforms.end(), "Zentrova System Control");
  ASSERT_NE(platforms.end(), ours);
  SelectLines(list_, {static_cast<int>(ours - platforms.begin())});
  platforms.erase(ours);
  EXPECT_FALSE(platforms.empty()) << "the platform lists no controls of its own there";
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Zentrova System Control", kYes));
  EXPECT_EQ(platforms, SettledLines(list_, platforms));
  EXPECT_FALSE(FileExists(system + "zsystem.ocx"));
  Click(removal_, IDCANCEL);
  ASSERT_TRUE(WaitGone(removal_));
  ASSERT_NO_FATAL_FAILURE(ExpectHandOverMessagesThenExit());

  const std::string prefix = "CLSID\\" + Clsid(13);
  for (auto it = classesExpected.begin(); it != classesExpected.end();)
    it = it->first.compare(0, prefix.size(), prefix) == 0 ? classesExpected.erase(it) : std::next(it);
  EXPECT_TRUE(classesExpected == Snapshot(HKEY_CLASSES_ROOT, "CLSID"));
}
}  // namespace
