// What unravel shows, as the scenarios find it (captions, texts, control
// IDs), the start they share (the program up to "&Uninstall") and their
// fixture.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Driver.h"
#include "E2eFixture.h"

namespace e2e {

const char kIntro[] = "Uninstall Zentrova.";
const char kRemoval[] = " Delete Custom Control (.OCX) files.";
const char kQuestion[] = "Dialog";
const char kFailureCaption[] = "Zentrova Uninstall";    // a control that could not be removed
const char kSequenceCaption[] = "Zentrova Uninstall.";  // the sequence's own messages
const char kNoControls[] = "No previously installed Zentrova .OCX\ncontrols were detected.";
constexpr int kList = 1000, kYes = 1066, kYesToAll = 1067, kNo = 1068, kCancel = 1069, kName = 1070;

// Starts unravel.exe (in workingDir, if given; a copy at exe, if given) and
// answers its first question with "&Uninstall".
inline void StartAndUninstall(std::unique_ptr<Process>& app, const std::string& workingDir = "",
                              const std::string& exe = "") {
  app = std::make_unique<Process>(
      Process::Start(exe.empty() ? WindowsPathFromEnv("UNRAVEL_EXE") : exe, workingDir));
  HWND intro = app->WaitWindow(kIntro);
  ASSERT_NE(intro, nullptr);
  Click(intro, IDOK);
}

// A run of unravel on a staged installation, and what its removal list,
// questions and messages show.
class UnravelRun : public testbed::E2eFixture {
 protected:
  // Started (in workingDir, if given) and past the introduction, with the
  // removal list up.
  void StartToTheList(const std::string& workingDir = "", const std::string& exe = "") {
    ASSERT_NO_FATAL_FAILURE(StartAndUninstall(app_, workingDir, exe));
    removal_ = app_->WaitWindow(kRemoval);
    ASSERT_NE(removal_, nullptr);
    list_ = FindControl(removal_, kList).hwnd;
  }
  // The first line removed with "Yes" to its question naming `name`, then
  // the list closed with Esc.
  void RemoveFirstLineThenClose(const std::string& name) {
    SelectLines(list_, {0});
    Click(removal_, IDOK);
    ASSERT_NO_FATAL_FAILURE(Answer(name, kYes));
    PressKey(removal_, VK_ESCAPE);
    ASSERT_TRUE(WaitGone(removal_));
  }
  // The question comes up naming `name`; answer it with `button`.
  void Answer(const std::string& name, int button) {
    HWND question = app_->WaitWindow(kQuestion);
    ASSERT_NE(question, nullptr) << "no question for \"" << name << "\"";
    EXPECT_EQ(name, FindControl(question, kName).text);
    // Its icon slot names icon 140, which the resources lack: it shows nothing.
    for (const Control& c : Controls(question))
      if (c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON)
        EXPECT_EQ(0, SendMessageA(c.hwnd, STM_GETICON, 0, 0)) << "an icon in the icon slot";
    if (button == IDCANCEL) PressKey(question, VK_ESCAPE);
    else Click(question, button);
    ASSERT_TRUE(WaitGone(question));
  }
  // A failure message over the list with its text; then OK.
  void ExpectFailure(const std::string& text) {
    ASSERT_NO_FATAL_FAILURE(ExpectMessageBox(kFailureCaption, text, MessageIcon::Exclamation, removal_));
  }
  // The next message box of the sequence: its text, then OK.
  void ExpectMessage(const std::string& text) {
    ASSERT_NO_FATAL_FAILURE(ExpectMessageBox(kSequenceCaption, text, MessageIcon::Information, nullptr));
  }
  // The two hand-over messages close the run when nothing can be handed over.
  void ExpectHandOverMessagesThenExit() {
    for (int i = 0; i < 2; ++i) {
      HWND box = app_->WaitWindow(kSequenceCaption);
      ASSERT_NE(box, nullptr) << "hand-over message " << i + 1 << " missing";
      EXPECT_EQ(nullptr, Owner(box));
      Dismiss(box);
      ASSERT_TRUE(WaitGone(box));
    }
    EXPECT_EQ(0u, app_->WaitExit());
  }

  HWND removal_ = nullptr;
  HWND list_ = nullptr;
};

}  // namespace e2e
