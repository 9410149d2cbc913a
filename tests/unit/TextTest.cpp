// The counted text type under the uses that move its bytes around.
#include <gtest/gtest.h>

#include <string>

#include "framework/Text.h"

TEST(TextTest, AppendingItselfKeepsItsBytesWhileGrowing) {
  Text t("C:\\Zentrova\\");
  for (int i = 0; i < 6; ++i) t += t;  // each append outgrows the buffer
  std::string expected = "C:\\Zentrova\\";
  for (int i = 0; i < 6; ++i) expected += expected;
  EXPECT_EQ(expected, std::string(t.Get(), t.Length()));
  EXPECT_EQ(static_cast<int>(expected.size()), t.Length());
}

TEST(TextTest, BufferFilledByAPlatformCallTakesTextUpToItsZeroByte) {
  Text t("old");
  lstrcpyA(t.GetBuffer(40), "new text");
  t.ReleaseBuffer();
  EXPECT_STREQ("new text", t.Get());
  EXPECT_EQ(8, t.Length());
  t += "!";
  EXPECT_STREQ("new text!", t.Get());
}
