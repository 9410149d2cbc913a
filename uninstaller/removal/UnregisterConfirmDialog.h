#pragma once
// The question asked before one control is unregistered and deleted. Ends
// with the ID of the answer pressed (Yes, Yes to All, No, Cancel), 2 for Esc
// or the close box, 1 for the platform's OK request.
#include "../framework/ModalDialog.h"
#include "../framework/Text.h"
#include "../resource.h"

class UnregisterConfirmDialog : public ModalDialog {
 public:
  explicit UnregisterConfirmDialog(HWND parent = nullptr) : ModalDialog(IDD_UNREGISTER_CONFIRM, parent) {}

  Text controlName;  // shown in the name field

 protected:
  void DoDataExchange(bool save) override;
  bool OnCommand(UINT id) override;
};
