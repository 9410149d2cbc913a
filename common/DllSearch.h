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

inline void KeepCurrentDirectoryOutOfDllSearch() {
  char systemDir[MAX_PATH];
  UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
  SetDllDirectoryA(length > 0 && length < MAX_PATH ? systemDir : "");
}
