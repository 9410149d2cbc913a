// The cleanup of the temporary-storage directory on the prefix's real disk.
#include "Sandbox.h"
#include "sequence/TempStorage.h"

namespace {
TEST(TempStorageTest, OnlyArchiveFlaggedEntriesAreDeleted) {
  EXPECT_TRUE(IsStoredFileToDelete(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(IsStoredFileToDelete(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(IsStoredFileToDelete(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(TempStorageTest, ShallowCleanupKeepsFoldersReadOnlyFilesAndGoesOnAfterFailures) {
  Sandbox box("temp");
  for (const char* name : {"a.tmp", "hidden.tmp", "system.tmp", "readonly.tmp", "z.tmp"}) WriteFile(box / name);
  SetFileAttributesA((box / "hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((box / "system.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((box / "readonly.tmp").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(CreateDirectoryA((box / "sub").c_str(), nullptr));
  WriteFile(box / "sub\\inner.tmp");

  EXPECT_TRUE(CleanTempStorage(box.Dir().c_str()));
  for (const char* gone : {"a.tmp", "hidden.tmp", "system.tmp", "z.tmp"}) EXPECT_FALSE(FileExists(box / gone)) << gone;
  EXPECT_TRUE(FileExists(box / "readonly.tmp"));
  EXPECT_TRUE(FileExists(box / "sub\\inner.tmp"));
  EXPECT_TRUE(FileExists(box.Dir()));
}

TEST(TempStorageTest, MissingOrEmptyDirectoryAndFailedDeletionAreSilent) {
  Sandbox box("temp-empty");
  EXPECT_TRUE(CleanTempStorage(""));
  EXPECT_FALSE(CleanTempStorage((box / "missing\\").c_str()));
  EXPECT_TRUE(DeleteStoredFile(""));
  EXPECT_FALSE(DeleteStoredFile((box / "missing.tmp").c_str()));
}

TEST(TempStorageTest, DriveRootsAndTheSystemsFoldersAreNeverCleaned) {
  char windows[MAX_PATH], system[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  std::string lowerWindows = windows;
  for (char& c : lowerWindows) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (std::string dir : {std::string("C:\\"), std::string("c:"), std::string("\\"), std::string("Z:\\"),
                          std::string(windows), std::string(windows) + "\\", lowerWindows + "\\",
                          std::string(system) + "\\"}) {
    EXPECT_TRUE(IsProtectedFolder(dir.c_str())) << dir;
  }
  EXPECT_FALSE(IsProtectedFolder("C:\\Zentrova\\Temp\\"));
  EXPECT_FALSE(IsProtectedFolder((std::string(windows) + "\\Temp\\").c_str()));

  // A file in the Windows directory survives a cleanup aimed there.
  std::string marker = std::string(windows) + "\\unravel-marker.tmp";
  WriteFile(marker);
  EXPECT_FALSE(CleanTempStorage((std::string(windows) + "\\").c_str()));
  EXPECT_TRUE(FileExists(marker));
  DeleteFileA(marker.c_str());
}
}  // namespace
