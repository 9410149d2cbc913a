#include "UnregisterConfirmDialog.h"

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
