// What unravel shows, as the scenarios find it (captions, texts, control
// IDs), and the start they share: the program up to "&Uninstall".
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Driver.h"

namespace e2e {

const char kIntro[] = "Uninstall Zentrova.";
const char kRemoval[] = " Delete Custom Control (.OCX) files.";
const char kQuestion[] = "Dialog";
const char kFailureCaption[] = "Zentrova Uninstall";    // a control that could not be removed
const char kSequenceCaption[] = "Zentrova Uninstall.";  // the sequence's own messages
const char kNoControls[] = "No previously installed Zentrova .OCX\ncontrols were detected.";
constexpr int kList = 1000, kYes = 1066, kYesToAll = 1067, kNo = 1068, kCancel = 1069, kName = 1070;

// Starts unravel.exe (in workingDir, if given) and answers its first
// question with "&Uninstall".
inline void StartAndUninstall(std::unique_ptr<Process>& app, const std::string& workingDir = "") {
  app = std::make_unique<Process>(Process::Start(WindowsPathFromEnv("UNRAVEL_EXE"), workingDir));
  HWND intro = app->WaitWindow(kIntro);
  ASSERT_NE(intro, nullptr);
  Click(intro, IDOK);
}

}  // namespace e2e
