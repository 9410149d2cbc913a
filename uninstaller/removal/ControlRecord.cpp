#include "ControlRecord.h"

#include <objbase.h>
#include <string.h>

#include "FaultGuard.h"
#include "ForeignCallScope.h"
#include "../framework/Handles.h"

namespace {
using UnregisterServerFn = HRESULT(STDAPICALLTYPE*)();

long CallUnregisterServer(void* entry) { return reinterpret_cast<UnregisterServerFn>(entry)(); }

// "X:\..." or "\\server\..." (device paths included): only such a path
// says which folder is the control's own.
bool IsFullyQualified(const char* path) {
  if (path[0] == '\\') return path[1] == '\\';
  return path[0] != '\0' && path[1] == ':' && path[2] == '\\';
}

// As the platform's own registration tool loads a control: the libraries it
// imports are looked for in its own folder first. The current directory
// stays out of the search (see DllSearch.h). The altered search is defined
// for full paths only; anything else is loaded as a plain name would be.
HMODULE LoadControlFile(const char* path) {
  return LoadLibraryExA(path, nullptr, IsFullyQualified(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}
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
    // Loading, unregistering and releasing all run the control's code.
    ForeignCallScope foreign;
    HMODULE loaded = LoadControlFile(serverPath);
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
