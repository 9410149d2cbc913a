#pragma once
// Runs one call into foreign code (a control's own entry point) so that a
// hardware fault inside it ends that call, not the process.
//
// Contract:
// - GuardedCall returns true when `call` returned; its value is in *result.
//   It returns false when a fault ended the call; *result is unchanged and
//   *faultCode (if given) holds the exception code.
// - Caught: access violation, illegal or privileged instruction, integer
//   divide by zero or overflow, array bounds, in-page error, misalignment.
//   Anything else (software exceptions, stack overflow) passes on as if the
//   guard were not there. A stack overflow is left alone on purpose: the
//   thread has no guard page left after one, so a second overflow would end
//   the process without any report.
// - Handlers the foreign code installs itself are nearer on the thread's
//   exception chain and get the first say; a fault they handle never reaches
//   the guard.
// - After a fault nothing of the foreign code is unwound (no termination
//   handlers run): its frames are abandoned, and the chain head (fs:[0]) is
//   exactly what it was before the call, whatever records the foreign code
//   left on it. Locks or state the foreign code held stay as they were, so
//   the caller should treat that module as unusable from then on.
// - Guard only plain calls. Never guard a call that enters the loader
//   (LoadLibrary, FreeLibrary) or holds a lock of ours: resuming out of it
//   would leave the lock held.
//
// The registration record lives on the stack, 4-byte aligned, above the
// foreign code's records and below the caller's, and the chain stays intact
// to its end, as SEHOP checks. The handler lies in this image's code, which
// the platform accepts with DEP on as long as the image is not marked NO_SEH
// (tests/check-binaries.sh checks it) and has no table of allowed handlers
// (GNU ld writes none; a linked-in load configuration with one would have
// to list FaultGuardHandler). 32-bit x86 only.
#include <windows.h>

using GuardedFunction = long (*)(void* argument);

bool GuardedCall(GuardedFunction call, void* argument, long* result, DWORD* faultCode = nullptr);

// The thread's current exception chain head, for checks.
void* ExceptionChainHead();
