#include "platform/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <vector>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes UTF-8 into code points; every byte that does not start a well-formed,
// shortest-form sequence of a scalar value becomes one U+FFFD.
std::u32string DecodeUtf8(const std::string& in) {
  std::u32string out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F, minimum = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F, minimum = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07, minimum = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      out.push_back(cp);
      i += len;
    } else {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

// Runs iconv over the whole input; onInvalid is called with the output when an input
// unit cannot be converted and returns how many input bytes to skip.
template <typename OnInvalid>
std::string Convert(const char* to, const char* from, const char* data, size_t size,
                    OnInvalid onInvalid) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  std::vector<char> buffer(16384);
  char* in = const_cast<char*>(data);
  size_t inLeft = size;
  while (inLeft > 0) {
    char* o = buffer.data();
    size_t oLeft = buffer.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer.data(), buffer.size() - oLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      const size_t skip = std::min(onInvalid(out), inLeft);
      in += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::string CodePointsToGbk(const std::u32string& cps) {
  return Convert("CP936", "UTF-32LE", reinterpret_cast<const char*>(cps.data()),
                 cps.size() * sizeof(char32_t), [](std::string& out) {
                   out.push_back('?');
                   return sizeof(char32_t);
                 });
}

}  // namespace

std::string Utf8ToGbkText(const std::string& utf8) {
  return CodePointsToGbk(DecodeUtf8(utf8));
}

std::string Utf8BytesToGbk(const std::string& utf8) {
  std::u32string cps = DecodeUtf8(utf8);
  const size_t zero = cps.find(U'\0');
  if (zero != std::u32string::npos) cps.resize(zero);
  return CodePointsToGbk(cps);
}

std::string GbkToUtf8(const std::string& gbk) {
  return Convert("UTF-8", "CP936", gbk.data(), gbk.size(), [](std::string& out) {
    out.append("\xEF\xBF\xBD");
    return size_t{1};
  });
}
