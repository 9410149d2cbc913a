// The main of every test program: GoogleTest's, with a watchdog that ends the
// program, naming the case, when one case runs far longer than any honest
// case does. A hang then costs minutes, not the program's whole ctest time
// limit (twice, where a failed program is run once more), and the programs
// after it still run.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include "Prefix.h"

namespace {
// Longer than the longest wait a case makes (e2e::kTimeoutMs, 120 s under
// emulation) with time left to report that wait's failure; the longest
// honest case takes some 20 s emulated. Within ctest's limit for a program.
DWORD CaseLimitMs() { return testbed::Emulated() ? 150000 : 120000; }

// Plain data, never destroyed: the watching thread may outlive main.
struct {
  CRITICAL_SECTION lock;
  HANDLE changed;  // a case started or ended
  char name[512];  // the running case; empty between cases
  DWORD startedAt;
  DWORD limitMs;
} watch;

// Written past the C runtime, whose lock the hung case may hold.
void Say(const char* text) {
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr);
}

DWORD WINAPI WatchCases(void*) {
  for (;;) {
    DWORD wait = INFINITE;
    EnterCriticalSection(&watch.lock);
    if (watch.name[0]) {
      const DWORD ran = GetTickCount() - watch.startedAt;
      if (ran >= watch.limitMs) {
        char line[640];
        wsprintfA(line, "\n[  HUNG    ] %s has run for %lu s: the test program ends here\n", watch.name,
                  static_cast<unsigned long>(ran / 1000));
        Say(line);
        TerminateProcess(GetCurrentProcess(), 1);
      }
      wait = watch.limitMs - ran;
    }
    LeaveCriticalSection(&watch.lock);
    WaitForSingleObject(watch.changed, wait);
  }
}

class CaseWatch : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& info) override {
    EnterCriticalSection(&watch.lock);
    snprintf(watch.name, sizeof watch.name, "%s.%s", info.test_suite_name(), info.name());
    watch.startedAt = GetTickCount();
    LeaveCriticalSection(&watch.lock);
    SetEvent(watch.changed);
  }
  void OnTestEnd(const testing::TestInfo&) override {
    EnterCriticalSection(&watch.lock);
    watch.name[0] = '\0';
    LeaveCriticalSection(&watch.lock);
    SetEvent(watch.changed);
  }
};
}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  InitializeCriticalSection(&watch.lock);
  watch.limitMs = CaseLimitMs();
  watch.changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE watcher = watch.changed ? CreateThread(nullptr, 0, WatchCases, nullptr, 0, nullptr) : nullptr;
  if (!watcher) {
    Say("the case watchdog cannot start\n");
    return 1;
  }
  CloseHandle(watcher);
  testing::UnitTest::GetInstance()->listeners().Append(new CaseWatch);
  return RUN_ALL_TESTS();
}
