#include "web/page_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/cancel.h"
#include "platform/codepage.h"
#include "platform/http_transport.h"
#include "raw_peer.h"

namespace {

const std::string kAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Zorb; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

// The caller's variables of one call, all starting as the test sets them.
struct Call {
  int32_t method = 0;
  std::string postText;
  std::string cookies;
  std::string newCookies;
  std::string headers;
  std::string redirectUrl;
  bool noRedirect = false;
  std::string postBytes;
  std::string proxy;
  std::string rawHeaders;

  std::string Raw(const std::string& url) {
    return PageRequestRaw(url, method, postText, &cookies, &newCookies, &headers, &redirectUrl,
                          noRedirect, &postBytes, proxy, &rawHeaders);
  }
  std::string Text(const std::string& url) {
    return PageRequest(url, method, postText, &cookies, &newCookies, &headers, &redirectUrl,
                       noRedirect, &postBytes, proxy, &rawHeaders);
  }
};

std::string Ok(const std::string& body = "ok", const std::vector<std::string>& lines = {}) {
  return HttpReply("200 OK", lines, body);
}

class TransportLimits : public ::testing::Test {
 protected:
  void TearDown() override { ResetTransportTimeouts(); }
};

}  // namespace

// What goes out on the wire, byte for byte, and the header block handed back.
TEST(PageRequestWire, SendsExactlyTheProgramsRequest) {
  RawPeer peer(PeerReply{Ok()});
  const std::string host = "127.0.0.1:" + std::to_string(peer.Port());
  const std::string url = peer.Base() + "/file/10001?x=A";
  const std::string defaults =
      "Accept: */*\r\nAccept-Language: zh-cn\r\n"
      "Content-Type: application/x-www-form-urlencoded";
  struct Case {
    const char* name;
    Call call;
    std::string expectedRequest;
    std::string expectedHeaders;  // the block written back to `headers`
    std::string expectedPostBytes;
  };
  Case cases[] = {
      {"only the address",
       {},
       "GET /file/10001?x=A HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kAgent +
           "\r\nReferer: " + url + "\r\n" + defaults + "\r\n\r\n",
       "Referer: " + url + "\r\n" + defaults,
       ""},
      {"post of postText",
       [] {
         Call c;
         c.method = 1;
         c.postText = "file_id=10001&hash_key=k9&randcode=AB3";
         return c;
       }(),
       "POST /file/10001?x=A HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kAgent +
           "\r\nReferer: " + url + "\r\n" + defaults +
           "\r\nContent-Length: 38\r\n\r\nfile_id=10001&hash_key=k9&randcode=AB3",
       "Referer: " + url + "\r\n" + defaults, "file_id=10001&hash_key=k9&randcode=AB3"},
      {"post bytes win over postText and may hold a zero byte",
       [] {
         Call c;
         c.method = 1;
         c.postText = "ignored";
         c.postBytes = std::string("a\0b", 3);
         return c;
       }(),
       "POST /file/10001?x=A HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kAgent +
           "\r\nReferer: " + url + "\r\n" + defaults + "\r\nContent-Length: 3\r\n\r\n" +
           std::string("a\0b", 3),
       "Referer: " + url + "\r\n" + defaults, std::string("a\0b", 3)},
      {"lower-case caller lines: the agent is found, the language line is not",
       [] {
         Call c;
         c.headers = "user-agent: Probe/1.0\r\naccept-language: en";
         return c;
       }(),
       "GET /file/10001?x=A HTTP/1.1\r\nHost: " + host +
           "\r\nuser-agent: Probe/1.0\r\naccept-language: en\r\nReferer: " + url +
           "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n\r\n",
       "user-agent: Probe/1.0\r\naccept-language: en\r\nReferer: " + url +
           "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
           "Content-Type: application/x-www-form-urlencoded",
       ""},
      {"a caller's own lines are kept and not repeated",
       [] {
         Call c;
         c.headers = "Referer: http://elsewhere/\r\nAccept: text/html\r\nContent-Type: text/plain";
         return c;
       }(),
       "GET /file/10001?x=A HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kAgent +
           "\r\nReferer: http://elsewhere/\r\nAccept: text/html\r\nContent-Type: text/plain"
           "\r\nAccept-Language: zh-cn\r\n\r\n",
       "Referer: http://elsewhere/\r\nAccept: text/html\r\nContent-Type: text/plain"
       "\r\nAccept-Language: zh-cn",
       ""},
      {"cookies go last, even beside a caller's Cookie line",
       [] {
         Call c;
         c.cookies = "a=1; b=2";
         c.headers = "Cookie: own=1";
         return c;
       }(),
       "GET /file/10001?x=A HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + kAgent +
           "\r\nCookie: own=1\r\nReferer: " + url + "\r\n" + defaults +
           "\r\nCookie: a=1; b=2\r\n\r\n",
       "Cookie: own=1\r\nReferer: " + url + "\r\n" + defaults + "\r\nCookie: a=1; b=2", ""},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = peer.Requests().size();
    EXPECT_EQ(c.call.Raw(url), "ok");
    const std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back(), c.expectedRequest);
    EXPECT_EQ(c.call.headers, c.expectedHeaders);
    EXPECT_EQ(c.call.postBytes, c.expectedPostBytes);
  }
}

