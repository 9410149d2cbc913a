// Unregistration through a control's own entry point, with the stand-in
// controls: every outcome, and COM initialisation balanced on every path.
#include <objbase.h>

#include <vector>


#include "Sandbox.h"
#include "ExceptionChain.h"
#include "removal/FaultGuard.h"
#include "removal/ControlRecord.h"
#include "../../common/DllSearch.h"

namespace {
const char kClsidOk[] = "CLSID\\{5A3E0C71-2B8D-4F6A-9C41-7D0E11A2B301}";

class ControlRecordTest : public ::testing::Test {
 protected:
  // The program has OLE started when it unregisters; so does each test.
  void SetUp() override { ASSERT_EQ(S_OK, CoInitialize(nullptr)); }
  void TearDown() override {
    // Still initialised once (not released by Unregister)...
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
    CoUninitialize();
    // ...and no more than once (nothing left over by Unregister).
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();
  }

  // A copy of a stand-in control in the sandbox, as the record names it.
  std::string Install(const char* fixture, const char* as) {
    std::string path = box_ / as;
    EXPECT_TRUE(CopyFileA(Fixture(fixture).c_str(), path.c_str(), FALSE)) << Fixture(fixture);
    return path;
  }
  // As the control list does it: the control's folder held first.
  static int Unregister(const std::string& path) {
    HeldFolder folder;
    EXPECT_TRUE(folder.Open(path.substr(0, path.rfind('\\') + 1).c_str())) << path;
    ControlRecord record;
    record.serverPath = ControlRecord::CopyText(path.c_str());
    record.fileExists = 1;
    ControlFile file;
    file.Pin(folder, record.serverPath);
    return record.Unregister(file);
  }
  static bool Loaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

  // What the controls were asked, through their log (text mode: CR LF), in
  // this test.
  std::string Log() const { return ReadFile(log_); }
  void StartLog() {
    ASSERT_TRUE(SetEnvironmentVariableA("UNRAVEL_FIXTURE_LOG", log_.c_str()));
  }

  Sandbox box_{"record"};
  Sandbox logBox_{"record-log"};
  std::string log_ = logBox_ / "calls.log";
};

TEST_F(ControlRecordTest, SuccessCodesGiveOneAndTheControlRemovesItsRegistration) {
  std::string ok = Install("ctl_ok.ocx", "grid.ocx");
  HMODULE m = LoadLibraryA(ok.c_str());
  ASSERT_NE(nullptr, m);
  using Fn = HRESULT(STDAPICALLTYPE*)();
  ASSERT_EQ(S_OK, reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, "DllRegisterServer")))());
  FreeLibrary(m);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CLASSES_ROOT, kClsidOk, &key));
  RegCloseKey(key);

  EXPECT_EQ(1, Unregister(ok));
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyA(HKEY_CLASSES_ROOT, kClsidOk, &key));
  EXPECT_FALSE(Loaded(ok));

  std::string sFalse = Install("ctl_false.ocx", "chart.ocx");
  EXPECT_EQ(1, Unregister(sFalse));  // S_FALSE is success
  EXPECT_FALSE(Loaded(sFalse));
}

TEST_F(ControlRecordTest, FailureCodeAndMissingExportGiveZeroAndReleaseTheFile) {
  std::string failing = Install("ctl_fail.ocx", "broken.ocx");
  EXPECT_EQ(0, Unregister(failing));
  EXPECT_FALSE(Loaded(failing));

  std::string mute = Install("ctl_noexport.ocx", "mute.ocx");
  EXPECT_EQ(0, Unregister(mute));
  EXPECT_FALSE(Loaded(mute));
  // Released, so the file can go.
  EXPECT_TRUE(DeleteFileA(mute.c_str()));
}

