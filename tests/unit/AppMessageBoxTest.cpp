// The application's own message box, in a program that carries unravel's
// resources: its caption comes from the title string there, it has no
// owner, and an OK box without an icon gets the exclamation icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Driver.h"
#include "framework/Application.h"

namespace {
struct Shown {
  std::string caption, text;
  HWND owner = nullptr;
  e2e::MessageIcon icon = e2e::MessageIcon::Unknown;
  int result = 0;
};

struct BoxCall {
  const char* text;
  UINT type;
  int result;
};

DWORD WINAPI ShowBox(void* p) {
  auto* call = static_cast<BoxCall*>(p);
  call->result = AppMessageBox(call->text, call->type);
  return 0;
}

BOOL CALLBACK FirstVisible(HWND hwnd, LPARAM lp) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(lp) = hwnd;
  return FALSE;
}

// Shows the box on a thread of its own, reads it, then ends it with Esc or OK.
Shown Show(const char* text, UINT type) {
  BoxCall call{text, type, 0};
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, ShowBox, &call, 0, &threadId);
  Shown shown;
  HWND box = nullptr;
  for (DWORD waited = 0; !box && waited < e2e::kTimeoutMs; waited += 50) {
    Sleep(50);
    EnumThreadWindows(threadId, FirstVisible, reinterpret_cast<LPARAM>(&box));
  }
  if (box) {
    Sleep(300);  // painted, so that the icon can be read
    shown.caption = e2e::Text(box);
    shown.text = e2e::FindControl(box, -1).text;
    shown.owner = e2e::Owner(box);
    shown.icon = e2e::IconOf(box);
    e2e::Dismiss(box);
  }
  if (WaitForSingleObject(thread, e2e::kTimeoutMs) != WAIT_OBJECT_0) TerminateThread(thread, 1);
  CloseHandle(thread);
  shown.result = call.result;
  return shown;
}

TEST(AppMessageBoxTest, CaptionFromTheTitleStringNoOwnerAndExclamationOnlyWhereNoIconIsNamed) {
  const Shown plain = Show("OLE initialization failed.", MB_OK);
  EXPECT_EQ("Brenat Windows Application", plain.caption);
  EXPECT_EQ("OLE initialization failed.", plain.text);
  EXPECT_EQ(nullptr, plain.owner);
  EXPECT_EQ(e2e::MessageIcon::Exclamation, plain.icon) << e2e::ToString(plain.icon);
  EXPECT_EQ(IDOK, plain.result);

  const Shown named = Show("Done.", MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ("Brenat Windows Application", named.caption);
  EXPECT_EQ(e2e::MessageIcon::Information, named.icon) << e2e::ToString(named.icon);

  // Only an OK box is given an icon; a question keeps what it asked for.
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), AppMessageBoxStyle(MB_YESNO));
}
}  // namespace
