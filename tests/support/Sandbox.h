// A scratch folder of the test prefix, emptied before and after each test,
// and the prefix's files as the unit tests use them.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Prefix.h"
#include "Registry.h"

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

  static void Remove(const std::string& dir) { testbed::RemoveFolderTree(dir); }

 private:
  std::string dir_;
};

using testbed::FileExists;
using testbed::Fixture;

inline void WriteFile(const std::string& path, const std::string& content = "x") {
  ASSERT_TRUE(testbed::WriteFile(path, content)) << path;
}

inline std::string ReadFile(const std::string& path) { return testbed::ReadWholeFile(path); }
