#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "web/page_request.h"

namespace {

struct MergeCase {
  const char* name;
  std::string cookies;
  std::string newCookies;
  std::string merged;
  std::string cleanNew;
};

TEST(Cookies, MergeCookies) {
  const MergeCase cases[] = {
      {"response first, then the old ones it did not set", "a=1; b=2", "b=3;c=4", "b=3; c=4; a=1",
       "b=3;c=4"},
      {"a value of deleted removes the cookie", "a=1; b=2", "b=deleted", "a=1", "b=deleted"},
      {"an old deleted value goes too", "a=deleted; b=2", "", "b=2", ""},
      {"entry without = keeps its whole text as name", "flag; a=1", "a=2", "a=2; flag", "a=2"},
      {"first of several old entries with one name", "a=1; a=2", "", "a=1", ""},
      {"blanks removed, also inside values", "a = x y", "c=1 2; d=3", "c=12; d=3; a=xy",
       "c=12;d=3"},
      {"names compared exactly", "A=1", "a=2", "a=2; A=1", "a=2"},
      {"empty piece among others carries on", "a=1", ";c=4", "; c=4; a=1", ";c=4"},
      {"empty last piece dropped", "a=1", "c=4;", "c=4; a=1", "c=4;"},
      {"both empty", "", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string cookies = c.cookies;
    std::string newCookies = c.newCookies;
    EXPECT_EQ(MergeCookies(cookies, newCookies), c.merged) << c.name;
    EXPECT_EQ(cookies, c.merged) << c.name;
    EXPECT_EQ(newCookies, c.cleanNew) << c.name;
  }
}

TEST(Cookies, NamesAndHeaderValues) {
  EXPECT_EQ(CookieName(" sid =abc=def"), "sid");
  EXPECT_EQ(CookieName("flag "), "flag");
  EXPECT_EQ(CookieName("=x"), "");
  EXPECT_TRUE(HasCookieNamed({"a=1", " b =2"}, "b"));
  EXPECT_FALSE(HasCookieNamed({"a=1", "bb=2"}, "b"));
  EXPECT_FALSE(HasCookieNamed({}, ""));

  EXPECT_EQ(HeaderValue("Location:  http://h/x:y "), "http://h/x:y");
  EXPECT_EQ(HeaderValue("X-Empty:"), "");
  EXPECT_EQ(HeaderValue("HTTP/1.1 200 OK"), "");
  EXPECT_EQ(HeaderValue(Utf8ToGbkText("Name:　值　")), Utf8ToGbkText("值"));
}

TEST(Cookies, Utf8ToGbkConvertsPageBodies) {
  EXPECT_EQ(Utf8ToGbk("文件大小：1 MB"), Utf8ToGbkText("文件大小：1 MB"));
  EXPECT_EQ(Utf8ToGbk(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToGbk("\xCE\xC4"), "??");  // GBK bytes are no UTF-8
  EXPECT_EQ(Utf8ToGbk(""), "");
}

}  // namespace
