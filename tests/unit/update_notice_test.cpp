#include <gtest/gtest.h>

#include <string>

#include "app/app_state.h"
#include "platform/codepage.h"
#include "update/update_check.h"

namespace {

std::string G(const std::string& utf8) {
  return Utf8ToGbkText(utf8);
}

TEST(ReplaceMany, AppliesThePairsInTurnWithTheSameOptions) {
  EXPECT_EQ(ReplaceMany("a-b-c", std::nullopt, std::nullopt, std::nullopt, "-", "+"), "a+b+c");
  // The second pair sees the result of the first.
  EXPECT_EQ(ReplaceMany("ab", std::nullopt, std::nullopt, std::nullopt, "a", "b", "bb", "X"), "X");
  // An empty find text changes nothing, the later pairs still apply.
  EXPECT_EQ(ReplaceMany("abc", std::nullopt, std::nullopt, std::nullopt, "", "Z", "c", "C"), "abC");
  EXPECT_EQ(ReplaceMany("xXxX", 2, std::nullopt, std::nullopt, "x", "y"), "yyxX");
  EXPECT_EQ(ReplaceMany("xXxX", std::nullopt, std::nullopt, true, "x", "y"), "yXyX");
  EXPECT_EQ(ReplaceMany("xXxX", std::nullopt, 3, std::nullopt, "x", "y"), "xXyy");
  EXPECT_EQ(ReplaceMany("xx", std::nullopt, 0, std::nullopt, "x", "y"), "yy");
}

TEST(ReadUpdateNotice, TakesTheThreeLabelledPieces) {
  const struct {
    std::string page;
    std::string version;
    std::string notes;
    std::string address;
  } cases[] = {
      {"<p>版本号：v2.1</p>\n<p>更新说明：一</p>\n<p>二</p>\n<p>三</p>\n<p>下载地址：http://h/"
       "r.tar.gz</p>",
       "v2.1", "一\r\n二\r\n三\r\n", "http://h/r.tar.gz"},
      // The joint written in capitals is replaced too; the first label counts.
      {"<p>版本号：V3</P>\n<P>版本号：v4</p><p>更新说明：a</P>\n<P>b下载地址：x</p>下载地址：y</p>",
       "V3", "a\r\nb", "x"},
      {"<p>版本号： v2.0</p>", " v2.0", "", ""},
      {"<html>no labels</html>", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    ReadUpdateNotice(G(c.page));
    EXPECT_EQ(GbkToUtf8(App().latestVersion.Get()), c.version) << c.page;
    EXPECT_EQ(GbkToUtf8(App().updateNotes.Get()), c.notes) << c.page;
    EXPECT_EQ(GbkToUtf8(App().updateDownloadUrl.Get()), c.address) << c.page;
  }
}

TEST(NewVersionMessage, VersionOnTheFirstLineThenAnEmptyLineThenTheNotes) {
  EXPECT_EQ(GbkToUtf8(NewVersionMessage("v2.1", G("一\r\n二"))),
            "发现新版本：青杉网盘解析工具v2.1\r\n\r\n一\r\n二");
  EXPECT_EQ(GbkToUtf8(NewVersionMessage("v1.0", "")), "发现新版本：青杉网盘解析工具v1.0\r\n\r\n");
}

}  // namespace
