// What needs unravel's own resources, in a program that carries them: the
// application's message box (caption from the title string, no owner, the
// exclamation icon where none is named) and the colours each dialog hands
// the platform for its background, static texts and buttons.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Registry.h"
#include "WindowReading.h"
#include "framework/Application.h"
#include "framework/ModalDialog.h"
#include "removal/ControlRemovalDialog.h"
#include "removal/UnregisterConfirmDialog.h"
#include "sequence/IntroDialog.h"
#include "sequence/UninstallApp.h"

namespace {
struct Shown {
  std::string caption, text;
  HWND owner = nullptr;
  testbed::MessageIcon icon = testbed::MessageIcon::Unknown;
  int result = 0;
};

BOOL CALLBACK FirstVisible(HWND hwnd, LPARAM lp) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(lp) = hwnd;
  return FALSE;
}

DWORD WINAPI RunCall(void* p) { return static_cast<DWORD>((*static_cast<std::function<INT_PTR()>*>(p))()); }

// Runs `run` (a message box or a dialog) on a thread of its own, hands its
// window to `check` (null if it never came up), then closes it with `end`.
// Returns what `run` returned, 0 if it did not return in time.
INT_PTR OnItsOwnThread(std::function<INT_PTR()> run, const std::function<void(HWND)>& check, void (*end)(HWND)) {
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunCall, &run, 0, &threadId);
  HWND window = nullptr;
  for (DWORD waited = 0; !window && waited < testbed::kTimeoutMs; waited += 50) {
    Sleep(50);
    EnumThreadWindows(threadId, FirstVisible, reinterpret_cast<LPARAM>(&window));
  }
  check(window);
  if (window) end(window);
  DWORD result = 0;
  if (WaitForSingleObject(thread, testbed::kTimeoutMs) != WAIT_OBJECT_0) TerminateThread(thread, 1);
  else GetExitCodeThread(thread, &result);
  CloseHandle(thread);
  return static_cast<INT_PTR>(result);
}

// Shows the box on a thread of its own, reads it, then ends it with Esc or OK.
Shown Show(const char* text, UINT type) {
  Shown shown;
  const auto read = [&shown](HWND box) {
    if (!box) return;
    Sleep(300);  // painted, so that the icon can be read
    shown.caption = testbed::Text(box);
    shown.text = testbed::FindControl(box, -1).text;
    shown.owner = testbed::Owner(box);
    shown.icon = testbed::IconOf(box);
  };
  shown.result = static_cast<int>(OnItsOwnThread([=] { return static_cast<INT_PTR>(AppMessageBox(text, type)); },
                                                  read, testbed::Dismiss));
  return shown;
}

TEST(AppMessageBoxTest, CaptionFromTheTitleStringNoOwnerAndExclamationOnlyWhereNoIconIsNamed) {
  UninstallApp app;  // the program's own title
  const Shown plain = Show("OLE initialization failed.", MB_OK);
  EXPECT_EQ("Brenat Windows Application", plain.caption);
  EXPECT_EQ("OLE initialization failed.", plain.text);
  EXPECT_EQ(nullptr, plain.owner);
  EXPECT_EQ(testbed::MessageIcon::Exclamation, plain.icon) << testbed::ToString(plain.icon);
  EXPECT_EQ(IDOK, plain.result);

  const Shown named = Show("Done.", MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ("Brenat Windows Application", named.caption);
  EXPECT_EQ(testbed::MessageIcon::Information, named.icon) << testbed::ToString(named.icon);

  // Only an OK box is given an icon; a question keeps what it asked for.
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), AppMessageBoxStyle(MB_YESNO));
}

// Runs a dialog on a thread of its own and hands its window to `check`
// (null if it never came up); then ends it with Cancel.
void WithDialog(std::function<INT_PTR()> run, const std::function<void(HWND)>& check) {
  OnItsOwnThread(std::move(run), check,
                 [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); });
}

const COLORREF kGrey = RGB(192, 192, 192);
const COLORREF kBlack = RGB(0, 0, 0);

// What the dialog answers when the platform asks for the colours of
// `message` (a WM_CTLCOLOR*), for `control`.
::testing::AssertionResult GreyAndBlack(HWND dialog, UINT message, HWND control) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 1, 1));
  SetBkColor(dc, RGB(2, 2, 2));
  const LRESULT brush = SendMessageA(dialog, message, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(control));
  LOGBRUSH info{};
  const bool solid = brush && GetObjectA(reinterpret_cast<HGDIOBJ>(brush), sizeof info, &info) &&
                     info.lbStyle == BS_SOLID;
  const COLORREF text = GetTextColor(dc), back = GetBkColor(dc);
  DeleteDC(dc);
  if (solid && info.lbColor == kGrey && text == kBlack && back == kGrey)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "message 0x" << std::hex << message << ": brush " << (solid ? info.lbColor : 0xFFFFFFFF)
         << ", text 0x" << text << ", background 0x" << back;
}

void ExpectColoursEverywhere(HWND dialog) {
  ASSERT_NE(nullptr, dialog) << "the dialog did not come up";
  EXPECT_TRUE(GreyAndBlack(dialog, WM_CTLCOLORDLG, dialog));
  int buttons = 0;
  for (const testbed::Control& c : testbed::Controls(dialog)) {
    if (c.className == "Button") {
      ++buttons;
      EXPECT_TRUE(GreyAndBlack(dialog, WM_CTLCOLORBTN, c.hwnd)) << "button \"" << c.text << "\"";
    } else if (c.className == "Static") {
      EXPECT_TRUE(GreyAndBlack(dialog, WM_CTLCOLORSTATIC, c.hwnd)) << "static \"" << c.text << "\"";
    }
  }
  EXPECT_GT(buttons, 0);
}

TEST(DialogColoursTest, EveryDialogGivesItsBackgroundTextsAndButtonsGreyWithBlackText) {
  SetDialogColors(kGrey, kBlack);
  WithDialog([] { return IntroDialog().DoModal(); }, ExpectColoursEverywhere);
  WithDialog(
      [] {
        UnregisterConfirmDialog confirm;
        confirm.controlName = "Grid Control";
        return confirm.DoModal();
      },
      ExpectColoursEverywhere);

  // The list shows only with a control of the product registered.
  const char clsid[] = "{7E57AA78-3333-4000-8000-0000000000C3}";
  ASSERT_TRUE(testbed::WriteClassRegistration({clsid, "Colour Control", "C:\\ZCOLOUR\\c.ocx"}));
  WithDialog([] { return ControlRemovalDialog(nullptr, "C:\\ZCOLOUR\\").DoModal(); },
             ExpectColoursEverywhere);
  testbed::RemoveClassRegistration(clsid);
}
}  // namespace
