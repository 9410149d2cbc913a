// The thread's exception chain as the tests look at it (32-bit x86).
#pragma once

// The head of the thread's chain of exception registration records.
inline void* ExceptionChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
