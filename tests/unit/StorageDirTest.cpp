// Which server paths belong to the product's control-storage directory.
#include <gtest/gtest.h>

#include <utility>

#include "removal/ClassRegistrations.h"

namespace {
bool InDir(const char* storageDir, const char* path) { return IsPathInDir(storageDir, path); }

TEST(StorageDirTest, DirectoryPartMustEqualTheStorageDirectoryIgnoringCase) {
  const std::pair<const char*, bool> cases[] = {
      {"C:\\APP\\OCX\\GRID.OCX", true},       {"c:\\app\\ocx\\grid.ocx", true},
      {"C:\\APP\\OCX\\SUB\\GRID.OCX", false}, {"C:\\APP\\GRID.OCX", false},
      {"C:\\APP\\OCXES\\GRID.OCX", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, InDir("C:\\APP\\OCX\\", c.first)) << c.first;
}

TEST(StorageDirTest, NothingIsNormalised) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\APP\\OCX", "C:\\APP\\OCX\\GRID.OCX"},  // no trailing backslash: nothing matches
      {"C:\\APP\\OCX\\", "C:/APP/OCX/GRID.OCX"},
      {"C:\\APP\\OCX\\", "\"C:\\APP\\OCX\\GRID.OCX\""},
      {"C:\\APP\\OCX\\", "C:\\APP\\OCX\\..\\OCX\\GRID.OCX"},
  };
  for (const auto& c : cases) EXPECT_FALSE(InDir(c.first, c.second)) << c.first << " " << c.second;
}

TEST(StorageDirTest, WhatFollowsTheFolderMustBeOnePlainFileName) {
  // Each would lead the platform somewhere other than a file directly inside.
  const char* const elsewhere[] = {
      "C:\\APP\\OCX\\../../Other/planted.ocx", "C:\\APP\\OCX\\sub/inner.ocx", "C:\\APP\\OCX\\/inner.ocx",
      "C:\\APP\\OCX\\..",                      "C:\\APP\\OCX\\.",              "C:\\APP\\OCX\\...",
      "C:\\APP\\OCX\\",                        "C:\\APP\\OCX\\D:planted.ocx",  "C:\\APP\\OCX\\grid.ocx:stream",
  };
  for (const char* path : elsewhere) EXPECT_FALSE(InDir("C:\\APP\\OCX\\", path)) << path;
  // Dots and spaces inside a name are ordinary.
  EXPECT_TRUE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCX\\..grid.v2 .ocx"));
  EXPECT_TRUE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCX\\.ocx"));
}

TEST(StorageDirTest, EmptyTextsAndPathsWithoutBackslashNeverMatch) {
  EXPECT_FALSE(InDir("", "C:\\APP\\OCX\\GRID.OCX"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", ""));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "GRID.OCX"));
}
}  // namespace
