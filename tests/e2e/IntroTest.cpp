// The introduction step of the real unravel.exe, driven as a user would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "UnravelWindows.h"

using namespace e2e;

namespace {

const char kUpperText[] =
    "Zentrova shall now attempt to locate and remove any previously installed versions.  "
    "If you have not installed Zentrova previously, simply Skip this procedure.";
const char kLowerText[] =
    "Before Zentrova is removed fom your computer, you may first delete any custom control "
    "(.OCX) files which have been added to your system by Zentrova.  Any .OCX files you do "
    "not remove shall remain installed and registered after uninstall is complete.";

const COLORREF kGrey = RGB(192, 192, 192);
const COLORREF kBlack = RGB(0, 0, 0);

// Neither place holds directories: the program finds no product at all.
void ClearDirectories() {
  for (const char* key : {testbed::kPrimaryDirectories, testbed::kFallbackDirectories}) {
    const LSTATUS status = RegDeleteTreeA(HKEY_USERS, key);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        << key << ": error " << status;
  }
}

std::string MessageText(HWND box) {
  return FindControl(box, -1).text;  // a message box's text static has ID 0xFFFF
}

::testing::AssertionResult HasStyle(const Control& c, DWORD typeMask, DWORD type) {
  if ((c.style & typeMask) == type) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "control \"" << c.text << "\" has style 0x" << std::hex
                                       << c.style << ", expected type 0x" << type;
}

// The area's most frequent colour is `background`, and its darkest text
// pixels are `text`.
::testing::AssertionResult Colours(HWND dialog, const Control& c, COLORREF background,
                                   COLORREF text) {
  const Image image = CaptureClient(dialog, c.rect);
  if (image.pixels.empty()) return ::testing::AssertionFailure() << "empty area";
  const int total = static_cast<int>(image.pixels.size());
  if (image.Count(background) * 2 < total)
    return ::testing::AssertionFailure()
           << "\"" << c.text << "\": only " << image.Count(background) << " of " << total
           << " pixels are 0x" << std::hex << background;
  if (image.Count(text) == 0)
    return ::testing::AssertionFailure()
           << "\"" << c.text << "\": no pixel in text colour 0x" << std::hex << text;
  return ::testing::AssertionSuccess();
}

class IntroDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDirectories();
    app_ = std::make_unique<Process>(Process::Start(WindowsPathFromEnv("UNRAVEL_EXE")));
    intro_ = app_->WaitWindow(kIntro);
    ASSERT_NE(intro_, nullptr) << "no window \"" << kIntro << "\"";
  }

  // After a quitting action: the dialog goes, nothing else appears, exit 0.
  void ExpectEndsQuietly() {
    const std::vector<std::string> others = app_->WindowsUntilExit({intro_});
    EXPECT_TRUE(others.empty()) << "unexpected window \"" << others.front() << "\"";
    EXPECT_EQ(app_->WaitExit(), 0u);
  }

  // After "&Uninstall" with no directories: the no-controls message comes
  // first; whatever follows it is dismissed, and the program ends with 0.
  void ExpectNoControlsMessageThenExit() {
    HWND box = app_->WaitWindow(kSequenceCaption);
    ASSERT_NE(box, nullptr) << "no message box \"" << kSequenceCaption << "\"";
    EXPECT_FALSE(Exists(intro_)) << "the introduction is still shown";
    EXPECT_EQ(MessageText(box), kNoControls);
    EXPECT_EQ(IconOf(box), MessageIcon::Information) << ToString(IconOf(box));
    EXPECT_EQ(Owner(box), nullptr);
    PressKey(box, VK_RETURN);
    ASSERT_TRUE(WaitGone(box));

    for (HWND next = app_->WaitAnyWindow({intro_, box}); next;
         next = app_->WaitAnyWindow({intro_, box})) {
      Dismiss(next);
      ASSERT_TRUE(WaitGone(next)) << "cannot dismiss \"" << Text(next) << "\"";
    }
    EXPECT_EQ(app_->WaitExit(), 0u);
  }

  std::unique_ptr<Process> app_;
  HWND intro_ = nullptr;
};

