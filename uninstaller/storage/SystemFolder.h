#pragma once
// The ANSI reading of a folder the system reports into a buffer
// (GetWindowsDirectoryA, GetSystemDirectoryA and the like).
#include "../framework/Text.h"

// What query wrote, given a buffer of size bytes; empty text when it failed
// or the folder would not fit.
inline Text ReadSystemFolder(UINT(WINAPI* query)(LPSTR, UINT), UINT size = MAX_PATH) {
  char path[MAX_PATH];
  if (size > sizeof path) size = sizeof path;
  UINT length = query(path, size);
  return length > 0 && length < size ? Text(path, length) : Text();
}
