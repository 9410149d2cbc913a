#pragma once
// Lists the product's OLE controls (classes marked "Control" whose server
// file lies directly in the storage directory) and removes the ones the user
// confirms: the control's own unregistration, then its file. Writes no
// registry key itself. Every way out ends the dialog with 2. While a pass
// runs (first question to last removal) "&Delete .OCX", "&OK", Esc and the
// close box do nothing: a control's own message loop may deliver them.
#include "../framework/BusyFlag.h"
#include "../framework/ModalDialog.h"
#include "../framework/OwnedList.h"
#include "../framework/Text.h"
#include "../resource.h"
#include "ControlRecord.h"

// True only for a path whose directory part (up to its last backslash,
// double-byte aware) equals dir, ignoring case by the code page.
bool IsPathInDir(const Text& dir, const char* path);

// Walks the classes under HKEY_CLASSES_ROOT\CLSID in registry order and
// appends one record for each class marked "Control" whose server file lies
// directly in storageDir. False if "CLSID" can't be opened. Reads only.
bool CollectProductControls(const Text& storageDir, OwnedList<ControlRecord>& records);

// Calls visit(context, serverPath) with the in-process server path (the
// default value of "<class>\InprocServer32", as stored) of every class under
// HKEY_CLASSES_ROOT\CLSID, controls or not. One query per class; reads only.
// False if "CLSID" can't be opened.
bool ForEachClassServer(void (*visit)(void* context, const char* serverPath), void* context);

template <typename Visit>
bool ForEachClassServer(Visit& visit) {
  return ForEachClassServer([](void* context, const char* path) { (*static_cast<Visit*>(context))(path); }, &visit);
}

class ControlRemovalDialog : public ModalDialog {
 public:
  ControlRemovalDialog(HWND parent, Text storageDir)
      : ModalDialog(IDD_CONTROL_REMOVAL, parent), storageDir(storageDir) {}

  bool IsInStorageDir(const char* path) const { return IsPathInDir(storageDir, path); }

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
  void ReportFailure(const char* format, const ControlRecord& record);

  HWND controlList = nullptr;          // list box 1000, line i shows records[i]
  OwnedList<ControlRecord> records;
  Text storageDir;
  BusyFlag passRunning;
};
