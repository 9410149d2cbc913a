#pragma once
// Lists the product's OLE controls (classes marked "Control" whose server
// file lies directly in the storage directory) and removes the ones the user
// confirms: the control's own unregistration, then its file. The storage
// directory is held from the walk until the dialog ends (HeldFolder.h):
// whatever happens to its path while a question waits, a control is loaded
// only from, and deleted only in, the folder the walk held. Writes no
// registry key itself. Every way out ends the dialog with 2. While a pass
// runs (first question to last removal) "&Delete .OCX", "&OK", Esc and the
// close box do nothing: a control's own message loop may deliver them.
#include "../../common/BusyFlag.h"
#include "../framework/ModalDialog.h"
#include "../framework/OwnedList.h"
#include "../framework/Text.h"
#include "../resource.h"
#include "ClassRegistrations.h"
#include "ControlRecord.h"

class ControlRemovalDialog : public ModalDialog {
 public:
  ControlRemovalDialog(HWND parent, Text storageDir)
      : ModalDialog(IDD_CONTROL_REMOVAL, parent), storageDir(storageDir) {}

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;      // "&Delete .OCX", the default button
  void OnCancel() override;  // "&OK", Esc and the close box

 private:
  void FillControlList();
  void DeleteSelected();
  void RemoveControl(ControlRecord& record);
  void FreeRecords();
  void Close();
  void ReportFailure(const char* format, const ControlRecord& record);

  HWND controlList = nullptr;          // list box 1000, line i shows records[i]
  OwnedList<ControlRecord> records;
  Text storageDir;
  HeldFolder controlFolder;  // storageDir, held from the walk to the end
  BusyFlag passRunning;
};
