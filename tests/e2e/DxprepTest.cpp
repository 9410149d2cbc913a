// The real dxprep.exe, copied with the stand-in DSETUP.dll into a folder of
// its own: what it hands to the setup library and what the user sees.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "Driver.h"
#include "E2eFixture.h"

using namespace e2e;
using namespace testbed;

namespace {
const char kDialog[] = "Microsoft DirectX Setup";
const char kCaption[] = "Setup DirectX Game SDK for Zentrova";
const char kSucceeded[] =
    "DirectX installation has been successful. In order to use DirectX, you must restart your computer.";
const char kFailed[] = "DirectX failed to install. The game was not installed.";
const char kFolder[] = "C:\\DXP";

class Dxprep : public E2eFixture {
 protected:
  void StartWithResult(const std::string& result) {
    stage_.MakeFolder(std::string(kFolder) + "\\DirectX");
    stage_.CopyFixture("DSETUP.dll", std::string(kFolder) + "\\DSETUP.dll");
    stage_.WriteFile(std::string(kFolder) + "\\dsetup-result.txt", result);
    ASSERT_NO_FATAL_FAILURE(Start());
  }
  void Start(const std::string& workingDir = "") {
    std::string exe = std::string(kFolder) + "\\SETUP.EXE";
    if (!FileExists(exe)) {
      stage_.MakeFolder(kFolder);
      stage_.CopyIn(WindowsPathFromEnv("DXPREP_EXE"), exe);
    }
    // Each run starts without a record, whatever an earlier one left.
    const std::string record = std::string(kFolder) + "\\dsetup-record.txt";
    DeleteFileA(record.c_str());
    stage_.Track(record);
    stage_.Track(exe);
    app_ = std::make_unique<Process>(Process::Start(exe, workingDir));
  }
  std::string Record() { return ReadWholeFile(std::string(kFolder) + "\\dsetup-record.txt"); }

  // "Install", the outcome message with its text, then the end of the run.
  void InstallAndExpect(const char* text) {
    HWND dialog = app_->WaitWindow(kDialog);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, 1);
    HWND box = app_->WaitWindow(kCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, FindControl(box, -1).text);
    EXPECT_EQ(MessageIcon::None, IconOf(box)) << ToString(IconOf(box));
    EXPECT_EQ(dialog, Owner(box));
    EXPECT_TRUE(Exists(dialog)) << "the dialog closes only after the message";
    ASSERT_NO_FATAL_FAILURE(DismissAndExpectInstalled(dialog, box));
  }

  // The outcome message dismissed: nothing more shows, the run ends with 0,
  // and the setup library was called once with the dialog and the folder.
  void DismissAndExpectInstalled(HWND dialog, HWND box) {
    Dismiss(box);
    EXPECT_TRUE(app_->WindowsUntilExit({dialog, box}).empty());
    EXPECT_EQ(0u, app_->WaitExit());
    EXPECT_EQ(std::string("window=valid\npath=") + kFolder + "\\DirectX\nflags=63\n", Record());
  }
  // The setup library answers `result`: "Install" gives the message `text`.
  void ExpectOutcome(const char* result, const char* text) {
    ASSERT_NO_FATAL_FAILURE(StartWithResult(result));
    ASSERT_NO_FATAL_FAILURE(InstallAndExpect(text));
  }
  // Leaving without installing: no call, no message, exit code 0.
  void ExpectLeavesQuietly(HWND dialog) {
    EXPECT_TRUE(app_->WindowsUntilExit({dialog}).empty());
    EXPECT_EQ(0u, app_->WaitExit());
    EXPECT_EQ("", Record());
  }
};

