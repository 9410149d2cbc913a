#include "ControlRecord.h"

#include <objbase.h>
#include <string.h>

#include "../framework/FaultGuard.h"
#include "../framework/Handles.h"

namespace {
// A control file is released through COM, which may keep its own count.
struct CoLibraryTraits {
  using Type = HMODULE;
  static HMODULE Empty() { return nullptr; }
  static void Close(HMODULE h) { CoFreeLibrary(h); }
};
using UniqueCoLibrary = UniqueHandle<CoLibraryTraits>;

using UnregisterServerFn = HRESULT(STDAPICALLTYPE*)();

long CallUnregisterServer(void* entry) { return reinterpret_cast<UnregisterServerFn>(entry)(); }
}  // namespace

ControlRecord::~ControlRecord() {
  delete[] description;
  delete[] serverPath;
}

char* ControlRecord::CopyText(const char* text) {
  if (!text) return nullptr;
  size_t size = strlen(text) + 1;
  char* copy = new char[size];
  memcpy(copy, text, size);
  return copy;
}

int ControlRecord::Unregister() {
  if (FAILED(CoInitialize(nullptr))) return 0;
  int result = 0;
  if (serverPath) {
    HMODULE loaded = LoadLibraryA(serverPath);
    // Old loaders reported failure as a small number, not only as null.
    if (reinterpret_cast<UINT_PTR>(loaded) > 32) {
      UniqueCoLibrary module(loaded);
      auto entry = reinterpret_cast<UnregisterServerFn>(
          reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllUnregisterServer")));
      // Only the entry point runs guarded, never the loader.
      long hr = 0;
      if (entry) {
        if (GuardedCall(CallUnregisterServer, reinterpret_cast<void*>(entry), &hr))
          result = hr >= 0 ? 1 : 0;
        else
          module.Release();  // faulted: stays loaded, see the header
      }
    }
  }
  CoUninitialize();
  return result;
}
