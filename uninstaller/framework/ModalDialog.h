#pragma once
// Modal dialog bound to a template by numeric ID. IDOK and IDCANCEL go to
// OnOK, by default the standard OK action (data exchange, then end with 1),
// and OnCancel, by default the Cancel action (end with 2; Esc and the close
// box arrive as IDCANCEL); every other command to OnCommand. DoModal returns
// -1 when the dialog can't be created.
#include <windows.h>

class ModalDialog {
 public:
  ModalDialog(UINT templateId, HWND owner) : templateId_(templateId), owner_(owner) {}
  virtual ~ModalDialog() {}
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  INT_PTR DoModal();
  HWND Window() const { return window_; }

 protected:
  // Runs the data exchange into the controls; TRUE lets the platform set focus.
  virtual BOOL OnInitDialog();
  // save == false: fields to controls; true: controls to fields.
  virtual void DoDataExchange(bool save) { (void)save; }
  // Returns true when the subclass handled command id.
  virtual bool OnCommand(UINT id) { (void)id; return false; }
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(INT_PTR result) { ::EndDialog(window_, result); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND owner_;
  HWND window_ = nullptr;
};

// The colour scheme of every dialog of the application: background of the
// dialog, its static texts and its buttons, and their text colour. List boxes
// and edit fields keep the system colours.
void SetDialogColors(COLORREF background, COLORREF text);
