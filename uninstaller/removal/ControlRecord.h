#pragma once
// One listed OLE control: its display name, its control file as registered,
// and whether that file existed when the list was built.
#include <windows.h>

#include "ControlFile.h"

class ControlRecord {
 public:
  ControlRecord() {}
  virtual ~ControlRecord();
  ControlRecord(const ControlRecord&) = delete;
  ControlRecord& operator=(const ControlRecord&) = delete;

  // Loads file, serverPath pinned in the control folder (ControlFile.h),
  // calls its own "DllUnregisterServer" and releases it; right after the
  // load the module's own file must be the pinned one, or its entry point is
  // not called. 0, nothing called, when file is not pinned. 1 when the entry
  // point ran and reported success (S_FALSE included), 0 for anything else.
  // Makes its own balanced COM initialisation. Any exception that leaves the
  // entry point (see FaultGuard.h) gives 0 too. The module it left is kept
  // loaded until the process ends: its state is unknown, and releasing it
  // would run its detach code and unmap code that windows, timers or threads
  // it started may still call. Its file stays locked, as a control that
  // failed to unregister keeps its file anyway. A fault in the control's
  // DllMain is the loader's to handle: the load fails. Whatever the control
  // did to the thread's directories, error modes and queue is undone (see
  // ForeignCallScope.h).
  int Unregister(const ControlFile& file);

  // Copies text with its zero byte into a new owned buffer (none for none).
  static char* CopyText(const char* text);

  char* description = nullptr;  // owned; at most 261 characters
  char* serverPath = nullptr;   // owned; at most 519 characters
  int fileExists = 0;
};
