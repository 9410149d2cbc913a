#pragma once
// Move-only owners for the handle kinds the programs use: each closes its
// handle exactly once, on every path, and knows its own "empty" value.
#include <windows.h>

#include <objbase.h>

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() : handle_(Traits::Empty()) {}
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Type Get() const { return handle_; }
  bool IsValid() const { return handle_ != Traits::Empty(); }

  // Closes what is held and hands out the slot for an API that fills it.
  Type* Put() {
    Reset();
    return &handle_;
  }
  Type Release() {
    Type h = handle_;
    handle_ = Traits::Empty();
    return h;
  }
  void Reset(Type handle = Traits::Empty()) {
    if (handle_ != Traits::Empty()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Type handle_;
};

struct RegKeyTraits {
  using Type = HKEY;
  static HKEY Empty() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct FindTraits {
  using Type = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct FileTraits {
  using Type = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static HGDIOBJ Empty() { return nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};

// A process or thread handle, null when there is none.
struct KernelObjectTraits {
  using Type = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
// A library loaded on behalf of COM, released through COM, which may keep
// its own count.
struct CoLibraryTraits {
  using Type = HMODULE;
  static HMODULE Empty() { return nullptr; }
  static void Close(HMODULE h) { CoFreeLibrary(h); }
};
// A buffer the platform allocated with LocalAlloc for the caller (a
// security descriptor, say).
struct LocalMemTraits {
  using Type = HLOCAL;
  static HLOCAL Empty() { return nullptr; }
  static void Close(HLOCAL p) { LocalFree(p); }
};
// A buffer the platform allocated with the COM task allocator (a known
// folder's path, say).
struct CoTaskMemTraits {
  using Type = wchar_t*;
  static wchar_t* Empty() { return nullptr; }
  static void Close(wchar_t* p) { CoTaskMemFree(p); }
};
// The process's error mode to put back: SetErrorMode hands out the mode it
// replaces, which is what the owner sets again at its end.
struct ErrorModeTraits {
  using Type = UINT;
  static UINT Empty() { return ~0u; }
  static void Close(UINT mode) { SetErrorMode(mode); }
};

using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueKernelObject = UniqueHandle<KernelObjectTraits>;
using UniqueCoLibrary = UniqueHandle<CoLibraryTraits>;
using UniqueLocalMem = UniqueHandle<LocalMemTraits>;
using UniqueCoTaskString = UniqueHandle<CoTaskMemTraits>;
using SavedErrorMode = UniqueHandle<ErrorModeTraits>;
