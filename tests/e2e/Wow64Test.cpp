// The real unravel.exe on 64-bit Windows, where it runs under WOW64: it sees
// the 32-bit registry view only, and its system directory is syswow64. Runs
// in the 64-bit prefix only; the test program itself is 32-bit, so what it
// stages lands where a 32-bit installer would put it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "Driver.h"
#include "UnravelWindows.h"

using namespace e2e;
using namespace testbed;

namespace {

// The 32-bit view of the class keys as 64-bit programs see it.
const char kClasses32From64[] = "Software\\Classes\\Wow6432Node\\CLSID\\";
// The real system32 of 64-bit Windows, reached from a 32-bit program.
const char kNativeSystem[] = "C:\\windows\\sysnative";
const char kWowSystem[] = "C:\\windows\\syswow64";

bool Key64Exists(const std::string& path) { return KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY); }
std::string Default64(const std::string& path) { return DefaultValue(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY); }

// Names of the files directly in a folder.
std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(entry.cFileName);
  } while (FindNextFileA(h, &entry));
  FindClose(h);
  return names;
}

class Wow64 : public UnravelRun {
 protected:
  void SetUp() override {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "this program belongs in the 64-bit prefix";
  }
};

TEST_F(Wow64, StagingLandsWhereA32BitInstallerPutsIt) {
  // Our own registrations go to the 32-bit view, as regsvr32 of a 32-bit
  // control would put them; system directory files go to syswow64.
  const std::string clsid = "{7E57B001-0000-4000-8000-0000000000C1}";
  stage_.Register({clsid, "Staged Control", "C:\\ZW\\staged.ocx"});
  EXPECT_TRUE(Key64Exists(kClasses32From64 + clsid));
  EXPECT_FALSE(Key64Exists(ClassKey(clsid, ClassView::Native64)));

  stage_.WriteFile("C:\\windows\\system32\\unravel-staged.tmp");
  EXPECT_TRUE(FileExists(std::string(kWowSystem) + "\\unravel-staged.tmp"));
  EXPECT_FALSE(FileExists(std::string(kNativeSystem) + "\\unravel-staged.tmp"));
}

TEST_F(Wow64, OnlyControlsOfThe32BitViewAreListedAndRemoved) {
  const std::string ocx = "C:\\ZW\\Ocx\\";
  stage_.SetControlFolderOnly(ocx);
  stage_.CopyFixture("ctl_ok.ocx", ocx + "grid.ocx");
  const std::string grid = "{7E57B002-0000-4000-8000-0000000000C2}";
  stage_.Register({grid, "Grid Control", ocx + "grid.ocx"});
  // A control of the product registered by a 64-bit program: a 32-bit
  // uninstaller cannot unregister it, so it must not offer to.
  stage_.CopyFixture("ctl_ok.ocx", ocx + "wide.ocx");
  const std::string wide = "{7E57B003-0000-4000-8000-0000000000C3}";
  stage_.Register({wide, "Wide Control", ocx + "wide.ocx"}, ClassView::Native64);
  ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + wide)) << "the 64-bit class leaks into the 32-bit view";

  ASSERT_NO_FATAL_FAILURE(StartToTheList());
  HWND list = list_;
  ASSERT_EQ(1, SendMessageA(list, LB_GETCOUNT, 0, 0)) << "only the 32-bit view's control is listed";
  SelectLines(list, {0});
  Click(removal_, IDOK);
  ASSERT_NO_FATAL_FAILURE(Answer("Grid Control", kYes));
  for (DWORD waited = 0; SendMessageA(list, LB_GETCOUNT, 0, 0) != 0 && waited < kTimeoutMs; waited += 200)
    Sleep(200);
  EXPECT_EQ(0, SendMessageA(list, LB_GETCOUNT, 0, 0));
  Click(removal_, IDCANCEL);
  ASSERT_TRUE(WaitGone(removal_));
  ASSERT_NO_FATAL_FAILURE(ExpectHandOverMessagesThenExit());  // nothing to hand over

  EXPECT_FALSE(FileExists(ocx + "grid.ocx"));
  EXPECT_FALSE(Key64Exists(kClasses32From64 + grid));
  EXPECT_TRUE(FileExists(ocx + "wide.ocx"));
  EXPECT_EQ("Wide Control", Default64(ClassKey(wide, ClassView::Native64)));
  EXPECT_TRUE(Key64Exists(ClassKey(wide, ClassView::Native64) + "\\Control"));
  EXPECT_EQ(ocx + "wide.ocx", Default64(ClassKey(wide, ClassView::Native64) + "\\InprocServer32"));
}

