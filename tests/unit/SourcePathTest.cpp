// dxprep's DirectX source folder, built from its own module path.
#include <gtest/gtest.h>

#include <string>

#include "SourcePath.h"

namespace {
std::string Source(const std::string& module, DWORD length) {
  char out[kSourcePathSize];
  memset(out, '#', sizeof out);
  bool ok = MakeSourcePath(module.c_str(), length, out);
  EXPECT_EQ(ok, out[0] != '\0');
  return out;
}
std::string Source(const std::string& module) { return Source(module, static_cast<DWORD>(module.size())); }

TEST(SourcePathTest, FileNameIsReplacedByDirectX) {
  EXPECT_EQ("X:\\A\\B\\DirectX", Source("X:\\A\\B\\SETUP.EXE"));
  EXPECT_EQ("X:\\DirectX", Source("X:\\SETUP.EXE"));
  EXPECT_EQ("X:\\A\\DirectX", Source("X:\\A\\S.EXE"));
}

TEST(SourcePathTest, PathsThatCannotGiveASoundSourceAreRefused) {
  EXPECT_EQ("", Source("SETUP.EXE"));  // no backslash
  EXPECT_EQ("", Source("", 0));
  // A module path that filled the 260-byte buffer was cut short.
  std::string full = "X:\\" + std::string(256, 'a');
  EXPECT_EQ("", Source(full, kSourcePathSize));
  // The directory plus "\DirectX" must stay within 259 characters.
  std::string dir251 = "X:\\" + std::string(248, 'd');  // 251 characters
  EXPECT_EQ(dir251 + "\\DirectX", Source(dir251 + "\\S.EXE"));
  std::string dir252 = dir251 + "d";
  EXPECT_EQ("", Source(dir252 + "\\S.EXE"));
}
}  // namespace
