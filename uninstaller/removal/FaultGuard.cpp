#include "FaultGuard.h"

#include <excpt.h>

#ifndef __i386__
#error "The fault guard uses the 32-bit x86 exception chain"
#endif

namespace {
struct GuardRecord;

// What a guarded call that ended in an exception leaves behind, and the
// thread's guarded call while it runs. FaultGuardEnter sets `record` once
// the record is on the chain and clears it as it takes the record off.
struct GuardOutcome {
  DWORD code;
  BOOL stackOverflowed;  // the stack's guard page is spent
  GuardRecord* record;   // offset 8, written by FaultGuardEnter
};

// The guard's registration record, laid out as FaultGuardEnter builds it on
// its own stack: the platform's two fields, then what resuming needs.
struct GuardRecord {
  GuardRecord* next;
  void* handler;
  DWORD frameEbp;  // FaultGuardEnter's frame pointer
  GuardOutcome* outcome;
  BOOL unwinding;  // the foreign frames are being unwound
};

// The thread's innermost guarded call (a GuardOutcome), in one TLS slot
// taken on first use; TLS_OUT_OF_INDEXES while there is none.
volatile LONG g_activeSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD ActiveSlot() {
  LONG slot = g_activeSlot;
  if (slot != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(slot);
  DWORD mine = TlsAlloc();
  if (mine == TLS_OUT_OF_INDEXES) return mine;
  LONG before = InterlockedCompareExchange(&g_activeSlot, static_cast<LONG>(mine), slot);
  if (before == slot) return mine;
  TlsFree(mine);  // another thread was first
  return static_cast<DWORD>(before);
}

// Points the first link of the chain that would not lead the dispatcher to
// guard at guard instead. A record counts as live where the dispatcher
// would call it: on this thread's stack, 4-byte aligned, and (beyond what
// the dispatcher checks) above the record before it and below guard, which
// also ends any loop. The walk is bounded by the stack's size.
void MendChain(GuardRecord* guard) {
  NT_TIB* tib;
  asm volatile("movl %%fs:0x18, %0" : "=r"(tib));  // the block's own address
  const char* const low = static_cast<const char*>(tib->StackLimit);
  const char* const high = static_cast<const char*>(tib->StackBase);
  EXCEPTION_REGISTRATION_RECORD** link = &tib->ExceptionList;
  const char* previous = nullptr;
  for (;;) {
    const char* at = reinterpret_cast<const char*>(*link);
    if (at == reinterpret_cast<const char*>(guard)) return;
    bool live = (reinterpret_cast<UINT_PTR>(at) & 3) == 0 && at >= low &&
                at <= high - sizeof(EXCEPTION_REGISTRATION_RECORD) && at > previous &&
                at < reinterpret_cast<const char*>(guard);
    if (!live) {
      *link = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(guard);
      return;
    }
    previous = at;
    link = &(*link)->Next;
  }
}

// First of all handlers, vectored ones included: runs before the
// dispatcher walks the chain, so a mended chain is the one it walks.
LONG CALLBACK MendChainOfGuardedCall(EXCEPTION_POINTERS*) {
  DWORD slot = g_activeSlot;
  if (slot == TLS_OUT_OF_INDEXES) return EXCEPTION_CONTINUE_SEARCH;
  DWORD error = GetLastError();  // TlsGetValue clears it; the faulting code may still read it
  GuardOutcome* active = static_cast<GuardOutcome*>(TlsGetValue(slot));
  SetLastError(error);
  if (active && active->record) MendChain(active->record);
  return EXCEPTION_CONTINUE_SEARCH;
}

// While it lives, this thread's guarded call is `outcome` and the mending
// handler is registered (one registration per guarded call, so none is
// left while no call runs).
class ActiveGuard {
 public:
  explicit ActiveGuard(GuardOutcome* outcome) : slot_(ActiveSlot()) {
    if (slot_ == TLS_OUT_OF_INDEXES) return;
    outer_ = static_cast<GuardOutcome*>(TlsGetValue(slot_));  // a guarded call this one runs within
    TlsSetValue(slot_, outcome);
    handler_ = AddVectoredExceptionHandler(1, MendChainOfGuardedCall);
  }
  ~ActiveGuard() {
    if (handler_) RemoveVectoredExceptionHandler(handler_);
    if (slot_ != TLS_OUT_OF_INDEXES) TlsSetValue(slot_, outer_);
  }
  ActiveGuard(const ActiveGuard&) = delete;
  ActiveGuard& operator=(const ActiveGuard&) = delete;

 private:
  DWORD slot_;
  GuardOutcome* outer_ = nullptr;
  void* handler_ = nullptr;
};

// After a stack overflow the page that reported it is plain read-write. The
// lowest committed, accessible page of the stack becomes the guard page
// again (as the C runtime's stack-overflow reset does), provided it lies
// well below the frames still in use.
void RearmStackGuard() {
  MEMORY_BASIC_INFORMATION here;
  if (!VirtualQuery(&here, &here, sizeof here)) return;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  char* const inUse = reinterpret_cast<char*>(&here) - 16 * system.dwPageSize;
  char* p = static_cast<char*>(here.AllocationBase);
  while (p < inUse) {
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(p, &region, sizeof region) || region.AllocationBase != here.AllocationBase) return;
    if (region.State == MEM_COMMIT && region.Protect != PAGE_NOACCESS) {
      if (region.Protect & PAGE_GUARD) return;  // still armed
      DWORD previous;
      VirtualProtect(p, system.dwPageSize, region.Protect | PAGE_GUARD, &previous);
      return;
    }
    p = static_cast<char*>(region.BaseAddress) + region.RegionSize;
  }
}
}  // namespace