TEST_F(Wow64, WholeSequenceRemovesCleansAndHandsOver) {
  stage_.MakeFolder("C:\\ZW\\Ocx");
  stage_.MakeFolder("C:\\ZW\\Temp");
  stage_.SetDirectories("C:\\ZW\\Ocx\\", "C:\\ZW\\Temp\\", "C:\\ZW\\");
  stage_.CopyFixture("ctl_ok.ocx", "C:\\ZW\\Ocx\\grid.ocx");
  const std::string grid = "{7E57B004-0000-4000-8000-0000000000C4}";
  stage_.Register({grid, "Grid Control", "C:\\ZW\\Ocx\\grid.ocx"});
  stage_.WriteFile("C:\\ZW\\Temp\\a.tmp");
  stage_.WriteFile("C:\\ZW\\Temp\\readonly.tmp");
  SetFileAttributesA("C:\\ZW\\Temp\\readonly.tmp", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  stage_.WriteFile("C:\\ZW\\DeIsLog.1");
  stage_.InstallUninstaller();

  ASSERT_NO_FATAL_FAILURE(StartToTheList());
  ASSERT_NO_FATAL_FAILURE(RemoveFirstLineThenClose("Grid Control"));
  ExpectHandedOver("-f\"C:\\ZW\\DeIsLog.1\"");

  EXPECT_FALSE(FileExists("C:\\ZW\\Ocx\\grid.ocx"));
  EXPECT_FALSE(Key64Exists(kClasses32From64 + grid));
  EXPECT_FALSE(FileExists("C:\\ZW\\Temp\\a.tmp"));
  EXPECT_TRUE(FileExists("C:\\ZW\\Temp\\readonly.tmp"));
  EXPECT_TRUE(FileExists("C:\\ZW\\DeIsLog.1"));
}

// Temporary storage naming a system directory: the 32-bit one (syswow64, also
// what "system32" means to a 32-bit program) or the real one ("sysnative" to
// a 32-bit program) stays whole, and the uninstaller is still started.
class Wow64SystemTemp : public Wow64, public ::testing::WithParamInterface<const char*> {};

TEST_P(Wow64SystemTemp, CleansNothingAndStillHandsOver) {
  const std::string wowCanary = std::string(kWowSystem) + "\\unravel-canary.tmp";
  const std::string nativeCanary = std::string(kNativeSystem) + "\\unravel-canary.tmp";
  stage_.WriteFile(wowCanary);
  stage_.WriteFile(nativeCanary);
  ASSERT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA(wowCanary.c_str()) & FILE_ATTRIBUTE_ARCHIVE);
  stage_.MakeFolder("C:\\ZW");
  stage_.WriteFile("C:\\ZW\\DeIsLog.1");
  stage_.SetDirectories("", GetParam(), "C:\\ZW\\");
  stage_.InstallUninstaller();
  const std::set<std::string> wowBefore = FilesIn(kWowSystem);
  const std::set<std::string> nativeBefore = FilesIn(kNativeSystem);
  ASSERT_GT(wowBefore.size(), 100u);
  ASSERT_GT(nativeBefore.size(), 100u);

  ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_));
  ExpectMessage(kNoControls);
  EXPECT_EQ(0u, app_->WaitExit());
  // Checked before waiting for the uninstaller: with syswow64 emptied it
  // cannot start, and this says why at once.
  EXPECT_TRUE(FileExists(wowCanary));
  const std::set<std::string> wowAfter = FilesIn(kWowSystem);
  std::vector<std::string> lost;
  std::set_difference(wowBefore.begin(), wowBefore.end(), wowAfter.begin(), wowAfter.end(),
                      std::back_inserter(lost));
  ASSERT_TRUE(lost.empty()) << lost.size() << " files gone from syswow64, the first " << lost.front();
  EXPECT_TRUE(FileExists(nativeCanary));
  EXPECT_TRUE(nativeBefore == FilesIn(kNativeSystem));
  ExpectHandedOver("-f\"C:\\ZW\\DeIsLog.1\"");
}

INSTANTIATE_TEST_SUITE_P(Spellings, Wow64SystemTemp,
                         ::testing::Values("C:\\windows\\syswow64\\", "C:\\windows\\system32\\",
                                           "c:\\WINDOWS\\SysWOW64\\.\\", "C:\\windows\\sysnative\\"));
}  // namespace
