#include "FaultGuard.h"

#include <excpt.h>

#ifndef __i386__
#error "The fault guard uses the 32-bit x86 exception chain"
#endif

namespace {
// The guard's registration record, laid out as FaultGuardEnter builds it on
// its own stack: the platform's two fields, then what resuming needs.
struct GuardRecord {
  GuardRecord* next;
  void* handler;
  DWORD frameEbp;    // FaultGuardEnter's frame pointer
  DWORD* faultCode;  // where the handler puts the code, or null
};

bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      return true;
  }
  return false;
}
}  // namespace

extern "C" {
int FaultGuardEnter(GuardedFunction call, void* argument, long* result, DWORD* faultCode);
void FaultGuardResume();
EXCEPTION_DISPOSITION __cdecl FaultGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                void* dispatcher);
}

// cdecl int FaultGuardEnter(call, argument, result, faultCode): 1 when the
// call returned, 0 when the handler resumed at FaultGuardResume.
// Frame: ebp; ebx, esi, edi at ebp-4..-12; the record at ebp-28.
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
    subl $16, %esp
    movl %fs:0, %eax
    movl %eax, 0(%esp)
    movl $_FaultGuardHandler, 4(%esp)
    movl %ebp, 8(%esp)
    movl 20(%ebp), %eax
    movl %eax, 12(%esp)
    movl %esp, %fs:0
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
    leal -28(%ebp), %esp
    movl 0(%esp), %ecx
    movl %ecx, %fs:0
    addl $16, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

extern "C" EXCEPTION_DISPOSITION __cdecl FaultGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                           void*) {
  // Unwinds pass through: there is nothing of ours to clean up.
  if (record->ExceptionFlags & (EXCEPTION_UNWIND | EXCEPTION_NONCONTINUABLE)) return ExceptionContinueSearch;
  if (!IsHardwareFault(record->ExceptionCode)) return ExceptionContinueSearch;
  GuardRecord* guard = static_cast<GuardRecord*>(frame);
  if (guard->faultCode) *guard->faultCode = record->ExceptionCode;
  // The dispatcher puts its own chain head back after this returns; the
  // resume code then unlinks what lies above the guard's record.
  context->Esp = reinterpret_cast<DWORD>(guard);
  context->Ebp = guard->frameEbp;
  context->Eip = reinterpret_cast<DWORD>(&FaultGuardResume);
  return ExceptionContinueExecution;
}

bool GuardedCall(GuardedFunction call, void* argument, long* result, DWORD* faultCode) {
  long value = 0;
  if (!FaultGuardEnter(call, argument, &value, faultCode)) return false;
  *result = value;
  return true;
}

void* ExceptionChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