TEST_F(Dxprep, ShowsItsTextsAndSucceedsOnZero) {
  ASSERT_NO_FATAL_FAILURE(StartWithResult("0"));
  HWND dialog = app_->WaitWindow(kDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(nullptr, Owner(dialog));
  EXPECT_EQ("Setup will install Microsoft DirectX(tm) for Zentrova. Click on install to begin installation.",
            FindControl(dialog, 1005).text);
  EXPECT_EQ("Install", FindControl(dialog, 1).text);
  EXPECT_EQ("Cancel", FindControl(dialog, 2).text);
  EXPECT_EQ(BS_PUSHBUTTON, FindControl(dialog, 1).style & BS_TYPEMASK);
  ASSERT_NO_FATAL_FAILURE(InstallAndExpect(kSucceeded));
}

TEST_F(Dxprep, AnyPositiveResultIsSuccess) { ExpectOutcome("7", kSucceeded); }
TEST_F(Dxprep, MinusOneIsFailure) { ExpectOutcome("-1", kFailed); }
TEST_F(Dxprep, AnyOtherNegativeResultIsFailure) { ExpectOutcome("-9", kFailed); }

TEST_F(Dxprep, CancelEscAndTheCloseBoxCallNothing) {
  const struct {
    const char* how;
    void (*leave)(HWND dialog);
  } ways[] = {
      {"Cancel", [](HWND dialog) { Click(dialog, 2); }},
      {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
      {"close box", [](HWND dialog) { CloseBox(dialog); }},
  };
  bool first = true;
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    if (first) ASSERT_NO_FATAL_FAILURE(StartWithResult("0"));
    else ASSERT_NO_FATAL_FAILURE(Start());
    first = false;
    HWND dialog = app_->WaitWindow(kDialog);
    ASSERT_NE(dialog, nullptr);
    way.leave(dialog);
    ASSERT_NO_FATAL_FAILURE(ExpectLeavesQuietly(dialog));
  }
}

TEST_F(Dxprep, ClicksWhileTheSetupRunsOrItsOutcomeIsUpDoNothing) {
  // This setup library shows a window of its own and runs a message loop
  // for about two seconds, which delivers the clicks posted to the dialog.
  stage_.MakeFolder(std::string(kFolder) + "\\DirectX");
  stage_.CopyFixture("DSETUP-busy.dll", std::string(kFolder) + "\\DSETUP.dll");
  stage_.WriteFile(std::string(kFolder) + "\\dsetup-result.txt", "0");
  Start();
  HWND dialog = app_->WaitWindow(kDialog);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, 1);
  HWND busy = app_->WaitWindow("DirectX Setup Busy");
  ASSERT_NE(busy, nullptr) << "the setup library's own window never came";
  Click(dialog, 1);
  Click(dialog, 2);
  CloseBox(dialog);
  ASSERT_TRUE(WaitGone(busy));

  HWND box = app_->WaitWindow(kCaption);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kSucceeded, FindControl(box, -1).text);
  EXPECT_EQ(dialog, Owner(box));
  // The outcome's own loop delivers clicks to the dialog too.
  Click(dialog, 1);
  Click(dialog, 2);
  Sleep(1000);
  EXPECT_TRUE(Exists(box));
  ASSERT_NO_FATAL_FAILURE(DismissAndExpectInstalled(dialog, box));
}

TEST_F(Dxprep, DoesNotStartWithoutTheSetupLibrary) {
  // The folder holds no DSETUP.dll: either the platform refuses to start
  // the program, or it ends at load time without showing anything.
  try {
    ASSERT_NO_FATAL_FAILURE(Start());
  } catch (const std::exception&) {
    return;
  }
  EXPECT_EQ(nullptr, app_->WaitAnyWindow({}));
  EXPECT_NE(0u, app_->WaitExit());
}

// What the setup library loads later by name comes from the application
// directory or the system, never from the current directory.
TEST_F(Dxprep, ALibraryPlantedInTheCurrentDirectoryIsNeverLoaded) {
  const std::string work = "C:\\DXW";
  stage_.MakeFolder(work);
  stage_.CopyFixture("zplant.dll", work + "\\zplant.dll");
  stage_.Track(work + "\\planted-loaded.txt");
  stage_.MakeFolder(std::string(kFolder) + "\\DirectX");
  stage_.CopyFixture("DSETUP.dll", std::string(kFolder) + "\\DSETUP.dll");
  stage_.WriteFile(std::string(kFolder) + "\\dsetup-result.txt", "0");
  stage_.WriteFile(std::string(kFolder) + "\\dsetup-load.txt", "zplant.dll");
  ASSERT_NO_FATAL_FAILURE(Start(work));
  ASSERT_NO_FATAL_FAILURE(InstallAndExpect(kSucceeded));
  EXPECT_EQ("", ReadWholeFile(work + "\\planted-loaded.txt"));
}
}  // namespace
