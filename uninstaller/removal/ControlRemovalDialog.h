#pragma once
// Lists the product's OLE controls (classes marked "Control" whose server
// file lies directly in the storage directory) and removes the ones the user
// confirms: the control's own unregistration, then its file. Writes no
// registry key itself. Every way out ends the dialog with 2.
#include "../framework/ModalDialog.h"
#include "../framework/OwnedList.h"
#include "../framework/Text.h"
#include "../resource.h"
#include "ControlRecord.h"

class ControlRemovalDialog : public ModalDialog {
 public:
  ControlRemovalDialog(HWND parent, Text storageDir)
      : ModalDialog(IDD_CONTROL_REMOVAL, parent), storageDir(storageDir) {}

  // True only for a path whose directory part (up to its last backslash,
  // double-byte aware) equals storageDir, ignoring case by the code page.
  bool IsInStorageDir(const char* path) const;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(UINT id) override;

 private:
  void FillControlList();
  void DeleteSelected();
  void RemoveControl(ControlRecord& record);
  int DeleteControlFile(const char* path);
  void FreeRecords();
  void Close();
  void AddRecord(const char* description, const char* serverPath);
  void ReportFailure(const char* format, const ControlRecord& record);

  HWND controlList = nullptr;          // list box 1000, line i shows records[i]
  OwnedList<ControlRecord> records;
  Text storageDir;
};