// The agent comes from a caller's User-Agent line, also when that line ends the block.
TEST(PageRequestWire, AgentFromTheCallersLastLine) {
  RawPeer peer(PeerReply{Ok()});
  Call call;
  call.headers = "User-Agent:   Solo/2.0  ";
  call.Raw(peer.Base() + "/");
  const std::string request = peer.Requests().at(0);
  EXPECT_NE(request.find("\r\nUser-Agent:   Solo/2.0  \r\n"), std::string::npos) << request;
  EXPECT_EQ(request.find(kAgent), std::string::npos);
}

// An http address through a proxy: the proxy gets the whole address as the request target.
TEST(PageRequestWire, ProxyCarriesHttpRequests) {
  RawPeer proxy(PeerReply{Ok("via proxy")});
  Call call;
  call.proxy = "127.0.0.1:" + std::to_string(proxy.Port());
  EXPECT_EQ(call.Raw("http://files.example.invalid:8088/file/7"), "via proxy");
  const std::string request = proxy.Requests().at(0);
  EXPECT_EQ(request.rfind("GET http://files.example.invalid:8088/file/7 HTTP/1.1\r\n", 0), 0u)
      << request;
  EXPECT_NE(request.find("\r\nHost: files.example.invalid:8088\r\n"), std::string::npos);
}

