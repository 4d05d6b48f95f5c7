// The pure helpers of the page client: the body conversion, the cookie list merge and
// the reading of header lines.
#include "app/text_utils.h"
#include "platform/codepage.h"
#include "web/page_request.h"

std::string Utf8ToGbk(const std::string& bytes) {
  return Utf8BytesToGbk(bytes);
}

std::string CookieName(const std::string& entry) {
  const int32_t equals = FindText(entry, "=");
  return TrimSpaces(equals == -1 ? entry : TextLeft(entry, equals - 1));
}

bool HasCookieNamed(const std::vector<std::string>& list, const std::string& name) {
  for (const std::string& entry : list) {
    if (CookieName(entry) == name) return true;
  }
  return false;
}

std::string HeaderValue(const std::string& line) {
  const int32_t colon = FindText(line, ":");
  if (colon == -1) return std::string();
  return TrimSpaces(TextMid(line, colon + 1, TextLength(line)));
}

// The response's cookies come first, in their order, then the old ones it did not set;
// an entry whose value is "deleted" is dropped.
std::string MergeCookies(std::string& cookies, std::string& newCookies) {
  cookies = RemoveSpaces(cookies);
  newCookies = RemoveSpaces(newCookies);
  std::vector<Text> merged = SplitText(newCookies, Text(";"));
  for (const Text& old : SplitText(cookies, Text(";"))) {
    if (!HasCookieNamed(merged, CookieName(old))) merged.push_back(old);
  }
  cookies.clear();
  for (const Text& entry : merged) {
    if (TextRight(entry, 8) != "=deleted") cookies += entry + "; ";
  }
  cookies = TextLeft(cookies, TextLength(cookies) - 2);
  return cookies;
}
