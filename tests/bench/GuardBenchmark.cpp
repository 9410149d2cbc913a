// What the cleanup's folder guard costs to build: the system's folders, then
// the shell's (their lookups and one open each). The first build in a
// process is the one the program pays; the best of the later ones shows the
// part that is not loading and first-use setup.
//   guard_benchmark [rounds]     default: 20
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "BenchClock.h"
#include "sequence/TempStorage.h"

namespace {
// Milliseconds for one build of each part.
void Build(double* system, double* shell) {
  FolderGuard guard;
  double start = bench::Now();
  guard.ProtectSystemFolders();
  double middle = bench::Now();
  guard.ProtectShellFolders();
  *system = (middle - start) * 1000;
  *shell = (bench::Now() - middle) * 1000;
}
}  // namespace

int main(int argc, char** argv) {
  int rounds = bench::Arg(argc, argv, 1, 20);
  double firstSystem, firstShell;
  Build(&firstSystem, &firstShell);
  double bestSystem = 1e9, bestShell = 1e9;
  for (int i = 0; i < rounds; ++i) {
    double system, shell;
    Build(&system, &shell);
    if (system < bestSystem) bestSystem = system;
    if (shell < bestShell) bestShell = shell;
  }
  printf("first build in the process: system folders %.2f ms, shell folders %.2f ms\n", firstSystem, firstShell);
  printf("best of %d later builds:    system folders %.2f ms, shell folders %.2f ms\n", rounds, bestSystem, bestShell);
  return 0;
}
