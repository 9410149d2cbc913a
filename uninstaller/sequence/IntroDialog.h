#pragma once
// First question of the run: go on with the removal (1) or skip it (2).
#include "../framework/ModalDialog.h"
#include "../resource.h"

class IntroDialog : public ModalDialog {
 public:
  explicit IntroDialog(HWND owner = nullptr) : ModalDialog(IDD_INTRO, owner) {}
};
