// The demo service over loopback: every route, the session rules, downloads
// with Range, and each fault a test can ask for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../demo/demo_content.h"
#include "demo_process.h"
#include "http_test_client.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const char kFreeListMarker[] =
    "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\r\n"
    "\t\t\t\t\t\t<a class=\"local\" href=\"";
const char kRejectedMarker[] = "setTimeout('redirect();', 3000";
const char kCodeAlphabet[] = "ACEFHKMNPRTWXY34679";

std::string Between(const std::string& text, const std::string& left, const std::string& right) {
  const size_t start = text.find(left);
  if (start == std::string::npos) return {};
  const size_t end = text.find(right, start + left.size());
  if (end == std::string::npos) return {};
  return text.substr(start + left.size(), end - start - left.size());
}

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const size_t value = kAlphabet.find(c);
    if (value == std::string::npos) return "<invalid base64>";
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

std::string Expected(uint32_t fileId, uint64_t offset, size_t n) {
  std::string bytes(n, '\0');
  DemoContent(fileId, offset, bytes.data(), n);
  return bytes;
}

// Compares without printing megabytes on a mismatch.
void ExpectContent(uint32_t fileId, uint64_t offset, const std::string& body, size_t size) {
  ASSERT_EQ(body.size(), size);
  const std::string expected = Expected(fileId, offset, size);
  size_t firstDifference = 0;
  while (firstDifference < size && body[firstDifference] == expected[firstDifference]) {
    ++firstDifference;
  }
  EXPECT_EQ(firstDifference, size) << "body differs from DemoContent at byte " << firstDifference;
}

// The decoded pixels of a PNG as 8-bit grey, empty when it does not decode.
std::vector<unsigned char> DecodeGrey(const std::string& png, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_GRAY;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return pixels;
}

// The same text with its first character changed.
std::string Altered(const std::string& text) {
  if (text.empty()) return "x";
  return (text[0] == '0' ? "1" : "0") + text.substr(1);
}

std::string SessionFromSetCookie(const std::string& setCookie) {
  return Between(setCookie, "PHPSESSID=", ";");
}

struct CatalogueEntry {
  uint32_t id;
  const char* name;
  const char* sizeText;
  bool freeChannel;
};

const CatalogueEntry kCatalogue[] = {
    {10001, "青杉测试文档.zip", "12.5 MB", false}, {10002, "demo-free.tar.gz", "3.2 MB", true},
    {10003, "大文件镜像.iso", "2.5 GB", false},    {10004, "notes.txt", "1 KB", false},
    {10005, "无链接文件.rar", "8 MB", false},      {10006, "bench-1g.bin", "1 GB", true},
};

class DemoServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(demo_.Started()) << demo_.Error(); }

  std::string Url(const std::string& target) const { return demo_.BaseUrl() + target; }

  std::string HashKeyOf(uint32_t id) {
    return Between(HttpTestGet(Url("/file/" + std::to_string(id))).body, "hash_key\" value=\"",
                   "\"");
  }

  // A new session with a fresh image; its code read through the test switch.
  struct Session {
    std::string id;
    std::string code;
  };
  Session NewSession() {
    Session session;
    session.id = SessionFromSetCookie(HttpTestGet(Url("/randcodeV2.php")).Header("Set-Cookie"));
    session.code = HttpTestGet(Url("/test/captcha?session=" + session.id)).body;
    return session;
  }

  HttpTestReply Login(uint32_t id, const std::string& hashKey, const std::string& code,
                      const std::string& sessionId) {
    std::vector<std::string> headers;
    if (!sessionId.empty()) headers.push_back("Cookie: PHPSESSID=" + sessionId);
    return HttpTestPost(
        Url("/guest_loginV2.php"),
        "file_id=" + std::to_string(id) + "&hash_key=" + hashKey + "&randcode=" + code, headers);
  }

  // The download address that a right login hands out for the file.
  std::string DownloadUrlOf(uint32_t id) {
    const Session session = NewSession();
    const std::string reply = Login(id, HashKeyOf(id), session.code, session.id).body;
    return Base64Decode(Between(reply, kFreeListMarker, "\""));
  }

  DemoProcess demo_{{"--test-hooks"}};
};

