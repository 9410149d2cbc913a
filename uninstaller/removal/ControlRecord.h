#pragma once
// One listed OLE control: its display name, its control file as registered,
// and whether that file existed when the list was built.
#include <windows.h>

class ControlRecord {
 public:
  ControlRecord() {}
  virtual ~ControlRecord();
  ControlRecord(const ControlRecord&) = delete;
  ControlRecord& operator=(const ControlRecord&) = delete;

  // Loads serverPath, calls its own "DllUnregisterServer" and releases it.
  // 1 when the entry point ran and reported success (S_FALSE included),
  // 0 for anything else. Makes its own balanced COM initialisation.
  // A hardware fault inside the entry point gives 0 too. The module that
  // faulted is left loaded until the process ends: its state is unknown,
  // and releasing it would run its detach code and unmap code that windows,
  // timers or threads it started may still call. Its file stays locked, as
  // a control that failed to unregister keeps its file anyway. A fault in
  // the control's DllMain is the loader's to handle: the load fails.
  int Unregister();

  // Copies text with its zero byte into a new owned buffer (none for none).
  static char* CopyText(const char* text);

  char* description = nullptr;  // owned; at most 261 characters
  char* serverPath = nullptr;   // owned; at most 519 characters
  int fileExists = 0;
};
