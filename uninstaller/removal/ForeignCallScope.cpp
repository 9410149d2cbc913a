#include "ForeignCallScope.h"

#include "../../common/SystemFunction.h"

namespace {
// Thread error modes came later than the process's; looked up, so that the
// program still starts where there are none.
using GetThreadErrorModeFn = DWORD(WINAPI*)();
using SetThreadErrorModeFn = BOOL(WINAPI*)(DWORD, DWORD*);

// The DLL search directory, empty when none is set or it can't be read.
void ReadDllDirectory(char (&dir)[MAX_PATH]) {
  DWORD length = GetDllDirectoryA(MAX_PATH, dir);
  if (length == 0 || length >= MAX_PATH) dir[0] = '\0';
}

// The thread's error mode; false where the platform has no thread modes.
bool ReadThreadErrorMode(DWORD* mode) {
  auto get = FindSystemFunction<GetThreadErrorModeFn>("kernel32.dll", "GetThreadErrorMode");
  if (!get) return false;
  *mode = get();
  return true;
}

unsigned short ReadX87Control() {
  unsigned short word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

unsigned int ReadMxcsr() {
  unsigned int value;
  asm volatile("stmxcsr %0" : "=m"(value));
  return value;
}

// At most this many quit messages are taken: each PeekMessage may run a
// message sent from another thread, which could post yet another.
constexpr int kMaxQuitMessages = 64;
}  // namespace

ForeignCallScope::ForeignCallScope() {
  DWORD length = GetCurrentDirectoryA(MAX_PATH, currentDir_);
  currentDirKnown_ = length > 0 && length < MAX_PATH;
  ReadDllDirectory(dllDir_);
  // SetErrorMode reads the mode only by replacing it: put it straight back.
  errorMode_.Reset(SetErrorMode(0));
  SetErrorMode(errorMode_.Get());
  ReadThreadErrorMode(&threadErrorMode_);
  x87Control_ = ReadX87Control();
  // MXCSR exists only with SSE; the instructions fault without it.
  hasSse_ = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
  if (hasSse_) mxcsr_ = ReadMxcsr();
}

ForeignCallScope::~ForeignCallScope() {
  char now[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, now);
  if (currentDirKnown_ && (length == 0 || length >= MAX_PATH || lstrcmpA(now, currentDir_) != 0))
    SetCurrentDirectoryA(currentDir_);

  ReadDllDirectory(now);
  if (lstrcmpA(now, dllDir_) != 0) SetDllDirectoryA(dllDir_);

  DWORD threadMode = 0;
  if (ReadThreadErrorMode(&threadMode) && threadMode != threadErrorMode_) {
    auto set = FindSystemFunction<SetThreadErrorModeFn>("kernel32.dll", "SetThreadErrorMode");
    if (set) set(threadErrorMode_, nullptr);
  }

  if (ReadX87Control() != x87Control_) {
    // Exceptions the control left pending would fire once unmasked again.
    asm volatile("fnclex\n\tfldcw %0" : : "m"(x87Control_));
  }
  if (hasSse_ && ReadMxcsr() != mxcsr_) asm volatile("ldmxcsr %0" : : "m"(mxcsr_));

  MSG quit;
  for (int i = 0; i < kMaxQuitMessages && PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE); ++i) {
  }
}
