// Which server paths belong to the product's control-storage directory.
#include <gtest/gtest.h>

#include "removal/ControlRemovalDialog.h"

namespace {
bool InDir(const char* storageDir, const char* path) {
  return ControlRemovalDialog(nullptr, storageDir).IsInStorageDir(path);
}

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

TEST(StorageDirTest, EmptyTextsAndPathsWithoutBackslashNeverMatch) {
  EXPECT_FALSE(InDir("", "C:\\APP\\OCX\\GRID.OCX"));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", ""));
  EXPECT_FALSE(InDir("C:\\APP\\OCX\\", "GRID.OCX"));
}
}  // namespace