// One run: texts, layout, icon and colours, then the close box ends it.
TEST_F(IntroDialog, ShowsItsTextsIconAndGreyThenCloseBoxEndsTheProgram) {
  EXPECT_EQ(Owner(intro_), nullptr);

  const Control uninstall = FindControl(intro_, IDOK);
  EXPECT_EQ(uninstall.text, "&Uninstall");
  EXPECT_TRUE(HasStyle(uninstall, BS_TYPEMASK, BS_DEFPUSHBUTTON));
  const Control skip = FindControl(intro_, IDCANCEL);
  EXPECT_EQ(skip.text, "&Skip");
  EXPECT_TRUE(HasStyle(skip, BS_TYPEMASK, BS_PUSHBUTTON));

  const Control upper = FindControl(intro_, kUpperText);
  const Control lower = FindControl(intro_, kLowerText);
  EXPECT_TRUE(HasStyle(upper, SS_TYPEMASK, SS_LEFT));
  EXPECT_TRUE(HasStyle(lower, SS_TYPEMASK, SS_LEFT));
  EXPECT_LT(upper.rect.bottom, lower.rect.top) << "upper text not above the lower one";
  EXPECT_GT(uninstall.rect.left, upper.rect.right) << "buttons not right of the text";
  EXPECT_LT(uninstall.rect.top, skip.rect.top) << "\"&Uninstall\" not above \"&Skip\"";

  int icons = 0;
  for (const Control& c : Controls(intro_)) {
    if (c.className != "Static" || (c.style & SS_TYPEMASK) != SS_ICON) continue;
    ++icons;
    EXPECT_GT(c.rect.top, skip.rect.bottom) << "icon not below the buttons";
    const Image icon = CaptureClient(c.hwnd);
    EXPECT_LT(icon.Count(icon.At(0, 0)), static_cast<int>(icon.pixels.size()))
        << "the icon control is blank";
  }
  EXPECT_EQ(icons, 1);

  RECT client{};
  GetClientRect(intro_, &client);
  // Below the icon, right of the lower text: bare dialog background.
  EXPECT_EQ(Pixel(intro_, client.right - 4, client.bottom - 4), kGrey);
  EXPECT_EQ(Pixel(intro_, client.right - 4, 2), kGrey);

  EXPECT_TRUE(Colours(intro_, FindControl(intro_, kUpperText), kGrey, kBlack));
  EXPECT_TRUE(Colours(intro_, FindControl(intro_, kLowerText), kGrey, kBlack));
  for (int id : {IDOK, IDCANCEL}) {
    const Image button = CaptureClient(intro_, FindControl(intro_, id).rect);
    EXPECT_GT(button.Count(kBlack), 0) << "button " << id << " has no black text";
  }

  CloseBox(intro_);
  ExpectEndsQuietly();
}

// The signed release (UNRAVEL_SIGNED_EXE, left by the release.signed test in
// one prefix's run) starts like the plain build: the loader takes the image
// with its signature.
TEST(SignedRelease, StartsIntoTheIntroductionAndSkipEndsIt) {
  if (!std::getenv("UNRAVEL_SIGNED_EXE")) GTEST_SKIP() << "UNRAVEL_SIGNED_EXE is not set";
  ClearDirectories();
  Process app = Process::Start(WindowsPathFromEnv("UNRAVEL_SIGNED_EXE"));
  HWND intro = app.WaitWindow(kIntro);
  ASSERT_NE(intro, nullptr) << "no window \"" << kIntro << "\"";
  Click(intro, "&Skip");
  EXPECT_EQ(app.WaitExit(), 0u);
}

// Every way out of the dialog but "&Uninstall" ends the program at once.
TEST_F(IntroDialog, SkipEndsTheProgram) {
  Click(intro_, "&Skip");
  ExpectEndsQuietly();
}

TEST_F(IntroDialog, EscEndsTheProgram) {
  PressKey(intro_, VK_ESCAPE);
  ExpectEndsQuietly();
}

// With no directories in the registry, going on reports that there are no
// controls, as a message box of its own.
TEST_F(IntroDialog, EnterChoosesUninstall) {
  PressKey(intro_, VK_RETURN);
  ASSERT_NO_FATAL_FAILURE(ExpectNoControlsMessageThenExit());
}

TEST_F(IntroDialog, MnemonicUChoosesUninstall) {
  PressMnemonic(intro_, 'u');
  ASSERT_NO_FATAL_FAILURE(ExpectNoControlsMessageThenExit());
}

}  // namespace
