#include "resolve/captcha.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "platform/cancel.h"
#include "platform/image_codec.h"
#include "platform/xml_http.h"

namespace {

constexpr auto kCancelPollInterval = std::chrono::milliseconds(20);

// What the fetch threads share; made once and never released, since a fetch thread that its
// caller stopped waiting for may still run while the program ends.
struct FetchShared {
  std::mutex order;  // one fetch thread at a time, so replies are stored in request order
  std::mutex jpegMutex;
  Bytes jpeg;
};

FetchShared& Shared() {
  static FetchShared* shared = new FetchShared();
  return *shared;
}

struct FetchOrder {
  Text url;
  Text method;
  Text body;
};

// Tells the waiting caller that the fetch thread is done.
struct Completion {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

// The reply taken as text: it ends at its first zero byte.
Text CutAtZero(const Bytes& bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

HttpRequest RequestFor(const FetchOrder& order, bool post) {
  HttpRequest request;
  request.url = order.url;
  request.post = post;
  request.body = order.body;
  request.agent = kDefaultUserAgent;
  request.headerLines = {
      "Accept: */*",
      post ? "Content-Type: application/x-www-form-urlencoded" : "Content-Type: text/XML",
      "Accept-Language: zh-cn"};
  return request;
}

void RunFetch(const FetchOrder& order) {
  std::lock_guard<std::mutex> turn(Shared().order);
  if (CurrentThreadCancelled()) return;
  XmlHttp* session = XmlHttp::Instance();
  if (!session) return;
  const bool post = ToUpperCase(order.method) == "POST";
  const HttpResponse response = session->Send(RequestFor(order, post));
  if (response.outcome == HttpOutcome::kCancelled) return;  // a superseded caller keeps nothing
  const bool arrived = response.outcome == HttpOutcome::kCompleted;
  if (post) {
    App().fetchResult.Set(arrived ? CutAtZero(response.body) : Text());
  } else {
    Bytes jpeg = arrived ? ConvertToJpeg(response.body) : Bytes();
    std::lock_guard<std::mutex> lock(Shared().jpegMutex);
    Shared().jpeg.swap(jpeg);
  }
}

// Waits for the fetch thread, for at most waitMs unless that is kInfinite, and no longer
// than the calling thread's cancel token allows.
void AwaitFetch(Completion& completion, uint32_t waitMs) {
  const CancelTokenPtr token = CurrentCancelToken();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  std::unique_lock<std::mutex> lock(completion.mutex);
  while (!completion.finished) {
    if (token && token->IsCancelled()) return;
    auto until = std::chrono::steady_clock::now() + kCancelPollInterval;
    if (waitMs != kInfinite) {
      if (std::chrono::steady_clock::now() >= deadline) return;
      until = std::min(until, deadline);
    }
    completion.done.wait_until(lock, until);
  }
}

}  // namespace

Text CaptchaFetcher(const Text& url, const Text& method, std::optional<Text> body,
                    std::optional<uint32_t> waitMs) {
  AppState& app = App();
  app.fetchUrl.Set(url);
  app.fetchMethod.Set(method);
  app.fetchBody.Set(body.value_or(Text()));
  app.fetchWaitMs = waitMs.value_or(0) != 0 ? *waitMs : kInfinite;

  // The thread takes its own copies, so a later fetch that rewrites the fields, or a caller
  // that stopped waiting, changes nothing under it.
  FetchOrder order{url, method, body.value_or(Text())};
  auto completion = std::make_shared<Completion>();
  CancelTokenPtr token = CurrentCancelToken();
  try {
    std::thread fetch([order = std::move(order), completion, token] {
      ScopedCancelToken adopted(token);
      RunFetch(order);
      std::lock_guard<std::mutex> lock(completion->mutex);
      completion->finished = true;
      completion->done.notify_all();
    });
    app.fetchThreadId = std::hash<std::thread::id>()(fetch.get_id());
    fetch.detach();
  } catch (const std::system_error&) {
    return app.fetchResult.Get();  // no thread: nothing was fetched
  }
  AwaitFetch(*completion, app.fetchWaitMs.load());
  return app.fetchResult.Get();
}

Bytes TakeCaptchaJpeg() {
  Bytes jpeg;
  std::lock_guard<std::mutex> lock(Shared().jpegMutex);
  Shared().jpeg.swap(jpeg);
  return jpeg;
}
