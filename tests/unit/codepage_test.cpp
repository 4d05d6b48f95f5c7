#include "platform/codepage.h"

#include <gtest/gtest.h>

TEST(CodePage, Utf8ToGbkConvertsChineseAndAscii) {
  EXPECT_EQ(Utf8BytesToGbk("a\xE6\x96\x87" "b"), "a\xCE\xC4" "b");    // 文
  EXPECT_EQ(Utf8BytesToGbk("\xEF\xBC\x9A\xEF\xBC\x8C"), "\xA3\xBA\xA3\xAC");  // ：，
  EXPECT_EQ(Utf8BytesToGbk(""), "");
}

TEST(CodePage, InvalidOrUnmappableBecomesQuestionMark) {
  // A lone continuation byte and a truncated sequence each become U+FFFD, which has no
  // GBK form; an emoji has none either.
  EXPECT_EQ(Utf8BytesToGbk("a\x80z"), "a?z");
  EXPECT_EQ(Utf8BytesToGbk("a\xE6\x96"), "a??");
  EXPECT_EQ(Utf8BytesToGbk("\xF0\x9F\x98\x80!"), "?!");
  EXPECT_EQ(Utf8BytesToGbk("\xC0\xAF"), "??");  // overlong form
}

TEST(CodePage, ZeroByteEndsTheResult) {
  EXPECT_EQ(Utf8BytesToGbk(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToGbkText(std::string("ab\0cd", 5)), std::string("ab\0cd", 5));
}

TEST(CodePage, GbkRoundTripsAndMarksInvalidBytes) {
  const std::string gbk = Utf8ToGbkText("青杉网盘解析工具 v2.0");
  EXPECT_EQ(GbkToUtf8(gbk), "青杉网盘解析工具 v2.0");
  EXPECT_EQ(GbkToUtf8("a\xFF"), "a\xEF\xBF\xBD");
}
