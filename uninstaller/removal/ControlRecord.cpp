#include "ControlRecord.h"

#include <objbase.h>
#include <string.h>

#include "FaultGuard.h"
#include "ForeignCallScope.h"
#include "../framework/Handles.h"

namespace {
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

int ControlRecord::Unregister(const ControlFile& file) {
  if (FAILED(CoInitialize(nullptr))) return 0;
  int result = 0;
  if (serverPath && file.IsPinned()) {
    // Loading, unregistering and releasing all run the control's code.
    ForeignCallScope foreign;
    ImportedLibraries imports;  // released after the control
    HMODULE loaded = file.Load(imports);
    // Old loaders reported failure as a small number, not only as null.
    if (reinterpret_cast<UINT_PTR>(loaded) > 32) {
      UniqueCoLibrary module(loaded);
      // A file swapped in after the check is released, its entry point never called.
      auto entry = file.IsLoadedFrom(module.Get())
                       ? reinterpret_cast<UnregisterServerFn>(
                             reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllUnregisterServer")))
                       : nullptr;
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
