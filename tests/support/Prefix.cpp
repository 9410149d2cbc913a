#include "Prefix.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testbed {

bool Emulated() {
  const char* value = std::getenv("TESTBED_EMULATED");
  return !value || std::strcmp(value, "0") != 0;
}

std::string WindowsPathFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) throw std::runtime_error(std::string(name) + " is not set");
  std::string path = value;
  if (path[0] == '/') {
    path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
  }
  return path;
}

std::string Fixture(const std::string& name) { return WindowsPathFromEnv("FIXTURE_DIR") + "\\" + name; }

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveFolderTree(const std::string& folder) {
  std::string dir = folder;
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &entry));
    FindClose(h);
  }
  RemoveDirectoryA((dir + "\\").c_str());  // the backslash keeps a name's trailing space
}

bool WriteFile(const std::string& path, const std::string& content) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written;
  ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD got;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
  CloseHandle(h);
  return content;
}

bool WaitFile(const std::string& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (FileExists(path)) {
      Sleep(300);  // let the writer finish
      return true;
    }
    Sleep(100);
  }
  return FileExists(path);
}

bool RunOnUnixSide(const std::string& command, DWORD timeoutMs) {
  const char* prefix = getenv("WINEPREFIX");
  if (!prefix || prefix[0] != '/') return false;
  // Wine starts a Unix program without a handle to wait on: it marks its end.
  const std::string done = "C:\\unravel-unix-done.tmp";
  DeleteFileA(done.c_str());
  std::string line = std::string("/bin/sh -c \"cd '") + prefix + "/drive_c' && " + command +
                     " && touch unravel-unix-done.tmp\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA("Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return false;
  if (started.hThread) CloseHandle(started.hThread);
  if (started.hProcess) CloseHandle(started.hProcess);
  bool ended = WaitFile(done, timeoutMs);
  DeleteFileA(done.c_str());
  return ended;
}

std::string WindowsDir() {
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, MAX_PATH);
  return dir;
}

bool ProfileIsThrowaway() {
  char documents[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)) &&
         FileExists(std::string(documents) + "\\unravel-throwaway-home");
}

}  // namespace testbed
