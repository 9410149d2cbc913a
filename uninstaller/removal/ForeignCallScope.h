#pragma once
// What foreign code run in-process (a control as it loads, unregisters and
// unloads) may change that the rest of the run relies on, put back when the
// scope ends.
//
// Contract: made on the thread that runs the foreign code, it saves the
// current directory, the DLL search directory, the process's error mode and,
// where the platform has one, the thread's. When it ends, each of these that
// changed is put back, and every quit message is taken from the thread's
// queue (PostQuitMessage, or WM_QUIT posted to the thread): with no message
// loop of the program's own, a quit left there would end each modal dialog
// that follows at once. A DLL search directory that was empty (or could not
// be read) is put back as the empty one, which keeps the current directory
// out of the search. A current directory that could not be read (longer than
// MAX_PATH) is left as it is. The thread's floating-point control state is
// put back too: the x87 control word and, where the processor has SSE, the
// MXCSR (rounding, precision, masked exceptions, denormal handling), which
// a control may change and not restore. No allocation.
#include <windows.h>

#include "../framework/Handles.h"

class ForeignCallScope {
 public:
  ForeignCallScope();
  ~ForeignCallScope();
  ForeignCallScope(const ForeignCallScope&) = delete;
  ForeignCallScope& operator=(const ForeignCallScope&) = delete;

 private:
  char currentDir_[MAX_PATH];
  bool currentDirKnown_ = false;
  char dllDir_[MAX_PATH];
  SavedErrorMode errorMode_;  // set again when the scope ends
  DWORD threadErrorMode_ = 0;
  unsigned short x87Control_ = 0;
  bool hasSse_ = false;
  unsigned int mxcsr_ = 0;
};
