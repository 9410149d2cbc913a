#pragma once
// Takes the current directory out of the process's DLL search. It may be a
// folder anybody can write to (a download folder), and a library planted
// there must never be loaded, by the program or by what it loads.
//
// A named directory takes the current directory's place on every loader; an
// empty one is ignored by some, which then keep the current directory. The
// system directory is searched anyway, so naming it adds no place of its
// own. Header only: both programs call it first thing in WinMain.
#include <windows.h>

#include "SystemFunction.h"

inline void KeepCurrentDirectoryOutOfDllSearch() {
  char systemDir[MAX_PATH];
  UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
  SetDllDirectoryA(length > 0 && length < MAX_PATH ? systemDir : "");
}

// Takes the program's own folder out of the search too, where the platform
// has the call (looked up at run time): a load by name then looks in the
// system directory alone. unravel may be started from a folder anybody
// writes to (a download folder), where a library of the same name as a
// system one could lie beside it. dxprep does not call it: its setup
// library is meant to lie beside it. Controls still find their own
// libraries in their own folder, the system's and, where one is missing
// there, the others the registration tool searches (ControlFile.h).
inline void KeepProgramFolderOutOfDllSearch() {
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  auto set = FindSystemFunction<SetDefaultDirectories>("kernel32.dll", "SetDefaultDllDirectories");
  if (set) set(kSearchSystem32);
}
