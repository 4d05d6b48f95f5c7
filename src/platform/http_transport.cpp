#include "platform/http_transport.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/cancel.h"

namespace {

constexpr long kDefaultConnectSeconds = 60;
constexpr long kDefaultStallSeconds = 60;
constexpr long kMaxRedirects = 30;

std::atomic<long> connectSeconds{kDefaultConnectSeconds};
std::atomic<long> stallSeconds{kDefaultStallSeconds};

// What the callbacks of one transfer collect.
struct TransferState {
  CancelTokenPtr cancelToken;
  std::string body;
  std::string headerBlock;      // header lines of the response being read, CR LF joined
  bool headerComplete = false;  // the empty line after the headers has been seen
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  state->body.append(data, size * count);
  return size * count;
}

// Called once per header line of every response, redirects and interim replies included;
// a status line starts a new block, so the block left at the end is the final response's.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.compare(0, 5, "HTTP/") == 0) {
    state->headerBlock = line;
    state->headerComplete = false;
  } else if (line.empty()) {
    state->headerComplete = true;
  } else if (!state->headerComplete) {  // lines after the block are trailers
    state->headerBlock += "\r\n";
    state->headerBlock += line;
  }
  return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* state = static_cast<TransferState*>(user);
  return state->cancelToken && state->cancelToken->IsCancelled() ? 1 : 0;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool Append(Slist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) return false;
  list.release();
  list.reset(grown);
  return true;
}

// The caller's lines, then two empty entries that keep libcurl from adding its own Accept
// and Expect: 100-continue lines (an entry "Name:" only removes libcurl's line).
bool BuildHeaderList(const HttpRequest& request, Slist& list) {
  for (const std::string& line : request.headerLines) {
    if (line.find('\0') != std::string::npos || !Append(list, line)) return false;
  }
  return Append(list, "Accept:") && Append(list, "Expect:");
}

bool IsHttps(const std::string& url) {
  return url.size() >= 5 && curl_strnequal(url.c_str(), "https", 5);
}

bool SetOptions(CURL* handle, const HttpRequest& request, curl_slist* headers,
                TransferState& state) {
  bool ok = true;
  auto set = [&](CURLoption option, auto value) {
    ok = ok && curl_easy_setopt(handle, option, value) == CURLE_OK;
  };
  set(CURLOPT_URL, request.url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_USERAGENT, request.agent.c_str());
  set(CURLOPT_HTTPHEADER, headers);
  set(CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  set(CURLOPT_MAXREDIRS, kMaxRedirects);
  // An empty proxy keeps libcurl from taking one from the environment.
  const bool viaProxy = !request.proxy.empty() && !IsHttps(request.url);
  const std::string proxy = viaProxy ? "http://" + request.proxy : std::string();
  set(CURLOPT_PROXY, proxy.c_str());
  if (request.post) {
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    set(CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  } else {
    set(CURLOPT_HTTPGET, 1L);
  }
  set(CURLOPT_CONNECTTIMEOUT, connectSeconds.load());
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, stallSeconds.load());
  set(CURLOPT_WRITEFUNCTION, OnBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&state));
  set(CURLOPT_HEADERFUNCTION, OnHeaderLine);
  set(CURLOPT_HEADERDATA, static_cast<void*>(&state));
  set(CURLOPT_XFERINFOFUNCTION, OnProgress);
  set(CURLOPT_XFERINFODATA, static_cast<void*>(&state));
  set(CURLOPT_NOPROGRESS, 0L);
  return ok;
}

// A kept handle must not point into the header list and the state of a call that is over.
// (curl_easy_reset would do it, but it also drops the handle's cookie engine settings.)
void ForgetCallState(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
}

HttpOutcome OutcomeOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return HttpOutcome::kCompleted;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return HttpOutcome::kNotStarted;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpOutcome::kTimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
      return HttpOutcome::kCancelled;
    default:
      return HttpOutcome::kFailed;
  }
}

}  // namespace

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse HttpTransferOn(CURL* handle, const HttpRequest& request) {
  HttpResponse response;
  if (!handle) return response;
  TransferState state;
  state.cancelToken = CurrentCancelToken();
  if (state.cancelToken && state.cancelToken->IsCancelled()) {
    response.outcome = HttpOutcome::kCancelled;
    return response;
  }
  Slist headers;
  const bool ready =
      BuildHeaderList(request, headers) && SetOptions(handle, request, headers.get(), state);
  if (ready) response.outcome = OutcomeOf(curl_easy_perform(handle));
  ForgetCallState(handle);
  if (!ready) return response;
  if (response.outcome == HttpOutcome::kCancelled || response.outcome == HttpOutcome::kNotStarted) {
    return response;
  }
  response.body = std::move(state.body);
  if (state.headerBlock.size() + 1 <= kRawHeaderLimit) {
    response.rawHeaders = std::move(state.headerBlock);
  }
  return response;
}

HttpResponse HttpTransfer(const HttpRequest& request) {
  EnsureCurlInitialised();
  CURL* handle = curl_easy_init();
  HttpResponse response = HttpTransferOn(handle, request);
  if (handle) curl_easy_cleanup(handle);
  return response;
}

void SetTransportTimeoutsForTesting(std::chrono::seconds connect, std::chrono::seconds stall) {
  connectSeconds = static_cast<long>(connect.count());
  stallSeconds = static_cast<long>(stall.count());
}

void ResetTransportTimeouts() {
  connectSeconds = kDefaultConnectSeconds;
  stallSeconds = kDefaultStallSeconds;
}
