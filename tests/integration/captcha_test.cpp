#include "resolve/captcha.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <future>
#include <thread>

#include "app/app_state.h"
#include "platform/cancel.h"
#include "platform/http_transport.h"
#include "platform/image_codec.h"
#include "raw_peer.h"

namespace {

// A 136x64 verification picture as the service sends it.
std::string MakeCaptchaPng() {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 136;
  image.height = 64;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(136 * 64 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 31 % 251);
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::string out(size, '\0');
  png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Bounded wait for something that another thread brings about.
template <typename Predicate>
bool Eventually(Predicate done) {
  for (int i = 0; i < 3000 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

const std::string kLoginBody = "file_id=10001&hash_key=k9&randcode=AB3";

class CaptchaFetch : public ::testing::Test {
 protected:
  void TearDown() override { ResetTransportTimeouts(); }
};

}  // namespace

// The image GET receives the session cookie, the login POST carries it, and each request
// goes out with its own two header lines.
TEST_F(CaptchaFetch, ImageCookieReachesTheLoginPost) {
  const std::string png = MakeCaptchaPng();
  RawPeer peer([&](const std::string& request, int) {
    if (StartsWith(request, "GET /randcodeV2.php ")) {
      return PeerReply{HttpReply(
          "200 OK", {"Content-Type: image/png", "Set-Cookie: PHPSESSID=s3ss10n; path=/"}, png)};
    }
    return PeerReply{HttpReply("200 OK", {}, std::string("welcome\0trailer", 15))};
  });
  App().fetchResult.Set("earlier reply");

  // A GET leaves the result as it was and keeps the picture as a JPEG.
  EXPECT_EQ(CaptchaFetcher(peer.Base() + "/randcodeV2.php", "get"), "earlier reply");
  EXPECT_EQ(App().fetchUrl.Get(), peer.Base() + "/randcodeV2.php");
  EXPECT_EQ(App().fetchMethod.Get(), "get");
  EXPECT_EQ(App().fetchBody.Get(), "");
  EXPECT_NE(App().fetchThreadId.load(), 0u);
  const RgbImage shown = DecodeJpeg(TakeCaptchaJpeg());
  EXPECT_EQ(shown.width, 136);
  EXPECT_EQ(shown.height, 64);
  EXPECT_EQ(TakeCaptchaJpeg(), "");

  // A POST's reply, cut at its zero byte, is the result.
  EXPECT_EQ(CaptchaFetcher(peer.Base() + "/guest_loginV2.php", "post", kLoginBody), "welcome");
  EXPECT_EQ(App().fetchResult.Get(), "welcome");
  EXPECT_EQ(App().fetchBody.Get(), kLoginBody);

  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(StartsWith(requests[0], "GET /randcodeV2.php HTTP/1.1\r\n")) << requests[0];
  EXPECT_TRUE(Has(requests[0], "\r\nContent-Type: text/XML\r\n"));
  EXPECT_TRUE(Has(requests[0], "\r\nAccept-Language: zh-cn\r\n"));
  EXPECT_FALSE(Has(requests[0], "Content-Length"));
  EXPECT_TRUE(StartsWith(requests[1], "POST /guest_loginV2.php HTTP/1.1\r\n")) << requests[1];
  EXPECT_TRUE(Has(requests[1], "\r\nCookie: PHPSESSID=s3ss10n\r\n")) << requests[1];
  EXPECT_TRUE(Has(requests[1], "\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
  EXPECT_TRUE(Has(requests[1], "\r\nAccept-Language: zh-cn\r\n"));
  EXPECT_FALSE(Has(requests[1], "Expect:"));
  EXPECT_TRUE(Has(requests[1], "\r\n\r\n" + kLoginBody));
}

// The method is compared in upper case; anything but POST is the image GET. A wait of 0
// counts as no wait given.
TEST_F(CaptchaFetch, MethodAndWaitSettings) {
  RawPeer peer([](const std::string&, int index) {
    return PeerReply{HttpReply("200 OK", {}, "reply " + std::to_string(index))};
  });
  struct Case {
    std::string method;
    std::optional<uint32_t> waitMs;
    const char* verb;
    uint32_t expectedWait;
  };
  const Case cases[] = {
      {"post", std::nullopt, "POST", kInfinite}, {"Post", 0u, "POST", kInfinite},
      {"POST", 30000u, "POST", 30000u},          {"get", std::nullopt, "GET", kInfinite},
      {"", std::nullopt, "GET", kInfinite},      {"PUT", 0u, "GET", kInfinite},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("method \"" + c.method + "\"");
    App().fetchResult.Set("unchanged");
    const std::string result = CaptchaFetcher(peer.Base() + "/x", c.method, "b=1", c.waitMs);
    const bool post = std::string(c.verb) == "POST";
    EXPECT_EQ(result, post ? "reply " + std::to_string(index) : "unchanged");
    EXPECT_EQ(App().fetchWaitMs.load(), c.expectedWait);
    const std::string request = peer.Requests().at(index);
    EXPECT_TRUE(StartsWith(request, std::string(c.verb) + " /x HTTP/1.1"));
    // A GET after a POST on the same session carries nothing of the POST.
    EXPECT_EQ(Has(request, "Content-Length: 3\r\n"), post) << request;
    EXPECT_EQ(Has(request, "\r\n\r\nb=1"), post);
    EXPECT_EQ(TakeCaptchaJpeg(), "");  // a reply that is no image gives no picture
    ++index;
  }
}

// Failed requests give the empty text or no picture.
TEST_F(CaptchaFetch, FailedRequests) {
  RawPeer closing(PeerReply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\ncut short"});
  struct Case {
    const char* name;
    std::string url;
  };
  const Case cases[] = {
      {"refused port", "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/p"},
      {"connection closed mid-reply", closing.Base() + "/p"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    App().fetchResult.Set("old");
    EXPECT_EQ(CaptchaFetcher(c.url, "post", "a=1"), "");
    EXPECT_EQ(CaptchaFetcher(c.url, "get"), "");
    EXPECT_EQ(TakeCaptchaJpeg(), "");
  }
}

// A wait that runs out returns the result as it stands; the fetch thread finishes alone and
// its reply still lands.
TEST_F(CaptchaFetch, WaitThatRunsOutLeavesTheFetchToFinish) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  RawPeer peer([released](const std::string&, int) {
    released.wait_for(std::chrono::seconds(30));
    return PeerReply{HttpReply("200 OK", {}, "late reply")};
  });
  App().fetchResult.Set("before");
  EXPECT_EQ(CaptchaFetcher(peer.Base() + "/guest_loginV2.php", "post", kLoginBody, 50u), "before");
  release.set_value();
  EXPECT_TRUE(Eventually([] { return App().fetchResult.Get() == "late reply"; }));
}

// Cancelling the caller ends its wait, and the fetch thread's transfer with it: the session
// is free for the next fetch at once, and the stale fetch stored nothing.
TEST_F(CaptchaFetch, CancellationReachesTheFetchThread) {
  SetTransportTimeoutsForTesting(std::chrono::seconds(300), std::chrono::seconds(300));
  RawPeer hanging(PeerReply{"", true});
  RawPeer answering(PeerReply{HttpReply("200 OK", {}, "not an image")});
  App().fetchResult.Set("untouched");
  auto token = std::make_shared<CancelToken>();
  auto stale = std::async(std::launch::async, [&] {
    ScopedCancelToken scope(token);
    return CaptchaFetcher(hanging.Base() + "/guest_loginV2.php", "post", kLoginBody);
  });
  ASSERT_TRUE(Eventually([&] { return !hanging.Requests().empty(); }));
  token->Cancel();
  ASSERT_EQ(stale.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_EQ(stale.get(), "untouched");

  // This GET runs only after the stale fetch thread has let go of the session.
  auto next = std::async(std::launch::async, [&] {
    return CaptchaFetcher(answering.Base() + "/randcodeV2.php", "get");
  });
  ASSERT_EQ(next.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_EQ(next.get(), "untouched");
  EXPECT_EQ(answering.Requests().size(), 1u);
}

// Two image GETs and a login POST from two threads never overlap on the session.
TEST_F(CaptchaFetch, FetchesFromTwoThreadsTakeTurns) {
  const std::string png = MakeCaptchaPng();
  RawPeer peer([&](const std::string& request, int) {
    PeerReply reply;
    reply.delayMs = 100;
    reply.bytes = StartsWith(request, "POST ") ? HttpReply("200 OK", {}, "posted")
                                               : HttpReply("200 OK", {}, png);
    return reply;
  });
  std::thread images([&] {
    CaptchaFetcher(peer.Base() + "/randcodeV2.php", "get");
    CaptchaFetcher(peer.Base() + "/randcodeV2.php", "get");
  });
  std::string posted;
  std::thread login(
      [&] { posted = CaptchaFetcher(peer.Base() + "/guest_loginV2.php", "post", kLoginBody); });
  images.join();
  login.join();
  EXPECT_EQ(posted, "posted");
  EXPECT_EQ(peer.Requests().size(), 3u);
  EXPECT_EQ(peer.MostAtOnce(), 1);
  EXPECT_EQ(DecodeJpeg(TakeCaptchaJpeg()).width, 136);
}
