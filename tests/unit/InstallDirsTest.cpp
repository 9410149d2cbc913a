// Registry lookup of the product's directories, against the prefix's real
// registry. Every test starts from both keys removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Staging.h"
#include "sequence/InstallDirs.h"

namespace {
const char* const kPrimaryKey = testbed::kPrimaryDirectories;
const char* const kFallbackKey = testbed::kFallbackDirectories;
const char kSandbox[] = ".Default\\Software\\UnravelTests";

void DeleteTree(const char* key) { RegDeleteTreeA(HKEY_USERS, key); }

void SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY h;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_USERS, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(h);
}
void SetText(const char* key, const char* name, const std::string& text) {
  SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
// The three directory values of one place; a null one is left out.
void SetDirs(const char* key, const char* ocx, const char* temp, const char* root) {
  const std::pair<const char*, const char*> values[] = {{"Ocx Storage", ocx}, {"Temp Storage", temp}, {"Root", root}};
  for (const auto& v : values)
    if (v.second) SetText(key, v.first, v.second);
}

class InstallDirsTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    DeleteTree(kPrimaryKey);
    DeleteTree(kFallbackKey);
    DeleteTree(kSandbox);
  }
  static InstallDirs Read() {
    InstallDirs dirs;
    ReadInstallDirs(dirs);
    return dirs;
  }
  // Reads the directories and compares each with what is expected.
  static void ExpectDirs(const char* ocx, const char* temp, const char* root) {
    const InstallDirs dirs = Read();
    EXPECT_STREQ(ocx, dirs.ocxStorageDir.Get());
    EXPECT_STREQ(temp, dirs.tempStorageDir.Get());
    EXPECT_STREQ(root, dirs.rootDir.Get());
  }
  static std::string ReadSandbox(const std::string& valuePath) {
    return ReadRegistryText(HKEY_USERS, (std::string(kSandbox) + "\\" + valuePath).c_str()).Get();
  }
};

TEST_F(InstallDirsTest, NothingRecordedGivesThreeEmptyDirectories) {
  ExpectDirs("", "", "");
}

TEST_F(InstallDirsTest, PrimaryWinsAndEachMissingFieldFallsBackOnItsOwn) {
  SetDirs(kPrimaryKey, "C:\\Primary\\Ocx\\", nullptr, "C:\\Primary\\");
  SetDirs(kFallbackKey, "C:\\Fallback\\Ocx\\", "C:\\Fallback\\Temp\\", "C:\\Fallback\\");
  ExpectDirs("C:\\Primary\\Ocx\\", "C:\\Fallback\\Temp\\", "C:\\Primary\\");
}

TEST_F(InstallDirsTest, EmptyPrimaryValueFallsBackAndMissingPrimaryKeyReadsAllFromFallback) {
  SetText(kPrimaryKey, "Ocx Storage", "");
  SetText(kFallbackKey, "Ocx Storage", "D:\\Ocx\\");
  EXPECT_STREQ("D:\\Ocx\\", Read().ocxStorageDir.Get());

  DeleteTree(kPrimaryKey);
  SetDirs(kFallbackKey, nullptr, "D:\\Temp\\", "D:\\");
  ExpectDirs("D:\\Ocx\\", "D:\\Temp\\", "D:\\");
}

TEST_F(InstallDirsTest, TextIsKeptExactlyAsStored) {
  SetDirs(kPrimaryKey, "c:\\Mixed Case\\NoSlash", "%TEMP%\\z\\", " C:\\x\\ ");
  ExpectDirs("c:\\Mixed Case\\NoSlash", "%TEMP%\\z\\", " C:\\x\\ ");
}

TEST_F(InstallDirsTest, NonTextValuesGiveTheirBytesUpToTheFirstZero) {
  DWORD number = 0x00434241;  // "ABC" then a zero byte
  SetValue(kSandbox, "Number", REG_DWORD, &number, sizeof number);
  EXPECT_EQ("ABC", ReadSandbox("Number"));
  const char binary[] = {'x', 'y', 0, 'z'};
  SetValue(kSandbox, "Binary", REG_BINARY, binary, sizeof binary);
  EXPECT_EQ("xy", ReadSandbox("Binary"));
}

TEST_F(InstallDirsTest, ValuesUpTo519CharactersFitAndLongerOnesGiveEmptyText) {
  SetText(kSandbox, "Fits", std::string(519, 'a'));
  SetText(kSandbox, "TooLong", std::string(520, 'b'));
  SetText(kSandbox, "Huge", std::string(5000, 'c'));
  EXPECT_EQ(std::string(519, 'a'), ReadSandbox("Fits"));
  EXPECT_EQ("", ReadSandbox("TooLong"));
  EXPECT_EQ("", ReadSandbox("Huge"));
}

TEST_F(InstallDirsTest, ValueFillingTheBufferWithoutZeroByteGivesEmptyText) {
  std::string bytes(520, 'q');
  SetValue(kSandbox, "Full", REG_BINARY, bytes.data(), 520);
  SetValue(kSandbox, "Almost", REG_BINARY, bytes.data(), 519);
  EXPECT_EQ("", ReadSandbox("Full"));
  EXPECT_EQ(std::string(519, 'q'), ReadSandbox("Almost"));
}

TEST_F(InstallDirsTest, MissingKeysAndValuesGiveEmptyText) {
  SetText(kSandbox, "Present", "yes");
  EXPECT_EQ("yes", ReadSandbox("Present"));
  EXPECT_EQ("", ReadSandbox("Absent"));
  EXPECT_EQ("", ReadSandbox("NoSuchKey\\Deeper\\Present"));
  EXPECT_EQ("", ReadRegistryText(HKEY_USERS, "NoSuchProfile\\Value").Get());
}

TEST(SplitHeadComponentTest, WalksComponentsAndReportsTheLast) {
  Text head = "stale", rest = "a\\bc\\value";
  // Whether more follows, and the component taken, call by call.
  const std::pair<bool, const char*> steps[] = {{true, "a"}, {true, "bc"}, {false, "value"}, {false, ""}};
  for (const auto& step : steps) {
    EXPECT_EQ(step.first, SplitHeadComponent(head, rest)) << step.second;
    EXPECT_STREQ(step.second, head.Get());
  }

  rest = "key\\";  // a trailing backslash leaves nothing after it
  EXPECT_FALSE(SplitHeadComponent(head, rest));
  EXPECT_STREQ("key", head.Get());
  EXPECT_STREQ("", rest.Get());
}
}  // namespace
