// Files and settings of the test prefix as every test program reaches them:
// the test bed's environment, and plain file chores without assertions (the
// callers decide what a failure means).
#pragma once
#include <windows.h>

#include <string>

namespace testbed {

// The test bed runs 32-bit programs under CPU emulation (TESTBED_EMULATED=1,
// or unset: a run outside the test bed assumes the slow case).
bool Emulated();

// A Windows path from an environment variable. A Unix path (as CMake gives
// it) is turned into one on Wine's Z: drive. Throws std::runtime_error when
// the variable is not set.
std::string WindowsPathFromEnv(const char* name);
// A fixture built beside the tests (FIXTURE_DIR), by its file name.
std::string Fixture(const std::string& name);

bool FileExists(const std::string& path);
// Removes a folder and everything in it, read-only files included.
void RemoveFolderTree(const std::string& dir);
// Creates or replaces the file with exactly `content`.
bool WriteFile(const std::string& path, const std::string& content = "x");
// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Waits until the file exists (a started program writes it).
bool WaitFile(const std::string& path, DWORD timeoutMs);
std::string WindowsDir();
// Runs a shell command in the prefix's drive_c on the Unix side, as another
// user's process changes files: past Wine's sharing modes, and making links
// Wine itself cannot. Waits until it has ended; false if it failed or did
// not end within timeoutMs.
bool RunOnUnixSide(const std::string& command, DWORD timeoutMs);
// Whether the profile's Documents holds the mark the test prefix's setup
// leaves there: only then may a test point the cleanup at the profile's
// folders (a broken guard would empty them).
bool ProfileIsThrowaway();

}  // namespace testbed
