// The programs carry no C++ runtime library: allocation goes straight to the
// C heap. A failed allocation ends the process, as there is nothing to throw.
#include <windows.h>
#include <stdlib.h>
#include <new>

namespace {
void* Allocate(size_t size) {
  void* p = malloc(size ? size : 1);
  if (!p) FatalAppExitA(0, "Out of memory.");
  return p;
}
}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

// Called only if a pure virtual slips through construction or destruction.
extern "C" void __cxa_pure_virtual() { FatalAppExitA(0, "Pure virtual call."); }