TEST_F(ControlRecordTest, NothingLoadableOrNoPathGivesZero) {
  std::string text = box_ / "notamodule.ocx";
  WriteFile(text, "This is no module at all.");
  EXPECT_EQ(0, Unregister(text));
  EXPECT_EQ(0, Unregister(box_ / "missing.ocx"));

  ControlRecord empty;  // no path at all; destroying it frees nothing
  HeldFolder folder;
  ASSERT_TRUE(folder.Open(box_.Dir().c_str()));
  ControlFile none;
  EXPECT_FALSE(none.Pin(folder, empty.serverPath));
  EXPECT_EQ(0, empty.Unregister(none));
}
TEST_F(ControlRecordTest, AFaultInTheEntryPointGivesZeroOnceAndAgainLater) {
  StartLog();
  std::string faulting = Install("ctl_fault.ocx", "faulting.ocx");
  void* head = ExceptionChainHead();
  EXPECT_EQ(0, Unregister(faulting));
  EXPECT_EQ(head, ExceptionChainHead());
  EXPECT_EQ("unregister " + faulting + "\r\n", Log());
  // Left loaded on purpose; asked again, it faults again, guarded again.
  EXPECT_TRUE(Loaded(faulting));
  EXPECT_EQ(0, Unregister(faulting));
  EXPECT_EQ(head, ExceptionChainHead());
  // A good control after it is unaffected.
  std::string ok = Install("ctl_ok.ocx", "grid.ocx");
  EXPECT_EQ(1, Unregister(ok));
  EXPECT_EQ("unregister " + faulting + "\r\nunregister " + faulting + "\r\nunregister " + ok + "\r\n", Log());
  SetEnvironmentVariableA("UNRAVEL_FIXTURE_LOG", nullptr);
}

TEST_F(ControlRecordTest, AFaultInDllMainIsAFailedLoad) {
  // The loader catches it and the load fails; the entry point never runs.
  StartLog();
  std::string unloadable = Install("ctl_initfault.ocx", "unloadable.ocx");
  EXPECT_EQ(nullptr, LoadLibraryA(unloadable.c_str()));
  EXPECT_EQ(0, Unregister(unloadable));
  EXPECT_FALSE(Loaded(unloadable));
  EXPECT_EQ("", Log());
  EXPECT_TRUE(DeleteFileA(unloadable.c_str()));
  SetEnvironmentVariableA("UNRAVEL_FIXTURE_LOG", nullptr);
}

// What the thread looks like to the rest of the run, one reading each.
std::string ThreadStateReading(int what) {
  char text[MAX_PATH] = "";
  switch (what) {
    case 0:
      GetCurrentDirectoryA(MAX_PATH, text);
      return text;
    case 1:
      GetDllDirectoryA(MAX_PATH, text);
      return text;
    case 2: {
      UINT mode = SetErrorMode(0);
      SetErrorMode(mode);
      return std::to_string(mode);
    }
    case 3: {
      auto get = reinterpret_cast<DWORD(WINAPI*)()>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetThreadErrorMode")));
      return get ? std::to_string(get()) : "none";
    }
    case 4: {
      unsigned short word;
      asm volatile("fnstcw %0" : "=m"(word));
      return std::to_string(word);
    }
    case 5: {
      unsigned int mxcsr;
      asm volatile("stmxcsr %0" : "=m"(mxcsr));
      return std::to_string(mxcsr);
    }
  }
  MSG quit;
  return PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? "a quit message" : "no quit message";
}

// After the program's start-up a load by name no longer looks beside the
// program (where the platform has the call), while a control still finds
// what it imports beside itself.
TEST_F(ControlRecordTest, ALibraryBesideTheControlIsFoundAndTheThreadIsLeftAsItWas) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  const std::string besideProgram = std::string(self, strrchr(self, '\\') + 1) + "unravel-beside.dll";
  ASSERT_TRUE(CopyFileA(Fixture("zplant.dll").c_str(), besideProgram.c_str(), FALSE));
  HMODULE found = LoadLibraryA("unravel-beside.dll");  // the platform's own search finds it
  EXPECT_NE(nullptr, found);
  FreeLibrary(found);
  KeepProgramFolderOutOfDllSearch();
  if (GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"))
    EXPECT_EQ(nullptr, LoadLibraryA("unravel-beside.dll"));
  DeleteFileA(besideProgram.c_str());
  DeleteFileA((besideProgram.substr(0, besideProgram.rfind('\\') + 1) + "planted-loaded.txt").c_str());

  // The control imports zplant.dll by name; it lies in the control's folder only.
  std::string beside = Install("ctl_plant.ocx", "beside.ocx");
  Install("zplant.dll", "zplant.dll");
  EXPECT_EQ(1, Unregister(beside));
  EXPECT_EQ(box_ / "zplant.dll", ReadFile(box_ / "planted-loaded.txt"));

  // These post quit messages and change the current directory, the DLL
  // search directory and both error modes, or the floating-point control
  // state, before they succeed.
  const char* const what[] = {"current directory", "DLL directory", "error mode", "thread error mode",
                              "x87 control word",  "MXCSR",         "queue"};
  for (const char* meddler : {"ctl_meddle.ocx", "ctl_fpu.ocx"}) {
    std::string before[7];
    for (int i = 0; i < 7; ++i) before[i] = ThreadStateReading(i);
    EXPECT_EQ(1, Unregister(Install(meddler, meddler)));
    for (int i = 0; i < 7; ++i) EXPECT_EQ(before[i], ThreadStateReading(i)) << meddler << ": " << what[i];
  }
}

