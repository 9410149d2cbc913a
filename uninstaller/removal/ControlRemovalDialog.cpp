#include "ControlRemovalDialog.h"

#include "../Messages.h"
#include "UnregisterConfirmDialog.h"

BOOL ControlRemovalDialog::OnInitDialog() {
  ModalDialog::OnInitDialog();
  controlList = GetDlgItem(Window(), IDC_CONTROL_LIST);
  FillControlList();
  return TRUE;
}

// Neither a second pass nor a close (which frees the records the pass still
// uses) while one runs; the click is dropped, not queued.
void ControlRemovalDialog::OnOK() {
  if (!passRunning.IsSet()) DeleteSelected();
}

void ControlRemovalDialog::OnCancel() {
  if (!passRunning.IsSet()) Close();
}

void ControlRemovalDialog::FillControlList() {
  SendMessageA(controlList, LB_RESETCONTENT, 0, 0);
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  ControlWalk walk = CollectProductControls(storageDir, controlFolder, records);
  for (int i = 0; i < records.Count(); ++i)
    SendMessageA(controlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records[i]->description));
  SetCursor(previous);
  if (walk == ControlWalk::kNoClasses) return;  // no class registrations to read: an empty list, no message

  if (walk == ControlWalk::kFolderRefused) {
    char message[1025];  // wsprintfA writes 1024 bytes at most
    wsprintfA(message, kControlFolderRefusedFormat, storageDir.Get());
    MessageBoxA(Window(), message, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
    Close();
  } else if (SendMessageA(controlList, LB_GETCOUNT, 0, 0) <= 0) {
    MessageBoxA(Window(), kNoControlsMessage, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
    Close();
  }
}

void ControlRemovalDialog::DeleteSelected() {
  int count = static_cast<int>(SendMessageA(controlList, LB_GETSELCOUNT, 0, 0));
  if (count <= 0) return;
  int* selected = new int[count];
  int got = static_cast<int>(
      SendMessageA(controlList, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(selected)));
  BusyFlag::Scope pass(passRunning);

  bool ask = true;
  bool stop = false;
  // Bottom up: removing a line never moves one still to be handled.
  for (int k = got - 1; k >= 0 && !stop; --k) {
    int line = selected[k];
    if (line < 0 || line >= records.Count()) continue;
    ControlRecord* record = records[line];
    bool remove = !ask;
    if (ask) {
      // Owned by this dialog, which is disabled meanwhile; posted clicks
      // still arrive and are dropped while the pass runs.
      UnregisterConfirmDialog confirm(Window());
      confirm.controlName = record->description;
      switch (confirm.DoModal()) {
        case IDC_CONFIRM_YES_TO_ALL:
          ask = false;
          remove = true;
          break;
        case IDC_CONFIRM_YES:
          remove = true;
          break;
        case IDC_CONFIRM_CANCEL:
        case -1:
          stop = true;
          break;
        default:  // No, Esc, the close box
          break;
      }
    }
    if (remove) {
      RemoveControl(*record);
      SendMessageA(controlList, LB_DELETESTRING, line, 0);
      records.RemoveAt(line);
    }
  }
  delete[] selected;
}

void ControlRemovalDialog::RemoveControl(ControlRecord& record) {
  if (!record.fileExists) return;
  ControlFile file;  // pinned from the check before its load until it is deleted
  file.Pin(controlFolder, record.serverPath);
  if (record.Unregister(file) != 1) {
    ReportFailure(kUnregisterFailedFormat, record);
    return;
  }
  // By its one listed name, through the held folder, never by the path read again.
  if (!file.Delete(controlFolder)) ReportFailure(kDeleteFailedFormat, record);
}

void ControlRemovalDialog::ReportFailure(const char* format, const ControlRecord& record) {
  char message[520];  // a description holds at most 261 characters
  wsprintfA(message, format, record.description ? record.description : "");
  MessageBoxA(Window(), message, kFailureCaption, MB_OK | MB_ICONEXCLAMATION);
}

void ControlRemovalDialog::FreeRecords() { records.Clear(); }

void ControlRemovalDialog::Close() {
  FreeRecords();
  controlFolder.Close();
  EndDialog(IDCANCEL);
}
