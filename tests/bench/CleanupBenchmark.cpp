// What the temporary-storage cleanup costs per file against the plainest
// deletion loop (FindFirstFileA/DeleteFileA, what the cleanup did before it
// listed and deleted through the open folder), on the same number of files
// in the same folder, alternately in one run. The folder guard is built
// once beforehand: its cost does not grow with the files (guard_benchmark).
// Each round times both on fresh files, one after the other, so that the
// round's ratio compares them under the same load; the median of the rounds'
// ratios is the figure to quote where other work shares the machine.
//   cleanup_benchmark [files] [rounds]     default: 5000 files, 5 rounds
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "BenchClock.h"
#include "sequence/TempStorage.h"

namespace {
const char kDir[] = "C:\\unravel-bench\\";

bool Fill(int files) {
  char path[MAX_PATH];
  for (int i = 0; i < files; ++i) {
    wsprintfA(path, "%sfile%05d.tmp", kDir, i);
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
  }
  return true;
}

// The same entries the cleanup deletes, the way it used to.
int BareLoop() {
  char pattern[MAX_PATH], path[MAX_PATH];
  wsprintfA(pattern, "%s*.*", kDir);
  int deleted = 0;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE)) continue;
    wsprintfA(path, "%s%s", kDir, entry.cFileName);
    if (DeleteFileA(path)) ++deleted;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return deleted;
}

int Remaining() {
  WIN32_FIND_DATAA entry;
  char pattern[MAX_PATH];
  wsprintfA(pattern, "%s*.tmp", kDir);
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileA(search, &entry));
  FindClose(search);
  return count;
}
}  // namespace

int main(int argc, char** argv) {
  int files = bench::Arg(argc, argv, 1, 5000);
  int rounds = bench::Arg(argc, argv, 2, 5);
  if (rounds < 1 || rounds > 99) rounds = 5;
  double ratios[99];
  CreateDirectoryA(kDir, nullptr);
  FolderGuard guard;
  guard.ProtectSystemFolders();
  guard.ProtectShellFolders();
  InstallDirs dirs;
  dirs.tempStorageDir = kDir;
  double bestCleanup = 1e9, bestBare = 1e9;
  for (int round = 0; round < rounds; ++round) {
    if (!Fill(files)) {
      printf("could not create the files in %s\n", kDir);
      return 1;
    }
    double start = bench::Now();
    bool cleaned = CleanGuardedTempStorage(dirs, guard);
    double cleanup = bench::Now() - start;
    int left = Remaining();
    if (!cleaned || left != 0) {
      printf("the cleanup left %d of %d files (returned %d)\n", left, files, cleaned);
      return 1;
    }
    Fill(files);
    start = bench::Now();
    int deleted = BareLoop();
    double bare = bench::Now() - start;
    if (deleted != files) {
      printf("the bare loop deleted %d of %d files\n", deleted, files);
      return 1;
    }
    printf("round %d: cleanup %.0f ms, bare loop %.0f ms, ratio %.2f\n", round + 1, cleanup * 1000, bare * 1000,
           cleanup / bare);
    ratios[round] = cleanup / bare;
    for (int i = round; i > 0 && ratios[i] < ratios[i - 1]; --i) {
      double t = ratios[i];
      ratios[i] = ratios[i - 1];
      ratios[i - 1] = t;
    }
    if (cleanup < bestCleanup) bestCleanup = cleanup;
    if (bare < bestBare) bestBare = bare;
  }
  RemoveDirectoryA(kDir);
  printf("%d files, best of %d rounds: cleanup %.0f ms (%.1f us a file), bare FindFirstFileA/DeleteFileA loop %.0f ms "
         "(%.1f us a file), ratio %.2f; median of the rounds' ratios %.2f\n",
         files, rounds, bestCleanup * 1000, bestCleanup * 1e6 / files, bestBare * 1000, bestBare * 1e6 / files,
         bestCleanup / bestBare, rounds % 2 ? ratios[rounds / 2] : (ratios[rounds / 2 - 1] + ratios[rounds / 2]) / 2);
  return 0;
}
