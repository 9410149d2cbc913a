#include "ModalDialog.h"

#include "Handles.h"

namespace {
struct DialogColors {
  bool set = false;
  COLORREF text = 0;
  COLORREF background = 0;
  UniqueGdiObject brush;  // owned by the application, as the platform expects
};
DialogColors g_colors;

INT_PTR ApplyColors(HDC dc) {
  SetTextColor(dc, g_colors.text);
  SetBkColor(dc, g_colors.background);
  return reinterpret_cast<INT_PTR>(g_colors.brush.Get());
}
}  // namespace

void SetDialogColors(COLORREF background, COLORREF text) {
  g_colors.brush.Reset(CreateSolidBrush(background));
  g_colors.background = background;
  g_colors.text = text;
  g_colors.set = g_colors.brush.IsValid();
}

INT_PTR ModalDialog::DoModal() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner_, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

BOOL ModalDialog::OnInitDialog() {
  DoDataExchange(false);
  return TRUE;
}

void ModalDialog::OnOK() {
  DoDataExchange(true);
  EndDialog(IDOK);
}

void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK ModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ModalDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<ModalDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!self) return FALSE;

  switch (message) {
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      UINT id = LOWORD(wParam);
      if (id == IDOK) self->OnOK();
      else if (id == IDCANCEL) self->OnCancel();
      else return self->OnCommand(id) ? TRUE : FALSE;
      return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (g_colors.set) return ApplyColors(reinterpret_cast<HDC>(wParam));
      return FALSE;
    case WM_DESTROY:
      self->window_ = nullptr;
      return FALSE;
  }
  return FALSE;
}
