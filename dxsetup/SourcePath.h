#pragma once
// The DirectX source folder beside the launcher: X:\A\B\SETUP.EXE gives
// X:\A\B\DirectX. The last backslash is found by characters of the ANSI
// code page, so a double-byte character ending in 0x5C is no separator.
#include <windows.h>

constexpr DWORD kSourcePathSize = 260;

// modulePath as GetModuleFileNameA left it, with the length it returned.
// Writes the source path into out (kSourcePathSize bytes) and returns true;
// returns false, leaving out empty, when the module path was cut short (it
// filled the buffer), has no backslash, or the result would not fit.
bool MakeSourcePath(const char* modulePath, DWORD length, char* out);
