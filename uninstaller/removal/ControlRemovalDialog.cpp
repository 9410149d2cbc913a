#include "ControlRemovalDialog.h"

#include <string.h>

#include "../framework/Handles.h"
#include "../sequence/FolderGuard.h"
#include "UnregisterConfirmDialog.h"

namespace {
const char kNoControlsCaption[] = "Zentrova Uninstall.";
const char kNoControlsMessage[] = "No previously installed Zentrova .OCX\ncontrols were detected.";
const char kFailureCaption[] = "Zentrova Uninstall";
const char kUnregisterFailed[] = "Unable to unregister control %s";
const char kDeleteFailed[] = "Unable to delete control %s";

constexpr int kClassNameSize = 261;
constexpr LONG kDescriptionSize = 262;
constexpr LONG kServerPathSize = 520;

// The default value of subKey beneath key, if it fits its buffer with its
// zero byte; bytes without one inside the buffer count as too long.
bool QueryDefaultText(HKEY key, const char* subKey, char* buffer, LONG size) {
  LONG got = size;
  if (RegQueryValueA(key, subKey, buffer, &got) != ERROR_SUCCESS) return false;
  return memchr(buffer, 0, size) != nullptr;
}

bool FileExists(const char* path) {
  OFSTRUCT info;
  if (strlen(path) < sizeof info.szPathName) return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
  // OpenFile can't take a path longer than its own record holds.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

BOOL ControlRemovalDialog::OnInitDialog() {
  ModalDialog::OnInitDialog();
  controlList = GetDlgItem(Window(), IDC_CONTROL_LIST);
  FillControlList();
  return TRUE;
}

bool ControlRemovalDialog::OnCommand(UINT id) {
  static const Command<ControlRemovalDialog> map[] = {
      {IDOK, &ControlRemovalDialog::DeleteSelected},  // "&Delete .OCX", the default button
      {IDCANCEL, &ControlRemovalDialog::Close},       // "&OK", Esc and the close box
  };
  // Neither a second pass nor a close (which frees the records the pass
  // still uses) while one runs; the click is dropped, not queued.
  if (passRunning.IsSet() && (id == IDOK || id == IDCANCEL)) return true;
  return Dispatch(this, map, id);
}

namespace {
// Calls visit(classes, name) for every class under HKEY_CLASSES_ROOT\CLSID,
// in registry order, the open "CLSID" key passed along. False if "CLSID"
// can't be opened.
template <typename Visit>
bool ForEachClass(Visit visit) {
  UniqueRegKey classes;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", classes.Put()) != ERROR_SUCCESS) return false;
  char name[kClassNameSize];
  for (DWORD index = 0; RegEnumKeyA(classes.Get(), index, name, sizeof name) == ERROR_SUCCESS; ++index)
    visit(classes.Get(), static_cast<const char*>(name));
  return true;
}

// The class's server path into buffer, if it fits with its zero byte.
bool QueryServerPath(HKEY classes, const char* name, char* buffer, LONG size) {
  char subKey[kClassNameSize + 16];
  wsprintfA(subKey, "%s\\InprocServer32", name);
  return QueryDefaultText(classes, subKey, buffer, size);
}
}  // namespace

bool CollectProductControls(const Text& storageDir, OwnedList<ControlRecord>& records) {
  // A control folder a link leads to lists nothing: no file there is the product's.
  if (!storageDir.IsEmpty() && !IsReachedWithoutLinks(storageDir)) return true;
  return ForEachClass([&](HKEY classes, const char* name) {
    // "<class>\Control" first: one call rules out almost every class, and
    // none of these reads has a side effect, so the outcome is the same.
    char subKey[kClassNameSize + 16];
    wsprintfA(subKey, "%s\\Control", name);
    UniqueRegKey control;
    if (RegOpenKeyA(classes, subKey, control.Put()) != ERROR_SUCCESS) return;
    char description[kDescriptionSize];
    if (!QueryDefaultText(classes, name, description, sizeof description)) return;
    char serverPath[kServerPathSize];
    if (!QueryServerPath(classes, name, serverPath, sizeof serverPath)) return;
    if (!IsPathInDir(storageDir, serverPath)) return;

    ControlRecord* record = new ControlRecord;
    record->description = ControlRecord::CopyText(description);
    record->serverPath = ControlRecord::CopyText(serverPath);
    record->fileExists = FileExists(serverPath) ? 1 : 0;
    records.Add(record);
  });
}

bool ForEachClassServer(void (*visit)(void* context, const char* serverPath), void* context) {
  return ForEachClass([&](HKEY classes, const char* name) {
    char serverPath[kServerPathSize];
    if (QueryServerPath(classes, name, serverPath, sizeof serverPath)) visit(context, serverPath);
  });
}

bool IsPathInDir(const Text& dir, const char* path) {
  if (dir.IsEmpty() || !path || !*path) return false;
  Text full(path);
  int last = full.FindLastBackslash();
  if (last < 0) return false;
  return full.Left(last + 1).EqualsNoCase(dir);
}

void ControlRemovalDialog::FillControlList() {
  SendMessageA(controlList, LB_RESETCONTENT, 0, 0);
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  bool walked = CollectProductControls(storageDir, records);
  for (int i = 0; i < records.Count(); ++i)
    SendMessageA(controlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(records[i]->description));
  SetCursor(previous);
  if (!walked) return;  // no class registrations to read: an empty list, no message

  if (SendMessageA(controlList, LB_GETCOUNT, 0, 0) <= 0) {
    MessageBoxA(Window(), kNoControlsMessage, kNoControlsCaption, MB_OK | MB_ICONINFORMATION);
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
  if (record.Unregister() != 1) {
    ReportFailure(kUnregisterFailed, record);
    return;
  }
  if (DeleteControlFile(record.serverPath) == 0) ReportFailure(kDeleteFailed, record);
}

int ControlRemovalDialog::DeleteControlFile(const char* path) {
  if (!path || !*path) return 1;
  return DeleteFileA(path) ? 1 : 0;
}

void ControlRemovalDialog::ReportFailure(const char* format, const ControlRecord& record) {
  char message[520];  // a description holds at most 261 characters
  wsprintfA(message, format, record.description ? record.description : "");
  MessageBoxA(Window(), message, kFailureCaption, MB_OK | MB_ICONEXCLAMATION);
}

void ControlRemovalDialog::FreeRecords() { records.Clear(); }

void ControlRemovalDialog::Close() {
  FreeRecords();
  EndDialog(IDCANCEL);
}
