// Backslash searches and case folding under a double-byte code page (932),
// where 0x5C can be the trail byte of a character. This executable is run
// with a Japanese locale; it refuses to pass under any other code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/Text.h"
#include "removal/ClassRegistrations.h"
#include "sequence/ExternalUninstaller.h"
#include "sequence/InstallDirs.h"
#include "sequence/TempStorage.h"
#include "SourcePath.h"

namespace {
// "表" in code page 932 is 0x95 0x5C: its trail byte is a backslash.
const char kHyo[] = "\x95\x5C";

class DoubleByteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(932u, GetACP()) << "run with LC_ALL=ja_JP.UTF-8"; }
};

TEST_F(DoubleByteTest, TrailByteBackslashIsNoSeparator) {
  Text path = Text("C:\\") + kHyo + "\\file";
  EXPECT_EQ(2, path.FindFirstBackslash());
  EXPECT_EQ(5, path.FindLastBackslash());
  Text onlyTrail = Text("X") + kHyo;
  EXPECT_EQ(-1, onlyTrail.FindFirstBackslash());
  EXPECT_EQ(-1, onlyTrail.FindLastBackslash());

  Text head, rest = Text(kHyo) + "\\value";
  EXPECT_TRUE(SplitHeadComponent(head, rest));
  EXPECT_STREQ(kHyo, head.Get());
  EXPECT_STREQ("value", rest.Get());
}

TEST_F(DoubleByteTest, RegistryPathWithTrailByteBackslashReachesItsValue) {
  const char sandbox[] = ".Default\\Software\\UnravelTests";
  Text key = Text(sandbox) + "\\" + kHyo;
  HKEY h;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_USERS, key.Get(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\x\\"), 6));
  RegCloseKey(h);
  EXPECT_STREQ("C:\\x\\", ReadRegistryText(HKEY_USERS, key + "\\Dir").Get());
  RegDeleteTreeA(HKEY_USERS, sandbox);
}

TEST_F(DoubleByteTest, CaseFoldingLeavesDoubleByteCharactersExact) {
  EXPECT_TRUE(Text("c:\\app\\").EqualsNoCase("C:\\APP\\"));
  // A trail byte that looks like an ASCII letter is not folded: 0x83 0x61 vs 0x83 0x41.
  EXPECT_FALSE(Text("\x83\x61").EqualsNoCase("\x83\x41"));
  EXPECT_TRUE(Text(Text(kHyo) + "ab").EqualsNoCase(Text(kHyo) + "AB"));
}
TEST_F(DoubleByteTest, StorageDirectoryAndParentFolderSearchesSkipTrailBytes) {
  // C:\表\ holds a.ocx; the trail byte must not end the directory part early.
  Text dir = Text("C:\\") + kHyo + "\\";
  EXPECT_TRUE(IsPathInDir(dir, (dir + "a.ocx").Get()));
  EXPECT_FALSE(IsPathInDir(dir, (Text("C:\\") + kHyo + "a.ocx").Get()));
  EXPECT_TRUE(IsPathInDir(Text("c:\\") + kHyo + "\\", (dir + "A.OCX").Get()));
  // A file name whose double-byte characters end in 0x5C is still one name.
  EXPECT_TRUE(IsPathInDir(dir, (dir + kHyo + ".ocx").Get()));

  // C:\表\TEMP\ -> C:\表\ ; C:\X表 (no separator inside) -> C:\ .
  EXPECT_STREQ(dir.Get(), ParentOfTempStorage(dir + "TEMP\\").Get());
  EXPECT_STREQ("C:\\", ParentOfTempStorage(Text("C:\\X") + kHyo + "\\").Get());
}

// A yen sign, which this code page spells only as a look-alike backslash: a
// name with one goes itself, leads nowhere else and is no script for the
// hand-over; a folder whose name has a trail byte 0x5C is cleaned as given.
TEST_F(DoubleByteTest, ALookAlikeBackslashNameGoesItselfAndATrailByteFolderIsCleaned) {
  const Text top = Text("C:\\") + kHyo;
  const Text folder = top + "\\Temp\\";
  CreateDirectoryA(top.Get(), nullptr);
  CreateDirectoryA(folder.Get(), nullptr);
  const Text victim = top + "\\unravel-victim.dat";  // where "Temp\..\unravel-victim.dat" leads
  wchar_t wideFolder[MAX_PATH];
  ASSERT_NE(0, MultiByteToWideChar(CP_ACP, 0, folder.Get(), -1, wideFolder, MAX_PATH));
  const std::wstring entries[] = {std::wstring(wideFolder) + L"..\u00A5unravel-victim.dat",
                                  std::wstring(wideFolder) + L"DeIsLog.\u00A5", std::wstring(wideFolder) + L"plain.tmp"};
  CloseHandle(CreateFileA(victim.Get(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (const std::wstring& entry : entries) {
    HANDLE h = CreateFileW(entry.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
  }
  InstallDirs dirs;
  dirs.tempStorageDir = folder;
  EXPECT_STREQ("", FindInstallFile(kUninstallScriptMask, nullptr, dirs).Get());

  EXPECT_TRUE(CleanTempStorage(dirs));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(victim.Get()));
  for (const std::wstring& entry : entries) {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(entry.c_str()));
    DeleteFileW(entry.c_str());
  }
  DeleteFileA(victim.Get());
  RemoveDirectoryA(folder.Get());
  RemoveDirectoryA(top.Get());
}

TEST_F(DoubleByteTest, SetupSourceBesideALauncherNamedInDoubleByteCharacters) {
  // ソフト: ソ is 0x83 0x5C, フ 0x83 0x74, ト 0x83 0x67.
  const struct {
    const char* module;
    const char* source;
  } cases[] = {
      {"C:\\dx\\\x83\x5C\x83\x74\x83\x67.EXE", "C:\\dx\\DirectX"},
      {"C:\\\x83\x5C\\SETUP.EXE", "C:\\\x83\x5C\\DirectX"},
      {"C:\\dx\\SETUP.EXE", "C:\\dx\\DirectX"},
  };
  for (const auto& c : cases) {
    char out[kSourcePathSize];
    EXPECT_TRUE(MakeSourcePath(c.module, static_cast<DWORD>(strlen(c.module)), out)) << c.module;
    EXPECT_STREQ(c.source, out);
  }
  // No backslash but a trail byte: nothing to build on.
  char out[kSourcePathSize];
  EXPECT_FALSE(MakeSourcePath("\x83\x5C.EXE", 6, out));
}
}  // namespace
