// Finding the uninstall script and the uninstaller, building the command
// line, and starting exactly the uninstaller found.
#include "Sandbox.h"
#include "sequence/ExternalUninstaller.h"

namespace {
InstallDirs Dirs(const std::string& root, const std::string& temp) {
  InstallDirs dirs;
  dirs.rootDir = root.c_str();
  dirs.tempStorageDir = temp.c_str();
  return dirs;
}

TEST(HandOverTest, FolderAboveTemporaryStorageIsCutTwice) {
  EXPECT_STREQ("C:\\ZENTROVA\\", ParentOfTempStorage("C:\\ZENTROVA\\TEMP\\").Get());
  EXPECT_STREQ("C:\\", ParentOfTempStorage("C:\\ZENTROVA\\TEMP").Get());
  EXPECT_STREQ("", ParentOfTempStorage("TEMP").Get());
  EXPECT_STREQ("", ParentOfTempStorage("\\TEMP").Get());
  EXPECT_STREQ("", ParentOfTempStorage("C:\\").Get());
}

TEST(HandOverTest, ScriptIsSoughtInRootOrOnlyWithoutRootBesideTemporaryStorage) {
  Sandbox box("handover");
  CreateDirectoryA((box / "root").c_str(), nullptr);
  CreateDirectoryA((box / "product").c_str(), nullptr);
  CreateDirectoryA((box / "product\\TEMP").c_str(), nullptr);
  WriteFile(box / "product\\DeIsLog.1");

  std::string temp = box / "product\\TEMP\\";
  EXPECT_EQ(box / "product\\DeIsLog.1", FindInstallFile("DeIsLog.*", nullptr, Dirs("", temp)).Get());
  // A root without a script is not made good by the folder above temp.
  EXPECT_STREQ("", FindInstallFile("DeIsLog.*", nullptr, Dirs(box / "root\\", temp)).Get());
  WriteFile(box / "root\\DeIsLog.1");
  EXPECT_EQ(box / "root\\DeIsLog.1", FindInstallFile("DeIsLog.*", nullptr, Dirs(box / "root\\", temp)).Get());
  EXPECT_STREQ("", FindInstallFile("DeIsLog.*", nullptr, Dirs("", "")).Get());

  // An explicit folder is the only place; directories match like files.
  Text folder = (box / "root\\").c_str();
  CreateDirectoryA((box / "root\\DeIsLog.old").c_str(), nullptr);
  std::string found = FindInstallFile("DeIsLog.*", &folder, Dirs("", "")).Get();
  EXPECT_TRUE(found == box / "root\\DeIsLog.1" || found == box / "root\\DeIsLog.old") << found;
  RemoveDirectoryA((box / "root\\DeIsLog.1").c_str());
  DeleteFileA((box / "root\\DeIsLog.1").c_str());
  EXPECT_EQ(box / "root\\DeIsLog.old", FindInstallFile("DeIsLog.*", &folder, Dirs("", "")).Get());
}

TEST(HandOverTest, CommandLineIsBuiltByteForByteOrNotAtAllWhenTooLong) {
  EXPECT_STREQ("C:\\WINDOWS\\UNINST.EXE -f\"C:\\ZENTROVA\\DeIsLog.1\"",
               BuildUninstallCommand("C:\\WINDOWS\\UNINST.EXE", "C:\\ZENTROVA\\DeIsLog.1").Get());
  std::string a(257, 'a'), b(257, 'b');  // 257 + 257 + 5 = 519 characters: fits with its zero byte
  EXPECT_EQ(519, BuildUninstallCommand(a.c_str(), b.c_str()).Length());
  EXPECT_STREQ("", BuildUninstallCommand(a.c_str(), (b + "b").c_str()).Get());
  EXPECT_STREQ("", BuildUninstallCommand(std::string(900, 'a').c_str(), "x").Get());
}

TEST(HandOverTest, TheUninstallerFoundIsStartedNotAProgramNamedByASpace) {
  Sandbox box("my");
  CreateDirectoryA((box / "My Windows").c_str(), nullptr);
  std::string real = box / "My Windows\\uninst.exe";
  std::string decoy = box / "My.exe";
  ASSERT_TRUE(CopyFileA(Fixture("uninst.exe").c_str(), real.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(Fixture("uninst.exe").c_str(), decoy.c_str(), FALSE));

  Text command = BuildUninstallCommand(real.c_str(), "C:\\ZENTROVA\\DeIsLog.1");
  ASSERT_TRUE(StartUninstallerProgram(real.c_str(), command, Text()));
  std::string record = box / "My Windows\\uninst-record.txt";
  for (int i = 0; i < 1200 && !FileExists(record); ++i) Sleep(100);
  EXPECT_EQ(command.Get(), ReadFile(record));
  EXPECT_FALSE(FileExists(box / "uninst-record.txt")) << "the decoy ran";
  Sleep(500);  // let the stand-in close its record before the sandbox goes
}
}  // namespace