TEST_F(ControlRecordTest, AControlThatBreaksTheExceptionChainAndFaultsGivesZero) {
  StartLog();
  std::string smashing = Install("ctl_smash.ocx", "smashing.ocx");
  void* head = ExceptionChainHead();
  EXPECT_EQ(0, Unregister(smashing));
  EXPECT_EQ(head, ExceptionChainHead());
  std::string ok = Install("ctl_ok.ocx", "grid.ocx");
  EXPECT_EQ(1, Unregister(ok));
  EXPECT_EQ("unregister " + smashing + "\r\nunregister " + ok + "\r\n", Log());
  SetEnvironmentVariableA("UNRAVEL_FIXTURE_LOG", nullptr);
}
// Where a control's imported library is taken from, in the registration
// tool's order, with a PATH of the test's own: the first place wins, and
// neither the program's own folder nor the current directory is a place,
// also where PATH names them.
TEST_F(ControlRecordTest, AnImportIsTakenFromTheFirstPlaceTheRegistrationToolSearches) {
  char buffer[MAX_PATH];
  GetSystemDirectoryA(buffer, MAX_PATH);
  const std::string system = std::string(buffer) + "\\";
  GetWindowsDirectoryA(buffer, MAX_PATH);
  const std::string windows = std::string(buffer) + "\\";
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string own = std::string(buffer, strrchr(buffer, '\\') + 1);
  const std::string control = box_ / "ctl\\", a = box_ / "a\\", b = box_ / "b\\", current = box_ / "cwd\\";
  for (const std::string& dir : {control, a, b, current}) ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
  const struct {
    std::vector<std::string> copies;
    std::string path, found;  // PATH, and the copy taken ("" for none)
    ImportPlace place;
  } cases[] = {
      {{control, system, windows}, a, control, kBeside},
      {{system, windows}, a, system, kInSystem},
      {{windows, a}, a, windows, kElsewhere},
      {{windows}, "", windows, kElsewhere},
      {{a, b}, a + ";" + b, a, kElsewhere},
      {{b}, "ctl;;" + a + ";" + b, b, kElsewhere},
      {{own}, own, "", kNowhere},
      {{current}, current + ";" + own, "", kNowhere},
  };
  char path[32767];
  ASSERT_GT(GetEnvironmentVariableA("PATH", path, sizeof path), 0u);
  GetCurrentDirectoryA(MAX_PATH, buffer);
  const std::string directory = buffer;
  ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
  for (const auto& c : cases) {
    SCOPED_TRACE("PATH " + c.path);
    for (const std::string& dir : c.copies) WriteFile(dir + "zorder.dll");
    SetEnvironmentVariableA("PATH", c.path.c_str());
    wchar_t found[kWidePathSize] = L"";
    const std::wstring controlPath = std::wstring(control.begin(), control.end()) + L"x.ocx";
    EXPECT_EQ(c.place, FindImportedLibrary(controlPath.c_str(), L"zorder.dll", found));
    const std::string expected = c.found.empty() ? "" : c.found + "zorder.dll";
    EXPECT_EQ(std::wstring(expected.begin(), expected.end()), c.place == kNowhere ? L"" : std::wstring(found));
    for (const std::string& dir : c.copies) DeleteFileA((dir + "zorder.dll").c_str());
  }
  SetEnvironmentVariableA("PATH", path);
  SetCurrentDirectoryA(directory.c_str());
}
}  // namespace
