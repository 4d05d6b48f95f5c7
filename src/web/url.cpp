#include "web/url.h"

#include "app/text_utils.h"

namespace {

struct HostSpan {
  Text host;      // lower-cased, port included
  int32_t start;  // position of the host in the caller's address, 1-based
};

HostSpan FindHost(const Text& address) {
  Text copy = ToLowerCase(address);
  if (TextRight(copy, 1) != "/") copy += "/";
  Text scheme = "http://";
  int32_t prefixed = 0;  // bytes put in front of the caller's address
  if (TextLeft(copy, 8) == "https://") {
    scheme = "https://";
  } else if (FindText(copy, scheme) == -1) {
    copy = scheme + copy;
    prefixed = TextLength(scheme);
  }
  const int32_t schemeAt = FindText(copy, scheme, std::nullopt, true);
  return {TextBetween(copy, scheme, "/"), schemeAt + TextLength(scheme) - prefixed};
}

}  // namespace

std::string UrlHost(const std::string& address, bool keepPort) {
  Text host = FindHost(address).host;
  const int32_t colon = FindText(host, ":");
  if (!keepPort && colon != -1) host = TextLeft(host, colon - 1);
  return host;
}

int32_t UrlPort(const std::string& address) {
  const Text host = UrlHost(address, true);
  const int32_t colon = FindTextReverse(host, ":");
  if (colon != -1) return TextToInt(TextMid(host, colon + 1, TextLength(host)));
  return TextLeft(ToLowerCase(address), 5) == "https" ? 443 : 80;
}

std::string UrlPath(const std::string& address) {
  // The host is looked for where the scheme ends, so a host such as "h" or "tp" is not
  // mistaken for a piece of "http://".
  const int32_t slash = FindText(address, "/", FindHost(address).start);
  if (slash == -1) return "/";
  return TextMid(address, slash, TextLength(address));
}