// Cookies: the response's Set-Cookie lines merged into the caller's list.
TEST(PageRequestCookies, ResponseCookiesMergeIntoTheCallersList) {
  struct Case {
    const char* name;
    std::string cookies;
    std::vector<std::string> setCookieLines;
    std::string expectedNew;
    std::string expectedCookies;
  };
  const Case cases[] = {
      {"the worked example",
       "a=1; b=2",
       {"Set-Cookie: b=3; path=/", "Set-Cookie: c=4; path=/"},
       "b=3;c=4",
       "b=3; c=4; a=1"},
      {"a deleted cookie disappears",
       "a=1; b=2",
       {"Set-Cookie: b=deleted; expires=Thu, 01-Jan-1970 00:00:01 GMT; path=/"},
       "b=deleted",
       "a=1"},
      {"blanks inside values are removed",
       "x = 1",
       {"Set-Cookie: v=a b c; path=/"},
       "v=abc",
       "v=abc; x=1"},
      {"an entry without = keeps its whole text as its name",
       "flag; a=1",
       {"Set-Cookie: a=2; path=/"},
       "a=2",
       "a=2; flag"},
      {"a Set-Cookie line without ; gives an empty entry", "", {"Set-Cookie: solo=1"}, "", ""},
      {"an empty entry followed by others stays",
       "x=1",
       {"Set-Cookie: solo=1", "Set-Cookie: k=2; path=/"},
       ";k=2",
       "; k=2; x=1"},
      {"no cookies at all", "", {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawPeer peer(PeerReply{Ok("page", c.setCookieLines)});
    Call call;
    call.cookies = c.cookies;
    EXPECT_EQ(call.Text(peer.Base() + "/file/1"), "page");
    EXPECT_EQ(call.newCookies, c.expectedNew);
    EXPECT_EQ(call.cookies, c.expectedCookies);
    const bool sentCookieLine = peer.Requests().at(0).find("\r\nCookie:") != std::string::npos;
    EXPECT_EQ(sentCookieLine, !c.cookies.empty());
  }
}

// The same variable passed again carries the merged list to the next request.
TEST(PageRequestCookies, MergedListGoesOutWithTheNextRequest) {
  RawPeer peer([](const std::string&, int index) {
    return PeerReply{index == 0 ? Ok("1", {"Set-Cookie: b=3; path=/", "Set-Cookie: c=4;"})
                                : Ok("2")};
  });
  Call call;
  call.cookies = "a=1; b=2";
  call.Raw(peer.Base() + "/one");
  Call next;
  next.cookies = call.cookies;
  next.Raw(peer.Base() + "/two");
  EXPECT_NE(peer.Requests().at(1).find("\r\nCookie: b=3; c=4; a=1\r\n"), std::string::npos)
      << peer.Requests().at(1);
}

// Redirects: followed by default (the final response is what comes back), or not at all.
TEST(PageRequestRedirects, FollowedOrNotAndTheLocationLines) {
  RawPeer peer([](const std::string& request, int) {
    if (request.rfind("GET /start ", 0) == 0) {
      return PeerReply{
          HttpReply("302 Found", {"Location: /final", "Set-Cookie: hop=1; path=/"}, "moved")};
    }
    if (request.rfind("GET /final ", 0) == 0) {
      return PeerReply{Ok("final page", {"Set-Cookie: end=2; path=/"})};
    }
    return PeerReply{Ok("other", {"Location: http://first/", "Content-Location: /second"})};
  });
  {
    SCOPED_TRACE("followed");
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/start"), "final page");
    EXPECT_EQ(call.rawHeaders.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << call.rawHeaders;
    EXPECT_EQ(call.rawHeaders.find("302"), std::string::npos);
    EXPECT_EQ(call.redirectUrl, call.rawHeaders);  // no Location line: the whole block
    EXPECT_EQ(call.cookies, "end=2");
    EXPECT_EQ(peer.Requests().back().rfind("GET /final HTTP/1.1\r\n", 0), 0u);
  }
  {
    SCOPED_TRACE("not followed");
    const size_t before = peer.Requests().size();
    Call call;
    call.noRedirect = true;
    EXPECT_EQ(call.Raw(peer.Base() + "/start"), "moved");
    EXPECT_EQ(call.redirectUrl, "/final");
    EXPECT_EQ(call.rawHeaders.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
    EXPECT_EQ(call.cookies, "hop=1");
    EXPECT_EQ(peer.Requests().size(), before + 1);
  }
  {
    SCOPED_TRACE("the last line holding Location: wins");
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/other"), "other");
    EXPECT_EQ(call.redirectUrl, "/second");
  }
  {
    SCOPED_TRACE("a caller's value stays when the response has no Location line");
    Call call;
    call.redirectUrl = "kept";
    call.Raw(peer.Base() + "/final");
    EXPECT_EQ(call.redirectUrl, "kept");
  }
}

// Header blocks that do not fit into 5000 bytes with their terminating zero are not handed
// back, and then give neither cookies nor a redirect address; the body still arrives.
TEST(PageRequestRedirects, RawHeaderLimit) {
  for (const size_t blockLength : {kRawHeaderLimit - 1, kRawHeaderLimit}) {
    SCOPED_TRACE(blockLength);
    const std::string fixed =
        "HTTP/1.1 200 OK\r\nLocation: /x\r\nSet-Cookie: s=1; path=/\r\nContent-Length: 4"
        "\r\nConnection: close\r\nX-Pad: ";
    const std::string block = fixed + std::string(blockLength - fixed.size(), 'p');
    RawPeer peer(PeerReply{block + "\r\n\r\nbody"});
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/"), "body");
    const bool fits = blockLength < kRawHeaderLimit;
    EXPECT_EQ(call.rawHeaders, fits ? block : "");
    EXPECT_EQ(call.redirectUrl, fits ? "/x" : "");
    EXPECT_EQ(call.cookies, fits ? "s=1" : "");
  }
}

// Every body goes through the UTF-8 to GBK conversion; the raw stage keeps the bytes.
TEST(PageRequestBodies, ConvertedToGbk) {
  struct Case {
    const char* name;
    std::string reply;
    std::string expectedText;
    std::string expectedRaw;
  };
  const std::string utf8 = "<p>版本号：v2.0</p>青杉网盘";
  const Case cases[] = {
      {"a UTF-8 page", Ok(utf8), Utf8ToGbkText(utf8), utf8},
      {"a page already in GBK", Ok("a\xC7\xE0z"), "a??z", "a\xC7\xE0z"},
      {"a zero byte", Ok(std::string("ab\0cd", 5)), "ab", std::string("ab\0cd", 5)},
      {"an empty body", Ok(""), "", ""},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
       "abcde", "abcde"},
      {"no length, ended by the close", "HTTP/1.1 200 OK\r\n\r\nuntil close", "until close",
       "until close"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawPeer peer(PeerReply{c.reply});
    EXPECT_EQ(PageRequest(peer.Base() + "/p"), c.expectedText);
    EXPECT_EQ(PageRequestRaw(peer.Base() + "/p"), c.expectedRaw);
  }
}

TEST(PageRequestBodies, LargePageReadWhole) {
  std::string body(6 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < body.size(); ++i)
    body[i] = static_cast<char>('a' + (i * 7 + i / 1024) % 26);
  RawPeer peer(PeerReply{Ok(body)});
  const std::string received = PageRequestRaw(peer.Base() + "/big");
  EXPECT_EQ(received.size(), body.size());
  EXPECT_TRUE(received == body);
}

// A connection that fails: empty body, yet the call goes on to its cookie merge.
TEST_F(TransportLimits, FailuresGiveEmptyOrPartialResults) {
  SetTransportTimeoutsForTesting(std::chrono::seconds(1), std::chrono::seconds(1));
  {
    SCOPED_TRACE("refused port");
    Call call;
    call.cookies = "a = 1; gone=deleted";
    call.redirectUrl = "";
    EXPECT_EQ(call.Text("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/file/1"), "");
    EXPECT_EQ(call.cookies, "a=1");
    EXPECT_EQ(call.rawHeaders, "");
    EXPECT_EQ(call.newCookies, "");
    EXPECT_NE(call.headers.find("Accept-Language: zh-cn"), std::string::npos);
  }
  {
    SCOPED_TRACE("a peer that accepts and never answers");
    RawPeer peer(PeerReply{"", true});
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/silent"), "");
    EXPECT_EQ(call.rawHeaders, "");
  }
  {
    SCOPED_TRACE("a peer that answers the head and stalls in the body");
    RawPeer peer(PeerReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst", true});
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/stall"), "first");
  }
  {
    SCOPED_TRACE("a peer that closes in the middle of the body");
    RawPeer peer(PeerReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"});
    Call call;
    EXPECT_EQ(call.Raw(peer.Base() + "/cut"), "0123456789");
    EXPECT_EQ(call.rawHeaders, "HTTP/1.1 200 OK\r\nContent-Length: 100");
  }
  {
    SCOPED_TRACE("no host: nothing is sent and no variable changes");
    Call call;
    call.cookies = "a = 1";
    call.headers = "X: y";
    call.redirectUrl = "r";
    call.method = 1;
    call.postText = "p";
    EXPECT_EQ(call.Raw("http:///file/1"), "");
    EXPECT_EQ(call.cookies, "a = 1");
    EXPECT_EQ(call.headers, "X: y");
    EXPECT_EQ(call.redirectUrl, "r");
    EXPECT_EQ(call.postBytes, "");
  }
}

// A request in flight ends when its thread's token is cancelled, long before any limit.
TEST_F(TransportLimits, CancellationEndsARequestInFlight) {
  SetTransportTimeoutsForTesting(std::chrono::seconds(300), std::chrono::seconds(300));
  RawPeer peer(PeerReply{"", true});
  auto token = std::make_shared<CancelToken>();
  auto outcome = std::async(std::launch::async, [&] {
    ScopedCancelToken scope(token);
    HttpRequest request;
    request.url = peer.Base() + "/hang";
    const HttpOutcome transport = HttpTransfer(request).outcome;
    return std::make_pair(transport, PageRequest(peer.Base() + "/hang"));
  });
  while (peer.Requests().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  token->Cancel();
  ASSERT_EQ(outcome.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  const auto [transport, page] = outcome.get();
  EXPECT_EQ(transport, HttpOutcome::kCancelled);
  EXPECT_EQ(page, "");
}

// A large POST goes out at once: no Expect: 100-continue pause, the body whole.
TEST(PageRequestWire, LargePostHasNoExpectLine) {
  RawPeer peer(PeerReply{Ok()});
  Call call;
  call.method = 1;
  call.postText = std::string(2 * 1024 * 1024, 'q');
  EXPECT_EQ(call.Raw(peer.Base() + "/up"), "ok");
  const std::string request = peer.Requests().at(0);
  EXPECT_EQ(request.find("Expect:"), std::string::npos);
  EXPECT_EQ(request.find("Transfer-Encoding"), std::string::npos);
  const size_t headEnd = request.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos);
  EXPECT_TRUE(request.substr(headEnd + 4) == call.postText);
}
