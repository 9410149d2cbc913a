// The base of an end-to-end fixture: a staged installation, the program
// started on it, and the check of a message box it shows. For programs that
// link e2e_driver.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Driver.h"
#include "Staging.h"

namespace testbed {

class E2eFixture : public ::testing::Test {
 protected:
  // The next message box captioned `caption`: its text, icon and owner; then
  // OK, and it is gone.
  void ExpectMessageBox(const char* caption, const std::string& text, e2e::MessageIcon icon, HWND owner) {
    HWND box = app_->WaitWindow(caption);
    ASSERT_NE(box, nullptr) << "missing: " << text;
    EXPECT_EQ(text, e2e::FindControl(box, -1).text);  // a message box's text static has ID 0xFFFF
    EXPECT_EQ(icon, e2e::IconOf(box)) << e2e::ToString(e2e::IconOf(box));
    EXPECT_EQ(owner, e2e::Owner(box));
    e2e::Dismiss(box);
    ASSERT_TRUE(e2e::WaitGone(box));
  }
  // The run ends with exit code 0, having started the stand-in uninstaller
  // with this command line after its path, in the Windows directory (the
  // program itself runs elsewhere).
  void ExpectHandedOver(const std::string& arguments) {
    EXPECT_EQ(0u, app_->WaitExit());
    ASSERT_TRUE(WaitFile(stage_.WindowsDir() + "\\uninst-record.txt", e2e::kTimeoutMs));
    EXPECT_EQ(stage_.WindowsDir() + "\\uninst.exe " + arguments, stage_.UninstallerRecord());
    EXPECT_EQ(stage_.WindowsDir(), ReadWholeFile(stage_.WindowsDir() + "\\uninst-cwd.txt"));
  }

  Staging stage_;
  std::unique_ptr<e2e::Process> app_;
};

}  // namespace testbed