TEST_F(DemoServiceTest, FilePagesCarryTheMarkersOfTheirCatalogueEntry) {
  for (const CatalogueEntry& entry : kCatalogue) {
    SCOPED_TRACE(entry.id);
    const HttpTestReply page = HttpTestGet(Url("/file/" + std::to_string(entry.id)));
    ASSERT_EQ(page.status, 200);
    EXPECT_THAT(page.Header("Content-Type"), HasSubstr("utf-8"));
    EXPECT_EQ(Between(page.body, "<meta name=\"keywords\" content=\"", "免费下载"), entry.name);
    EXPECT_EQ(Between(page.body, "文件大小：", "，"), entry.sizeText);
    EXPECT_EQ(Between(page.body, "hash_key\" value=\"", "\"").size(), 32u);
    const std::string link = Base64Decode(Between(page.body, kFreeListMarker, "\""));
    if (entry.freeChannel) {
      EXPECT_THAT(page.body, HasSubstr("免费用户下载通道"));
      EXPECT_THAT(link, HasSubstr(demo_.BaseUrl() + "/down/" + std::to_string(entry.id) + "/"));
      const std::string thunder = Between(page.body, "thunderHref=\"", "\"");
      ASSERT_EQ(thunder.rfind("thunder://", 0), 0u) << thunder;
      EXPECT_EQ(Base64Decode(thunder.substr(10)), "AA" + link + "ZZ");
    } else {
      EXPECT_THAT(page.body, Not(HasSubstr("免费用户下载通道")));
      EXPECT_THAT(page.body, Not(HasSubstr("thunderHref")));
      EXPECT_EQ(link, "");
    }
  }
}

TEST_F(DemoServiceTest, AnUnknownIdGetsAPageWithoutMarkers) {
  for (const std::string id : {"99999", "abc", "10001x"}) {
    SCOPED_TRACE(id);
    const HttpTestReply page = HttpTestGet(Url("/file/" + id));
    ASSERT_EQ(page.status, 200);
    EXPECT_THAT(page.body, Not(HasSubstr("keywords")));
    EXPECT_THAT(page.body, Not(HasSubstr("文件大小：")));
    EXPECT_THAT(page.body, Not(HasSubstr("hash_key")));
    EXPECT_THAT(page.body, Not(HasSubstr("免费用户下载通道")));
  }
}

TEST_F(DemoServiceTest, TheImageIsAReadablePngBoundToTheSessionCookie) {
  const HttpTestReply first = HttpTestGet(Url("/randcodeV2.php"));
  ASSERT_EQ(first.status, 200);
  EXPECT_EQ(first.Header("Content-Type"), "image/png");
  const std::string setCookie = first.Header("Set-Cookie");
  EXPECT_THAT(setCookie, HasSubstr("; path=/"));
  const std::string session = SessionFromSetCookie(setCookie);
  ASSERT_FALSE(session.empty()) << setCookie;

  int width = 0;
  int height = 0;
  const std::vector<unsigned char> grey = DecodeGrey(first.body, width, height);
  ASSERT_FALSE(grey.empty());
  EXPECT_EQ(width, 136);
  EXPECT_EQ(height, 64);
  size_t ink = 0;
  for (unsigned char pixel : grey) ink += pixel < 128;
  EXPECT_GT(ink, 400u) << "four scaled characters leave a good deal of dark ink";

  const std::string code = HttpTestGet(Url("/test/captcha?session=" + session)).body;
  ASSERT_EQ(code.size(), 4u);
  for (char c : code) EXPECT_NE(std::strchr(kCodeAlphabet, c), nullptr) << code;
  // The cookie form of the read-out names the same session.
  EXPECT_EQ(HttpTestGet(Url("/test/captcha"), {"Cookie: a=b; PHPSESSID=" + session}).body, code);

  // With the cookie the session is kept (no new cookie) and gets a new code.
  std::string next;
  for (int tries = 0; tries < 3 && (next.empty() || next == code); ++tries) {
    const HttpTestReply again =
        HttpTestGet(Url("/randcodeV2.php"), {"Cookie: PHPSESSID=" + session});
    EXPECT_FALSE(again.HasHeader("Set-Cookie"));
    next = HttpTestGet(Url("/test/captcha?session=" + session)).body;
  }
  EXPECT_NE(next, code);
}

