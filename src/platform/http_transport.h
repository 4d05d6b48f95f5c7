// HTTP on libcurl: one blocking transfer that sends exactly the request line, the agent and
// the header lines it is given, and hands back the body and the final response's header block.
// Every transfer has time limits and ends early when the calling thread's cancel token is
// cancelled.
#pragma once

#include <chrono>
#include <string>
#include <vector>

using CURL = void;

// The agent of every request whose header lines name none.
constexpr char kDefaultUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Zorb; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

struct HttpRequest {
  std::string url;    // absolute http or https address
  bool post = false;  // POST with `body`, else GET without a body
  std::string body;
  std::string agent;                     // the User-Agent line, unless a header line names one
  std::vector<std::string> headerLines;  // sent in this order, after the Host line
  bool followRedirects = true;           // http to https included
  std::string proxy;                     // host:port of an http proxy for http addresses
};

enum class HttpOutcome {
  kCompleted,   // the whole response arrived
  kNotStarted,  // the request could not be set up (no handle, an address libcurl refuses)
  kFailed,      // no connection, or the connection broke; body and headers hold what arrived
  kTimedOut,    // no connection in time, or no data for too long
  kCancelled,   // the calling thread's cancel token was cancelled; nothing is kept
};

// The longest raw header block handed back, counted with a terminating zero; a longer block
// is not returned at all.
constexpr size_t kRawHeaderLimit = 5000;

struct HttpResponse {
  HttpOutcome outcome = HttpOutcome::kNotStarted;
  std::string body;
  // The final response's status line and header lines joined by CR LF, without the empty
  // line that ends them; empty when the block does not fit into kRawHeaderLimit.
  std::string rawHeaders;
};

// One transfer on a handle of its own, cleaned up before returning.
HttpResponse HttpTransfer(const HttpRequest& request);

// One transfer on a handle the caller keeps between transfers. Every option that a transfer
// uses is set anew for this one; whatever else the caller set on the handle (its cookie
// engine) and its live connections carry over.
HttpResponse HttpTransferOn(CURL* handle, const HttpRequest& request);

// libcurl's process-wide initialisation, done once; safe from any thread.
void EnsureCurlInitialised();

// The limits default to 60 s for a connect and 60 s of silence while a response is due.
void SetTransportTimeoutsForTesting(std::chrono::seconds connect, std::chrono::seconds stall);
void ResetTransportTimeouts();
