// What the other end-to-end tests rely on from the driver: a started
// program's whole tree goes when the test is done with it.
#include <gtest/gtest.h>

#include "Driver.h"

using namespace e2e;

namespace {

std::string SystemProgram(const char* name) {
  char dir[MAX_PATH] = "";
  GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir) + "\\" + name;
}

bool Ended(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return true;
  const bool ended = WaitForSingleObject(h, 5000) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

// A shell that starts a program with a window of its own and exits: the
// program it left behind still belongs to the tree, and goes with it.
TEST(DriverProcess, EndsWhatTheProgramStartedWhenDone) {
  DWORD child = 0;
  {
    Process shell = Process::Start(SystemProgram("cmd.exe"), "", "/c start notepad.exe");
    EXPECT_EQ(0u, shell.WaitExit());
    HWND window = nullptr;
    for (DWORD waited = 0; !window && waited < kTimeoutMs; waited += 100) {
      window = FindWindowA("Notepad", nullptr);
      if (!window) Sleep(100);
    }
    ASSERT_NE(nullptr, window) << "the started program showed no window";
    GetWindowThreadProcessId(window, &child);
    EXPECT_EQ(1, shell.TreeSize());
  }
  EXPECT_TRUE(Ended(child)) << "process " << child << " outlived its tree";
}

}  // namespace