TEST_F(DemoServiceTest, LoginAcceptsOnlyTheRightCodeOnceForTheRightKey) {
  const std::string key = HashKeyOf(10001);
  struct Case {
    const char* what;
    bool rightCode;
    bool lowerCase;
    bool rightKey;
    bool sendCookie;
    bool accepted;
  };
  const Case cases[] = {
      {"right code", true, false, true, true, true},
      {"right code in small letters", true, true, true, true, true},
      {"wrong code", false, false, true, true, false},
      {"wrong hash key", true, false, false, true, false},
      {"no session cookie", true, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Session session = NewSession();
    ASSERT_EQ(session.code.size(), 4u);
    std::string code = c.rightCode ? session.code : (session.code == "AAAA" ? "CCCC" : "AAAA");
    if (c.lowerCase) {
      for (char& ch : code) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    const HttpTestReply reply =
        Login(10001, c.rightKey ? key : Altered(key), code, c.sendCookie ? session.id : "");
    ASSERT_EQ(reply.status, 200);
    if (c.accepted) {
      EXPECT_THAT(reply.body, Not(HasSubstr(kRejectedMarker)));
      EXPECT_THAT(reply.body, HasSubstr(kFreeListMarker));
      EXPECT_THAT(reply.body, HasSubstr("thunderHref=\"thunder://"));
    } else {
      EXPECT_THAT(reply.body, HasSubstr(kRejectedMarker));
      EXPECT_THAT(reply.body, Not(HasSubstr("free_downloadlist")));
    }
  }
}

TEST_F(DemoServiceTest, ACodeIsGoodForOneTryOnly) {
  const std::string key = HashKeyOf(10004);
  const Session session = NewSession();
  EXPECT_THAT(Login(10004, key, session.code, session.id).body, Not(HasSubstr(kRejectedMarker)));
  EXPECT_THAT(Login(10004, key, session.code, session.id).body, HasSubstr(kRejectedMarker));

  // A wrong try uses the code up as well.
  const Session other = NewSession();
  EXPECT_THAT(Login(10004, key, "XXXX", other.id).body, HasSubstr(kRejectedMarker));
  EXPECT_THAT(Login(10004, key, other.code, other.id).body, HasSubstr(kRejectedMarker));
}

TEST_F(DemoServiceTest, TheFileWithoutLinksIsAcceptedWithoutTheFreeListOrThunderAddress) {
  const Session session = NewSession();
  const std::string reply = Login(10005, HashKeyOf(10005), session.code, session.id).body;
  EXPECT_THAT(reply, Not(HasSubstr(kRejectedMarker)));
  EXPECT_THAT(reply, Not(HasSubstr("free_downloadlist")));
  EXPECT_THAT(reply, Not(HasSubstr("thunderHref")));
}

TEST_F(DemoServiceTest, DownloadsDeliverTheDemoContentWithTheHeadInOneRead) {
  for (uint32_t id : {10004u, 10001u}) {
    SCOPED_TRACE(id);
    const std::string url = DownloadUrlOf(id);
    ASSERT_THAT(url, HasSubstr(demo_.BaseUrl() + "/down/" + std::to_string(id) + "/"));
    const HttpTestReply reply = HttpTestGet(url);
    ASSERT_TRUE(reply.headComplete);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 200 OK");
    const uint64_t size = id == 10004 ? 1024 : 13107200;
    EXPECT_EQ(reply.Header("Content-Length"), std::to_string(size));
    EXPECT_FALSE(reply.HasHeader("Content-Range"));
    ASSERT_FALSE(reply.readSizes.empty());
    EXPECT_THAT(reply.raw.substr(0, reply.readSizes[0]), HasSubstr("\r\n\r\n"))
        << "the head must arrive whole in the first read";
    ExpectContent(id, 0, reply.body, size);
    EXPECT_TRUE(reply.closedByPeer);
  }
}

TEST_F(DemoServiceTest, TheFreeChannelLinkDownloadsWithoutLogin) {
  const std::string page = HttpTestGet(Url("/file/10002")).body;
  const HttpTestReply reply = HttpTestGet(Base64Decode(Between(page, kFreeListMarker, "\"")));
  ASSERT_EQ(reply.status, 200);
  ExpectContent(10002, 0, reply.body, 3355443);
}

TEST_F(DemoServiceTest, RangeRequestsGet206OrTheirRefusal) {
  const std::string url = DownloadUrlOf(10001);
  const uint64_t size = 13107200;
  struct Case {
    std::string range;
    int status;
    uint64_t first;
  };
  const Case cases[] = {
      {"bytes=0-", 206, 0},
      {"bytes=1-", 206, 1},
      {"bytes=65535-", 206, 65535},
      {"bytes=6553607-", 206, 6553607},
      {"bytes=" + std::to_string(size - 1) + "-", 206, size - 1},
      {"bytes=" + std::to_string(size) + "-", 416, 0},
      {"bytes=" + std::to_string(size + 5000) + "-", 416, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range);
    const HttpTestReply reply = HttpTestGet(url, {"Range: " + c.range});
    ASSERT_EQ(reply.status, c.status);
    if (c.status == 416) {
      EXPECT_EQ(reply.Header("Content-Range"), "bytes */" + std::to_string(size));
      EXPECT_EQ(reply.body, "");
      continue;
    }
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 206 Partial Content");
    EXPECT_EQ(reply.Header("Content-Length"), std::to_string(size - c.first));
    EXPECT_EQ(reply.Header("Content-Range"), "bytes " + std::to_string(c.first) + "-" +
                                                 std::to_string(size - 1) + "/" +
                                                 std::to_string(size));
    ExpectContent(10001, c.first, reply.body, size - c.first);
  }
}

TEST_F(DemoServiceTest, TheFileLargerThanTwoGibServesItsWholeSizeAndItsTail) {
  const std::string url = DownloadUrlOf(10003);
  const HttpTestReply head = HttpTestGet(url, {}, 4096);  // the head and a little of the body
  ASSERT_TRUE(head.headComplete);
  EXPECT_EQ(head.Header("Content-Length"), "2684354560");
  EXPECT_EQ(head.body, Expected(10003, 0, head.body.size()));

  const uint64_t first = 2684354560ULL - 100000;
  const HttpTestReply tail = HttpTestGet(url, {"Range: bytes=" + std::to_string(first) + "-"});
  ASSERT_EQ(tail.status, 206);
  EXPECT_EQ(tail.Header("Content-Range"), "bytes 2684254560-2684354559/2684354560");
  ExpectContent(10003, first, tail.body, 100000);
}

TEST_F(DemoServiceTest, DownloadAddressesMustBeTheOnesHandedOut) {
  const std::string url = DownloadUrlOf(10004);
  const std::string token = url.substr(url.rfind('/') + 1);
  EXPECT_EQ(HttpTestGet(Url("/down/10004/" + Altered(token))).status, 404);
  EXPECT_EQ(HttpTestGet(Url("/down/10001/" + token)).status, 404);
  EXPECT_EQ(HttpTestGet(Url("/down/99999/" + token)).status, 404);
  EXPECT_EQ(HttpTestGet(Url("/down/10004")).status, 404);
  EXPECT_EQ(HttpTestPost(url, "x=1").status, 405);
}

TEST_F(DemoServiceTest, APageAndADownloadOnOneConnectionAreBothAnswered) {
  HttpTestUrl page;
  HttpTestUrl down;
  ASSERT_TRUE(ParseHttpTestUrl(Url("/file/10004"), page));
  ASSERT_TRUE(ParseHttpTestUrl(DownloadUrlOf(10004), down));
  const std::string first = "GET " + page.target + " HTTP/1.1\r\nHost: x\r\n\r\n";
  const std::string second = HttpTestRequest("GET", down, {"Range: bytes=1000-"});
  const HttpTestReply reply = HttpTestExchange(page.port, first + second);
  ASSERT_EQ(reply.status, 200);
  const size_t secondHead = reply.raw.find("HTTP/1.1 206 Partial Content\r\n");
  ASSERT_NE(secondHead, std::string::npos) << reply.raw.substr(0, 400);
  EXPECT_THAT(reply.raw.substr(0, secondHead), HasSubstr("文件大小：1 KB，"));
  EXPECT_EQ(reply.raw.substr(reply.raw.size() - 24), Expected(10004, 1000, 24));
}

TEST_F(DemoServiceTest, EachRequestIsLoggedOnOneLine) {
  HttpTestGet(Url("/file/10004"));
  HttpTestGet(Url("/no/such/page"));
  HttpTestGet(DownloadUrlOf(10004), {"Range: bytes=10-"});
  const std::string log = demo_.Log();
  EXPECT_THAT(log, HasSubstr("GET /file/10004 200"));
  EXPECT_THAT(log, HasSubstr("GET /no/such/page 404"));
  EXPECT_THAT(log, HasSubstr("POST /guest_loginV2.php 200"));
  EXPECT_THAT(log,
              ::testing::ContainsRegex("GET /down/10004/[0-9a-f]+ range=bytes=10- 206 1014\n"));
}

TEST(DemoServiceUpdatePage, NamesTheVersionNotesAndReleaseAddress) {
  for (const std::string version : {"", "v2.1"}) {
    SCOPED_TRACE(version);
    const std::vector<std::string> arguments =
        version.empty() ? std::vector<std::string>{}
                        : std::vector<std::string>{"--announce-version", version};
    DemoProcess demo(arguments);
    ASSERT_TRUE(demo.Started()) << demo.Error();
    const std::string shown = version.empty() ? "v2.0" : version;
    const HttpTestReply page = HttpTestGet(demo.BaseUrl() + "/?p=38");
    ASSERT_EQ(page.status, 200);
    EXPECT_THAT(page.body, HasSubstr("<p>版本号：" + shown + "</p>"));
    EXPECT_THAT(page.body, HasSubstr("<p>更新说明：line1</p>\n<p>line2</p>\n<p>line3</p>"));
    EXPECT_THAT(page.body, HasSubstr("<p>下载地址：" + demo.BaseUrl() + "/release/qingshan-" +
                                     shown + ".tar.gz</p>"));
    EXPECT_EQ(Between(page.body, "更新说明：", "下载地址").find("版本号"), std::string::npos);
  }
}

TEST(DemoServiceWithoutHooks, RefusesTheTestSwitchesAndIgnoresFaults) {
  DemoProcess demo;
  ASSERT_TRUE(demo.Started()) << demo.Error();
  const HttpTestReply image = HttpTestGet(demo.BaseUrl() + "/randcodeV2.php");
  const std::string session = SessionFromSetCookie(image.Header("Set-Cookie"));
  ASSERT_FALSE(session.empty());
  EXPECT_EQ(HttpTestGet(demo.BaseUrl() + "/test/captcha?session=" + session).status, 404);
  EXPECT_EQ(HttpTestGet(demo.BaseUrl() + "/test/fault?f=close:10").status, 404);

  const std::string page = HttpTestGet(demo.BaseUrl() + "/file/10002").body;
  const std::string url = Base64Decode(Between(page, kFreeListMarker, "\""));
  const HttpTestReply reply = HttpTestGet(url + "?fault=close:10");
  ASSERT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body.size(), 3355443u);
}

TEST_F(DemoServiceTest, EachFaultBendsOnlyItsOwnPartOfTheAnswer) {
  const std::string url = DownloadUrlOf(10004);
  const std::string normalHead = HttpTestGet(url).raw.substr(0, 400);
  struct Case {
    std::string fault;
    std::vector<std::string> headers;
    std::string statusLine;
    std::string contentLength;
    uint64_t first;
    size_t bodyBytes;
  };
  const Case cases[] = {
      {"close:100", {}, "HTTP/1.1 200 OK", "1024", 0, 100},
      {"close:0", {}, "HTTP/1.1 200 OK", "1024", 0, 0},
      {"close:300", {"Range: bytes=900-"}, "HTTP/1.1 206 Partial Content", "124", 900, 124},
      {"stall:1:200", {}, "HTTP/1.1 200 OK", "1024", 0, 200},
      {"length:5000", {}, "HTTP/1.1 200 OK", "5000", 0, 1024},
      {"length:10", {}, "HTTP/1.1 200 OK", "10", 0, 1024},
      {"ignore-range", {"Range: bytes=500-"}, "HTTP/1.1 200 OK", "1024", 0, 1024},
      {"http10", {}, "HTTP/1.0 200 OK", "1024", 0, 1024},
      {"http10", {"Range: bytes=24-"}, "HTTP/1.0 206 Partial Content", "1000", 24, 1000},
      {"split-head", {}, "HTTP/1.1 200 OK", "1024", 0, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const HttpTestReply reply = HttpTestGet(url + "?fault=" + c.fault, c.headers);
    ASSERT_TRUE(reply.headComplete);
    EXPECT_EQ(reply.statusLine, c.statusLine);
    EXPECT_EQ(reply.Header("Content-Length"), c.contentLength);
    EXPECT_EQ(reply.body, Expected(10004, c.first, c.bodyBytes));
    EXPECT_TRUE(reply.closedByPeer);
    if (c.fault == "split-head") {
      EXPECT_THAT(reply.raw.substr(0, reply.readSizes[0]), Not(HasSubstr("\r\n\r\n")))
          << "the head must come in pieces";
      EXPECT_EQ(reply.raw.substr(0, 400), normalHead) << "but the same bytes";
    }
  }

  const HttpTestReply redirect = HttpTestGet(url + "?fault=redirect", {"Range: bytes=5-"});
  EXPECT_EQ(redirect.status, 302);
  EXPECT_EQ(redirect.Header("Location"), url);
  EXPECT_EQ(redirect.body, "");
  EXPECT_EQ(HttpTestGet(redirect.Header("Location")).status, 200);

  EXPECT_EQ(HttpTestGet(url + "?fault=close").status, 400);
  EXPECT_EQ(HttpTestGet(url + "?fault=stall:1").status, 400);
  EXPECT_EQ(HttpTestGet(url + "?fault=explode").status, 400);
}

TEST_F(DemoServiceTest, AnArmedFaultAppliesToTheNextDownloadOnly) {
  const std::string url = DownloadUrlOf(10004);
  EXPECT_EQ(HttpTestGet(Url("/test/fault?f=nonsense")).status, 400);
  ASSERT_EQ(HttpTestGet(Url("/test/fault?f=close:100")).status, 200);
  HttpTestGet(Url("/file/10004"));  // a page request does not use it up
  EXPECT_EQ(HttpTestGet(url).body.size(), 100u);
  EXPECT_EQ(HttpTestGet(url).body.size(), 1024u);

  ASSERT_EQ(HttpTestGet(Url("/test/fault?f=redirect")).status, 200);
  const HttpTestReply redirect = HttpTestGet(url);
  EXPECT_EQ(redirect.status, 302);
  EXPECT_EQ(redirect.Header("Location"), url);
  EXPECT_EQ(HttpTestGet(url).status, 200);
}

TEST(DemoServiceStop, EndsCleanlyOnSigtermDuringAStalledDownload) {
  DemoProcess demo({"--test-hooks"});
  ASSERT_TRUE(demo.Started()) << demo.Error();
  const std::string page = HttpTestGet(demo.BaseUrl() + "/file/10002").body;
  HttpTestUrl url;
  ASSERT_TRUE(ParseHttpTestUrl(Base64Decode(Between(page, kFreeListMarker, "\"")), url));
  url.target += "?fault=stall:600:1000";

  HttpTestConnection connection(url.port);
  ASSERT_TRUE(connection.Send(HttpTestRequest("GET", url, {})));
  HttpTestReply reply;
  while (!reply.timedOut && !reply.closedByPeer && reply.body.size() < 1000) {
    connection.ReadInto(reply, reply.raw.size() + 1, 10000, 10000);
  }
  ASSERT_EQ(reply.body, Expected(10002, 0, 1000)) << "the answer stalls after 1000 bytes";

  EXPECT_TRUE(demo.Stop()) << "SIGTERM must end the service with status 0";
  connection.ReadInto(reply, static_cast<size_t>(-1), 10000, 10000);
  EXPECT_TRUE(reply.closedByPeer);
  EXPECT_EQ(reply.body.size(), 1000u);
}

TEST(DemoContentFunction, SlicesAgreeAcrossBlockBoundariesAndFilesDiffer) {
  const size_t span = 3 * 65536 + 123;
  const std::string whole = Expected(10001, 0, span);
  for (uint64_t offset : {0ULL, 1ULL, 65535ULL, 65536ULL, 100000ULL, 131071ULL}) {
    for (size_t n : {size_t{1}, size_t{7}, size_t{65536}, size_t{70000}}) {
      if (offset + n > span) continue;
      EXPECT_EQ(Expected(10001, offset, n), whole.substr(offset, n)) << offset << "+" << n;
    }
  }
  EXPECT_NE(Expected(10002, 0, 4096), whole.substr(0, 4096));
  EXPECT_NE(Expected(10001, 65536, 4096), whole.substr(0, 4096));
  // Far offsets (beyond 4 GiB) are as well defined as near ones.
  EXPECT_EQ(Expected(10003, (5ULL << 30) + 3, 10), Expected(10003, (5ULL << 30), 13).substr(3));
}

}  // namespace
