#include "ControlRecord.h"

#include <objbase.h>
#include <string.h>

#include "FaultGuard.h"
#include "ForeignCallScope.h"
#include "../../common/SystemFunction.h"
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
// imports are looked for in its own folder first. Where the platform has
// the search flags (it has SetDefaultDllDirectories then), that folder and
// the system directory alone, as the altered search can't be combined with
// them and the process's own search leaves the program's folder out (see
// DllSearch.h); elsewhere the altered search, with the current directory
// out. Both are defined for full paths only; anything else is loaded as a
// plain name would be.
HMODULE LoadControlFile(const char* path) {
  if (!IsFullyQualified(path)) return LoadLibraryExA(path, nullptr, 0);
  static const bool searchFlags = FindSystemFunction<void*>("kernel32.dll", "SetDefaultDllDirectories") != nullptr;
  return LoadLibraryExA(path, nullptr,
                        searchFlags ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                    : LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Whether module was mapped from the file pinned is: its own name, as the
// loader keeps it, must lead there.
bool IsLoadedFrom(HMODULE module, HANDLE pinned) {
  wchar_t path[MAX_PATH * 2];
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH * 2);
  return length > 0 && length < MAX_PATH * 2 && HeldFolder::LeadsTo(path, pinned);
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

int ControlRecord::Unregister(const HeldFolder& folder) {
  if (FAILED(CoInitialize(nullptr))) return 0;
  int result = 0;
  UniqueFile pinned;  // held until the module is released
  if (serverPath && folder.OpenEntryNamedBy(serverPath, &pinned)) {
    // Loading, unregistering and releasing all run the control's code.
    ForeignCallScope foreign;
    HMODULE loaded = LoadControlFile(serverPath);
    // Old loaders reported failure as a small number, not only as null.
    if (reinterpret_cast<UINT_PTR>(loaded) > 32) {
      UniqueCoLibrary module(loaded);
      // A file swapped in after the check is released, its entry point never called.
      auto entry = IsLoadedFrom(module.Get(), pinned.Get())
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
