// A scratch folder of the test prefix, emptied before and after each test,
// and the fixtures' folder on Wine's Z: drive.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Driver.h"

class Sandbox {
 public:
  explicit Sandbox(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "unravel-" + name + "\\";
    Remove(dir_);
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  ~Sandbox() { Remove(dir_); }
  const std::string& Dir() const { return dir_; }
  std::string operator/(const std::string& name) const { return dir_ + name; }

  // Removes a folder and everything in it, read-only files included.
  static void Remove(const std::string& dir) {
    WIN32_FIND_DATAA entry;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &entry);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = dir + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(path + "\\");
        } else {
          SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(path.c_str());
        }
      } while (FindNextFileA(h, &entry));
      FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
  }

 private:
  std::string dir_;
};

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void WriteFile(const std::string& path, const std::string& content = "x") {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
  DWORD written;
  ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
}

inline std::string ReadFile(const std::string& path) {
  std::string content;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD got;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
  CloseHandle(h);
  return content;
}

// A fixture built beside the tests (FIXTURE_DIR), by its file name.
inline std::string Fixture(const std::string& name) {
  return e2e::WindowsPathFromEnv("FIXTURE_DIR") + "\\" + name;
}
