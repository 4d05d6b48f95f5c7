// The page client: one request per call on a handle of its own, the program's default header
// lines, the caller's cookie text as the only cookie store.
#include "web/page_request.h"

#include <optional>

#include "app/text_utils.h"
#include "platform/http_transport.h"
#include "web/url.h"

namespace {

const char kCrLf[] = "\r\n";

// The agent named by the caller's header lines, else the program's own.
std::string AgentFor(const std::string& headers) {
  if (FindText(headers, "User-Agent:", std::nullopt, true) == -1) return kDefaultUserAgent;
  Text agent = TextBetween(headers, "User-Agent:", kCrLf);
  TrimBlanks(agent);
  if (agent.empty()) agent = HeaderValue(headers);
  // The agent becomes a header line of its own, so it must not carry line breaks.
  return agent.substr(0, agent.find_first_of("\r\n"));
}

// The caller's lines completed with the default lines, each search on the block so far.
std::string CompleteHeaders(std::string block, const std::string& url, const std::string& cookies) {
  if (FindText(block, "Referer:") == -1) {
    block += (block.empty() ? "Referer: " : "\r\nReferer: ") + url;
  }
  if (FindText(block, "Accept:") == -1) block += "\r\nAccept: */*";
  if (FindText(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
  if (FindText(block, "Content-Type:") == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (!cookies.empty()) block += "\r\nCookie: " + cookies;
  return block;
}

bool IsHostByte(unsigned char c) {
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

// The address handed to the transport: host and port as the address parsing reads them, and
// TLS when the address begins with "https". Empty when no connection can be made to it.
std::string TargetAddress(const std::string& url) {
  const std::string host = UrlHost(url);
  if (host.empty()) return std::string();
  for (unsigned char c : host) {
    if (!IsHostByte(c)) return std::string();
  }
  const bool secure = TextLeft(ToLowerCase(url), 5) == "https";
  int32_t port = UrlPort(url);
  if (port == 0) port = secure ? 443 : 80;  // no number: the service's own port
  if (port < 0 || port > 65535) return std::string();
  return (secure ? "https://" : "http://") + host + ":" + std::to_string(port) + UrlPath(url);
}

// The cookies and the redirect address that the response's header lines carry.
void ReadResponseHeaders(const std::string& rawHeaders, std::string& newCookies,
                         std::string& redirectUrl) {
  newCookies.clear();
  for (const Text& line : SplitText(rawHeaders, Text(kCrLf))) {
    if (FindText(line, "Location:", std::nullopt, false) != -1) redirectUrl = HeaderValue(line);
    if (FindText(line, "Set-Cookie", std::nullopt, false) != -1) {
      Text entry = TextBetween(line, "Set-Cookie:", ";");
      newCookies += TrimBlanks(entry) + "; ";
    }
  }
  const int32_t length = TextLength(newCookies);
  newCookies = length < 3 ? std::string() : TextLeft(newCookies, length - 2);
}

// A caller variable, or a stand-in that starts empty when the caller passed none.
std::string& Slot(std::string* given, std::string& standIn) {
  return given ? *given : standIn;
}

}  // namespace

std::string PageRequestRaw(const std::string& url, int32_t method, const std::string& postText,
                           std::string* cookies, std::string* newCookies, std::string* headers,
                           std::string* redirectUrl, bool noRedirect, std::string* postBytes,
                           const std::string& proxy, std::string* rawHeaders) {
  std::string standIns[6];
  std::string& cookieText = Slot(cookies, standIns[0]);
  std::string& newCookieText = Slot(newCookies, standIns[1]);
  std::string& headerText = Slot(headers, standIns[2]);
  std::string& redirectText = Slot(redirectUrl, standIns[3]);
  std::string& postData = Slot(postBytes, standIns[4]);
  std::string& rawHeaderText = Slot(rawHeaders, standIns[5]);

  HttpRequest request;
  request.url = TargetAddress(url);
  if (request.url.empty()) return std::string();
  request.post = method == 1;
  request.agent = AgentFor(headerText);
  request.followRedirects = !noRedirect;
  request.proxy = proxy;
  const std::string block = CompleteHeaders(headerText, url, cookieText);
  request.headerLines = SplitText(block, Text(kCrLf));
  if (request.post) request.body = postData.empty() ? postText : postData;

  HttpResponse response = HttpTransfer(request);
  if (response.outcome == HttpOutcome::kNotStarted) return std::string();

  headerText = block;
  if (request.post) postData = request.body;
  rawHeaderText = response.rawHeaders;
  ReadResponseHeaders(rawHeaderText, newCookieText, redirectText);
  if (redirectText.empty()) redirectText = rawHeaderText;
  MergeCookies(cookieText, newCookieText);
  return std::move(response.body);
}

std::string PageRequest(const std::string& url, int32_t method, const std::string& postText,
                        std::string* cookies, std::string* newCookies, std::string* headers,
                        std::string* redirectUrl, bool noRedirect, std::string* postBytes,
                        const std::string& proxy, std::string* rawHeaders) {
  return Utf8ToGbk(PageRequestRaw(url, method, postText, cookies, newCookies, headers, redirectUrl,
                                  noRedirect, postBytes, proxy, rawHeaders));
}