extern "C" {
int FaultGuardEnter(GuardedFunction call, void* argument, long* result, GuardOutcome* outcome);
void FaultGuardResume();
[[noreturn]] void FaultGuardLeave(GuardRecord* guard);
[[noreturn]] void FaultGuardUnwindAndLeave(GuardRecord* guard, EXCEPTION_RECORD* record);
EXCEPTION_DISPOSITION __cdecl FaultGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                void* dispatcher);
}

// cdecl int FaultGuardEnter(call, argument, result, outcome): 1 when the
// call returned, 0 when the handler left through FaultGuardResume.
// Frame: ebp; ebx, esi, edi at ebp-4..-12; the record at ebp-32, its
// address in outcome->record from when it is linked until it is unlinked.
//
// FaultGuardLeave(guard) and FaultGuardUnwindAndLeave(guard, record) never
// return: they resume in the guard's frame, the second after unwinding the
// records above the guard's. RtlUnwind keeps no register but esp, so the
// guard is kept on the stack across it.
asm(R"(
    .text
    .p2align 4
    .globl _FaultGuardEnter
    .def _FaultGuardEnter; .scl 2; .type 32; .endef
_FaultGuardEnter:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $20, %esp
    movl %fs:0, %eax
    movl %eax, 0(%esp)
    movl $_FaultGuardHandler, 4(%esp)
    movl %ebp, 8(%esp)
    movl 20(%ebp), %eax
    movl %eax, 12(%esp)
    movl $0, 16(%esp)
    movl %esp, %fs:0
    movl 20(%ebp), %eax
    movl %esp, 8(%eax)
    pushl 12(%ebp)
    call *8(%ebp)
    movl 16(%ebp), %ecx
    movl %eax, (%ecx)
    movl $1, %eax
    jmp 1f
    .globl _FaultGuardResume
    .def _FaultGuardResume; .scl 2; .type 32; .endef
_FaultGuardResume:
    cld
    xorl %eax, %eax
1:
    # Back to the record whatever the call left on the stack, then unlink
    # it and any records the foreign code left above it.
    leal -32(%ebp), %esp
    movl 0(%esp), %ecx
    movl %ecx, %fs:0
    movl 12(%esp), %ecx
    movl $0, 8(%ecx)
    addl $20, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _FaultGuardLeave
    .def _FaultGuardLeave; .scl 2; .type 32; .endef
_FaultGuardLeave:
    movl 4(%esp), %eax
    movl 8(%eax), %ebp
    jmp _FaultGuardResume

    .globl _FaultGuardUnwindAndLeave
    .def _FaultGuardUnwindAndLeave; .scl 2; .type 32; .endef
_FaultGuardUnwindAndLeave:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    pushl %eax
    pushl $0
    pushl %ecx
    pushl $2f
    pushl %eax
    call _RtlUnwind@16
2:
    popl %eax
    movl 8(%eax), %ebp
    jmp _FaultGuardResume
)");

extern "C" EXCEPTION_DISPOSITION __cdecl FaultGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  // An unwind passing by: there is nothing of ours to clean up.
  if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  GuardRecord* guard = static_cast<GuardRecord*>(frame);
  if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) guard->outcome->stackOverflowed = TRUE;
  // Raised while unwinding: the first exception is the one to report.
  if (guard->unwinding) FaultGuardLeave(guard);
  guard->outcome->code = record->ExceptionCode;
  if (guard->outcome->stackOverflowed) FaultGuardLeave(guard);
  guard->unwinding = TRUE;
  FaultGuardUnwindAndLeave(guard, record);
}

bool GuardedCall(GuardedFunction call, void* argument, long* result, DWORD* faultCode) {
  long value = 0;
  GuardOutcome outcome = {0, FALSE, nullptr};
  ActiveGuard active(&outcome);
  if (FaultGuardEnter(call, argument, &value, &outcome)) {
    *result = value;
    return true;
  }
  if (outcome.stackOverflowed) RearmStackGuard();
  if (faultCode) *faultCode = outcome.code;
  return false;
}
