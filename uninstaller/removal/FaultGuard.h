#pragma once
// Runs one call into foreign code (a control's own entry point) so that
// whatever exception leaves it ends that call, not the process.
//
// Contract:
// - GuardedCall returns true when `call` returned; its value is in *result.
//   It returns false when an exception ended the call; *result is unchanged
//   and *faultCode (if given) holds the exception's code.
// - Every exception the foreign code leaves unhandled is taken: hardware
//   faults, software exceptions (a C++ throw: 0xE06D7363, non-continuable),
//   continuable or not, and stack overflow.
// - Handlers the foreign code installs itself are nearer on the thread's
//   exception chain and get the first say; an exception they handle never
//   reaches the guard.
// - The foreign frames are unwound before the guard resumes, as the platform
//   does for any handler that takes an exception: their termination handlers
//   and destructors run. They are what releases the locks that code on the
//   way held, the system's own included (system code the control called,
//   or that called back into the control, between the guard and the
//   fault); abandoning them would leave those held and could hang the rest
//   of the run. Two exceptions to that:
//   - After a stack overflow nothing is unwound: the handlers would have to
//     run on the few bytes of stack left and would overflow again, with no
//     guard page to report it. The frames are abandoned, and the stack's
//     guard page is set again, so that the next overflow on this thread is
//     reported (and guarded) like the first.
//   - An exception raised while unwinding (a termination handler that
//     faults, throws or overflows) ends the unwinding there: the frames not
//     yet unwound are abandoned.
//   Either way the chain head (fs:[0]) is exactly what it was before the
//   call, whatever records the foreign code left on it. State the foreign
//   code itself held stays as it was, so the caller should treat that
//   module as unusable from then on.
// - A chain the foreign code broke still ends at the guard: while a guarded
//   call runs on the thread, a vectored handler registered first of all
//   looks at the chain before the dispatcher walks it. Where the chain no
//   longer reaches the guard's record (a link that leaves the thread's
//   stack, is misaligned, does not lie above the record before it, or
//   passes the guard's record; a loop is caught that way), the first such
//   link is pointed at the guard's record and the dispatch goes on as on an
//   intact chain. The dispatcher stops at such a link (it would end the
//   process as an unhandled exception) or, looping, never ends.
//   Records before the break stay: the foreign code's own handlers there
//   get the first say as always (one that handles its exception lets the
//   call go on) and are unwound when the guard takes it. They pass the same
//   checks the dispatcher makes before calling any record, so nothing is
//   called that it would not have called on its own; taking the exception
//   past them instead would abandon what they hold (the system's own locks
//   among it, as above). Records past the break are abandoned: neither
//   called nor unwound, as nothing says they are records at all.
//   An intact chain is left alone.
// - Guard only plain calls. Never guard a call that enters the loader
//   (LoadLibrary, FreeLibrary) or holds a lock of ours.
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

