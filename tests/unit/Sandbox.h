// A scratch folder of the test prefix, emptied before and after each test,
// and the fixtures' folder on Wine's Z: drive.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Driver.h"
#include "Staging.h"

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

  static void Remove(const std::string& dir) { e2e::RemoveFolderTree(dir); }

 private:
  std::string dir_;
};

using e2e::FileExists;

inline void WriteFile(const std::string& path, const std::string& content = "x") {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
  DWORD written;
  ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
}

inline std::string ReadFile(const std::string& path) { return e2e::ReadWholeFile(path); }

// A fixture built beside the tests (FIXTURE_DIR), by its file name.
inline std::string Fixture(const std::string& name) {
  return e2e::WindowsPathFromEnv("FIXTURE_DIR") + "\\" + name;
}
