#include "resolve/scraping.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

Text G(const std::string& utf8) {
  return Utf8ToGbkText(utf8);
}

const Text kFreeListMarker =
    "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\r\n"
    "\t\t\t\t\t\t<a class=\"local\" href=\"";

TEST(Scraping, FileIdIsTheLastPieceOfTheInput) {
  const struct {
    Text input, fileId;
  } cases[] = {
      {"12345", "12345"},
      {"a/file/12345", "12345"},
      {"a/file/12345/", "12345"},
      {"http://pan.example/file/12345", "12345"},
      {"a/file/12345?x=1", "12345?x=1"},
      {" 12345 ", " 12345 "},
      {"/", ""},
      {"a//", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileIdFromInput(c.input), c.fileId) << c.input;
}

struct PageCase {
  const char* name;
  std::string page;  // UTF-8, converted to GBK as the page client delivers it
  FilePageFacts facts;
};

TEST(Scraping, ScrapeFilePage) {
  const std::string full =
      "<meta name=\"keywords\" content=\"  报告 2024.pdf 免费下载,青杉网盘\">\n"
      "<input type=\"hidden\" name=\"hash_key\" value=\"k9Zx\">\n"
      "<li>文件大小：12.5 MB，上传时间：2024</li>\n";
  const PageCase cases[] = {
      {"all facts, blanks around the name trimmed",
       full,
       {"k9Zx", G("报告 2024.pdf"), "12.5 MB", false}},
      {"free channel named",
       full + "<a>免费用户下载通道</a>",
       {"k9Zx", G("报告 2024.pdf"), "12.5 MB", true}},
      {"hash key marker in capitals", "HASH_KEY\" VALUE=\"AbC\"", {"AbC", "", "", false}},
      {"keywords tag without the name marker",
       "<meta name=\"keywords\" content=\"报告.pdf\">文件大小：1 KB，",
       {"", "", "1 KB", false}},
      {"tab and full-width blank stay",
       "<meta name=\"keywords\" content=\"\t报告　免费下载\">",
       {"", G("\t报告　"), "", false}},
      {"half-width comma does not end the size", "文件大小：3 MB, 下载", {"", "", "", false}},
      {"half-width colon is no size marker", "文件大小:3 MB，", {"", "", "", false}},
      {"free channel letter case and bytes exact", "免费用户下载通", {"", "", "", false}},
      {"empty page", "", {"", "", "", false}},
  };
  for (const auto& c : cases) {
    const FilePageFacts facts = ScrapeFilePage(G(c.page));
    EXPECT_EQ(facts.hashKey, c.facts.hashKey) << c.name;
    EXPECT_EQ(facts.fileName, c.facts.fileName) << c.name;
    EXPECT_EQ(facts.fileSizeText, c.facts.fileSizeText) << c.name;
    EXPECT_EQ(facts.freeChannel, c.facts.freeChannel) << c.name;
  }
}

TEST(Scraping, SizeMarkersAreFullWidthGbkBytes) {
  const Text page =
      "\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1\xA3\xBA"
      "7 GB\xA3\xAC";  // 文件大小：7 GB，
  EXPECT_EQ(ScrapeFilePage(page).fileSizeText, "7 GB");
}

TEST(Scraping, GuestLoginBodyEncodesNothing) {
  EXPECT_EQ(GuestLoginBody("12345", "k9Zx", "a7c"), "file_id=12345&hash_key=k9Zx&randcode=a7c");
  EXPECT_EQ(GuestLoginBody("1&2", "a b", G("验")), "file_id=1&2&hash_key=a b&randcode=" + G("验"));
  EXPECT_EQ(GuestLoginBody("", "", ""), "file_id=&hash_key=&randcode=");
}

TEST(Scraping, LoginRejectedOnlyOnTheExactRedirect) {
  const struct {
    Text reply;
    bool rejected;
  } cases[] = {
      {"<script>setTimeout('redirect();', 3000);</script>", true},
      {"setTimeout('redirect();', 3000", true},
      {"settimeout('redirect();', 3000", false},
      {"setTimeout('redirect();',3000", false},
      {"setTimeout(\"redirect();\", 3000", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsLoginRejected(c.reply), c.rejected) << c.reply;
}

TEST(Scraping, ExtractLinks) {
  const struct {
    const char* name;
    Text text;
    Text downloadUrl, thunderUrl;
  } cases[] = {
      {"both links", kFreeListMarker + "aHR0cDovL2EuYi9m\">" + "<a thunderHref=\"thunder://QUFC\">",
       "http://a.b/f", "thunder://QUFC"},
      {"Base64 with blanks and a line break", kFreeListMarker + "aHR0cDov L2Eu\r\nYi9m\"",
       "http://a.b/f", ""},
      {"missing padding leaves no zero bytes", kFreeListMarker + "aHR0cDovL2EuYi9mZw\"",
       "http://a.b/fg", ""},
      {"one blank after widget-main",
       "<div class=\"widget-main freelist\"  id=\"free_downloadlist\">\r\n"
       "\t\t\t\t\t\t<a class=\"local\" href=\"aHR0cDovL2EuYi9m\"",
       "", ""},
      {"LF alone instead of CR LF",
       "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\n"
       "\t\t\t\t\t\t<a class=\"local\" href=\"aHR0cDovL2EuYi9m\"",
       "", ""},
      {"five TABs",
       "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\r\n"
       "\t\t\t\t\t<a class=\"local\" href=\"aHR0cDovL2EuYi9m\"",
       "", ""},
      {"empty reply", "", "", ""},
  };
  ASSERT_EQ(kFreeListMarker.size(), 90u);
  for (const auto& c : cases) {
    const ResolvedLinks links = ExtractLinks(c.text);
    EXPECT_EQ(links.downloadUrl, c.downloadUrl) << c.name;
    EXPECT_EQ(links.thunderUrl, c.thunderUrl) << c.name;
  }
}

}  // namespace
