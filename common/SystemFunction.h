#pragma once
// The one run-time lookup of a system function the programs call only where
// the platform has it, so that they still start where it is missing.
#include <windows.h>

// Function (a pointer type) named name in module, a system library already
// loaded in the process; null where either is missing.
template <typename Function>
Function FindSystemFunction(const char* module, const char* name) {
  HMODULE loaded = GetModuleHandleA(module);
  return loaded ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name))) : nullptr;
}
