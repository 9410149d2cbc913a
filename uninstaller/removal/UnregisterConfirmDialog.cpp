#include "UnregisterConfirmDialog.h"

BOOL UnregisterConfirmDialog::OnInitDialog() {
  // The template's icon slot names no icon of ours: show the system's
  // question mark there, as this is a question.
  for (HWND child = GetWindow(Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      SendMessageA(child, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
      break;
    }
  }
  return ModalDialog::OnInitDialog();
}

void UnregisterConfirmDialog::DoDataExchange(bool save) {
  HWND field = GetDlgItem(Window(), IDC_CONTROL_NAME);
  if (!save) {
    SetWindowTextA(field, controlName.Get());
    return;
  }
  int length = GetWindowTextLengthA(field);
  GetWindowTextA(field, controlName.GetBuffer(length), length + 1);
  controlName.ReleaseBuffer();
}

bool UnregisterConfirmDialog::OnCommand(UINT id) {
  // Each answer ends the question with its own ID.
  if (id < IDC_CONFIRM_YES || id > IDC_CONFIRM_CANCEL) return false;
  EndDialog(id);
  return true;
}
