// Which server paths belong to the product's control-storage directory.
#include <gtest/gtest.h>

#include "removal/ClassRegistrations.h"

namespace {
bool InDir(const char* storageDir, const char* path) { return IsPathInDir(storageDir, path); }

TEST(StorageDirTest, DirectoryPartMustEqualTheStorageDirectoryIgnoringCase) {
  EXPECT_TRUE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCX\\GRID.OCX"));
  EXPECT_TRUE(InDir("C:\\APP\\OCX\\", "c:\\app\\ocx\\grid.ocx"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCX\\SUB\\GRID.OCX"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "C:\\APP\\GRID.OCX"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCXES\\GRID.OCX"));
}

TEST(StorageDirTest, NothingIsNormalised) {
  EXPECT_FALSE(InDir("C:\\APP\\OCX", "C:\\APP\\OCX\\GRID.OCX"));  // no trailing backslash: nothing matches
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "C:/APP/OCX/GRID.OCX"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "\"C:\\APP\\OCX\\GRID.OCX\""));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "C:\\APP\\OCX\\..\\OCX\\GRID.OCX"));
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
