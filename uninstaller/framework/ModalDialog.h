#pragma once
// Modal dialog bound to a template by numeric ID. Subclasses map command IDs
// to handlers; IDOK and IDCANCEL fall back to the standard OK action (data
// exchange, then end with 1) and Cancel action (end with 2; Esc and the close
// box arrive as IDCANCEL). DoModal returns -1 when the dialog can't be created.
#include <windows.h>
#include <stddef.h>

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
  // Returns true when the ID belongs to the subclass's command map.
  virtual bool OnCommand(UINT id) { (void)id; return false; }
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(INT_PTR result) { ::EndDialog(window_, result); }

  template <class D>
  struct Command {
    UINT id;
    void (D::*handler)();
  };
  // Calls the handler that the map names for id, if any.
  template <class D, size_t N>
  static bool Dispatch(D* self, const Command<D> (&map)[N], UINT id) {
    for (const Command<D>& c : map) {
      if (c.id == id) {
        (self->*c.handler)();
        return true;
      }
    }
    return false;
  }

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
