#include "app/text_utils.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

// A text ends at its first zero byte, as the zero-terminated texts of the program do.
std::string_view Chars(const Text& text) {
  const void* zero = std::memchr(text.data(), '\0', text.size());
  if (zero == nullptr) return std::string_view(text);
  return std::string_view(text.data(), static_cast<const char*>(zero) - text.data());
}

int32_t Length32(std::string_view s) {
  return static_cast<int32_t>(s.size());
}

bool IsLead(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

// Width of the character that starts at pos: 2 at a lead byte with a byte after it,
// 0 at a lead byte that is the last byte (the walk ends there), 1 otherwise.
size_t CharWidth(std::string_view s, size_t pos) {
  if (!IsLead(s[pos])) return 1;
  return pos + 1 < s.size() ? 2 : 0;
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Compares sought with the bytes at text[pos]; with ignoreCase only single-byte ASCII
// letters are folded, the bytes of a double-byte character must match exactly.
bool MatchesAt(std::string_view text, size_t pos, std::string_view sought, bool ignoreCase) {
  if (!ignoreCase) return text.compare(pos, sought.size(), sought) == 0;
  for (size_t j = 0; j < sought.size(); ++j) {
    const char a = text[pos + j];
    const char b = sought[j];
    if (IsLead(b)) {
      if (a != b) return false;
      if (j + 1 < sought.size()) {
        ++j;
        if (text[pos + j] != sought[j]) return false;
      }
      continue;
    }
    if (FoldAscii(a) != FoldAscii(b)) return false;
  }
  return true;
}

bool IsFullWidthSpaceAt(std::string_view s, size_t pos) {
  return pos + 1 < s.size() && static_cast<unsigned char>(s[pos]) == 0xA1 &&
         static_cast<unsigned char>(s[pos + 1]) == 0xA1;
}

// Width of the ASCII or full-width space at pos, 0 when no space stands there.
size_t SpaceWidthAt(std::string_view s, size_t pos) {
  if (s[pos] == ' ') return 1;
  return IsFullWidthSpaceAt(s, pos) ? 2 : 0;
}

// Turns the full-width forms of ASCII characters into ASCII before a number is read.
std::string FoldFullWidth(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t width = CharWidth(s, pos);
    if (width != 2) {
      out.push_back(s[pos++]);
      continue;
    }
    const auto lead = static_cast<unsigned char>(s[pos]);
    const auto trail = static_cast<unsigned char>(s[pos + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out.push_back(static_cast<char>(trail - 0x80));
    } else if (lead == 0xA1 && trail == 0xA1) {
      out.push_back(' ');
    } else if (lead == 0xA1 && trail == 0xAB) {
      out.push_back('~');
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out.push_back('*');
    } else {
      out.append(s.substr(pos, 2));
    }
    pos += 2;
  }
  return out;
}

bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The "C" locale, so that numbers read the same whatever locale the front end sets.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

template <typename Integer>
Text IntegerToText(Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

template <typename Real>
Text RealToText(Real value, int precision) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  return Text(buffer, result.ptr);
}

// "#引号" (GBK bytes) stands for a double quote inside the markers of TextBetween.
const Text kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a Base64 character, -1 for a byte outside the alphabet; the zero byte that
// stands beyond the end of the text counts as 0, like "A".
int Base64Value(uint8_t code) {
  if (code == 0) return 0;
  const char* hit = std::strchr(kBase64Alphabet, static_cast<char>(code));
  return hit == nullptr ? -1 : static_cast<int>(hit - kBase64Alphabet);
}

}  // namespace

// ---- The program's own helpers ----

Text TextBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                 std::optional<int32_t> startPos, std::optional<bool> caseSensitive) {
  const Text left =
      ReplaceText(leftMarker, kQuotePlaceholder, Text("\""), std::nullopt, std::nullopt, true);
  const Text right =
      ReplaceText(rightMarker, kQuotePlaceholder, Text("\""), std::nullopt, std::nullopt, true);
  const bool ignoreCase = !caseSensitive.value_or(false);
  int32_t p1 = FindText(source, left, startPos.value_or(0), ignoreCase);
  if (p1 != -1) p1 += TextLength(left);
  const int32_t p2 = FindText(source, right, p1, ignoreCase);
  if (p1 == -1 || p2 == -1) return Text();
  return TextMid(source, p1, p2 - p1);
}

Text TrimBlanks(Text& text) {
  const std::string_view s = Chars(text);
  const size_t first = s.find_first_not_of(' ');
  text = first == std::string_view::npos
             ? Text()
             : Text(s.substr(first, s.find_last_not_of(' ') + 1 - first));
  return text;
}

Bytes Base64DecodeText(Text& text) {
  text = ReplaceText(RemoveSpaces(text), Text("\r\n"));
  const int32_t length = TextLength(text);
  const int32_t groups = (length + 3) / 4;
  Bytes result;
  result.reserve(static_cast<size_t>(groups) * 3);
  uint8_t slot[4] = {0, 0, 0, 0};  // kept from group to group
  int stoppedAt = 0;               // place (1 to 4) where the last group stopped, 0 if none
  for (int32_t group = 0; group < groups; ++group) {
    stoppedAt = 0;
    for (int k = 0; k < 4; ++k) {
      const auto code = static_cast<uint8_t>(CharCode(text, 4 * group + k + 1));
      slot[k] = code;
      const int value = Base64Value(code);
      if (value < 0) {
        stoppedAt = k + 1;
        break;
      }
      slot[k] = static_cast<uint8_t>(value);
    }
    result.push_back(static_cast<char>((slot[0] * 4) | (slot[1] / 16)));
    result.push_back(static_cast<char>((slot[1] * 16) | (slot[2] / 4)));
    result.push_back(static_cast<char>((slot[2] * 64) | slot[3]));
  }
  // A stop at place k leaves k - 1 characters, worth k - 2 bytes; a stop at the first
  // place of the last group leaves nothing of it.
  if (stoppedAt > 0) result.resize(result.size() - std::min(5 - stoppedAt, 3));
  return result;
}

// ---- Common operations ----

int32_t TextLength(const Text& text) {
  return Length32(Chars(text));
}

Text TextLeft(const Text& text, int32_t n) {
  if (n <= 0) return Text();
  return Text(Chars(text).substr(0, static_cast<size_t>(n)));
}

Text TextRight(const Text& text, int32_t n) {
  if (n <= 0) return Text();
  const std::string_view s = Chars(text);
  const size_t take = std::min(s.size(), static_cast<size_t>(n));
  return Text(s.substr(s.size() - take));
}

Text TextMid(const Text& text, int32_t start, int32_t n) {
  const std::string_view s = Chars(text);
  if (start < 1 || start > Length32(s) || n <= 0) return Text();
  return Text(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(n)));
}

int32_t FindText(const Text& text, const Text& sought, std::optional<int32_t> start,
                 std::optional<bool> ignoreCase) {
  const std::string_view s = Chars(text);
  const std::string_view want = Chars(sought);
  const size_t from = start.value_or(0) < 1 ? 0 : static_cast<size_t>(*start - 1);
  if (from >= s.size()) return -1;
  if (want.empty()) return 1;
  const bool fold = ignoreCase.value_or(false);
  size_t pos = from;
  while (pos + want.size() <= s.size()) {
    if (MatchesAt(s, pos, want, fold)) return static_cast<int32_t>(pos + 1);
    const size_t width = CharWidth(s, pos);
    if (width == 0) break;
    pos += width;
  }
  return -1;
}

int32_t FindTextReverse(const Text& text, const Text& sought, std::optional<int32_t> start,
                        std::optional<bool> ignoreCase) {
  std::string_view s = Chars(text);
  if (start.has_value()) {
    if (*start - 1 <= 0) return -1;
    s = s.substr(0, static_cast<size_t>(*start - 1));
  }
  const std::string_view want = Chars(sought);
  if (s.empty()) return -1;
  if (want.empty()) return 1;
  const bool fold = ignoreCase.value_or(false);
  int32_t last = -1;
  size_t pos = 0;
  while (pos + want.size() <= s.size()) {
    if (MatchesAt(s, pos, want, fold)) last = static_cast<int32_t>(pos + 1);
    const size_t width = CharWidth(s, pos);
    if (width == 0) break;
    pos += width;
  }
  return last;
}

Text ReplaceText(const Text& text, const Text& sought, std::optional<Text> replacement,
                 std::optional<int32_t> start, std::optional<int32_t> count,
                 std::optional<bool> caseSensitive) {
  const std::string_view s = Chars(text);
  const std::string_view want = Chars(sought);
  const size_t from = static_cast<size_t>(std::max(start.value_or(1), 1) - 1);
  if (s.empty() || want.empty() || from >= s.size() || count == 0) return Text(s);
  const std::string_view with = replacement ? Chars(*replacement) : std::string_view();
  const bool fold = !caseSensitive.value_or(false);
  Text out(s.substr(0, from));
  out.reserve(s.size());
  size_t pos = from;
  int32_t made = 0;
  while (pos + want.size() <= s.size()) {
    if (MatchesAt(s, pos, want, fold)) {
      out.append(with);
      pos += want.size();
      if (++made == count) break;
      continue;
    }
    const size_t width = CharWidth(s, pos);
    if (width == 0) {  // a lone lead byte at the end is dropped
      pos = s.size();
      break;
    }
    out.append(s.substr(pos, width));
    pos += width;
  }
  out.append(s.substr(pos));
  return out;
}

std::vector<Text> SplitText(const Text& text, std::optional<Text> separator,
                            std::optional<int32_t> maxCount) {
  std::vector<Text> pieces;
  const std::string_view s = Chars(text);
  const size_t limit = maxCount ? static_cast<size_t>(std::max(*maxCount, 0)) : SIZE_MAX;
  if (s.empty() || limit == 0) return pieces;
  const Text sepText = separator.value_or(Text(","));
  const std::string_view sep = Chars(sepText);
  if (sep.empty()) {
    pieces.emplace_back(s);
    return pieces;
  }
  size_t pieceStart = 0;
  size_t pos = 0;
  while (pos + sep.size() <= s.size()) {
    if (s.compare(pos, sep.size(), sep) == 0) {
      pieces.emplace_back(s.substr(pieceStart, pos - pieceStart));
      if (pieces.size() == limit) return pieces;
      pos += sep.size();
      pieceStart = pos;
      continue;
    }
    const size_t width = CharWidth(s, pos);
    if (width == 0) break;
    pos += width;
  }
  if (pieceStart < s.size() && pieces.size() < limit) pieces.emplace_back(s.substr(pieceStart));
  return pieces;
}

Text RemoveSpaces(const Text& text) {
  const std::string_view s = Chars(text);
  Text out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t space = SpaceWidthAt(s, pos);
    if (space > 0) {
      pos += space;
      continue;
    }
    const size_t width = CharWidth(s, pos);
    if (width == 0) break;  // a lone lead byte at the end is dropped
    out.append(s.substr(pos, width));
    pos += width;
  }
  return out;
}

Text TrimSpaces(const Text& text) {
  const std::string_view s = Chars(text);
  size_t pos = 0;
  size_t first = s.size();  // start of the first character that is not a space
  size_t end = 0;           // end of the last character that is not a space
  while (pos < s.size()) {
    const size_t space = SpaceWidthAt(s, pos);
    if (space > 0) {
      pos += space;
      continue;
    }
    const size_t width = std::max<size_t>(CharWidth(s, pos), 1);
    first = std::min(first, pos);
    pos += width;
    end = pos;
  }
  if (first >= end) return Text();
  return Text(s.substr(first, end - first));
}

Text ToLowerCase(const Text& text) {
  const std::string_view s = Chars(text);
  Text out(s);
  for (size_t pos = 0; pos < out.size(); ++pos) {
    if (IsLead(out[pos])) {
      ++pos;  // the trail byte of a double-byte character stays as it is
    } else {
      out[pos] = FoldAscii(out[pos]);
    }
  }
  return out;
}

Text ToUpperCase(const Text& text) {
  const std::string_view s = Chars(text);
  Text out(s);
  for (size_t pos = 0; pos < out.size(); ++pos) {
    if (IsLead(out[pos])) {
      ++pos;
    } else if (out[pos] >= 'a' && out[pos] <= 'z') {
      out[pos] = static_cast<char>(out[pos] - 32);
    }
  }
  return out;
}

double TextToNumber(const Text& text) {
  const std::string folded = FoldFullWidth(Chars(text));
  return strtod_l(folded.c_str(), nullptr, CLocale());
}

int32_t TextToInt(const Text& text) {
  const std::string folded = FoldFullWidth(Chars(text));
  size_t pos = 0;
  while (pos < folded.size() && IsCSpace(folded[pos])) ++pos;
  bool negative = false;
  if (pos < folded.size() && (folded[pos] == '+' || folded[pos] == '-')) {
    negative = folded[pos] == '-';
    ++pos;
  }
  // Values beyond the 32-bit range saturate instead of overflowing.
  int64_t value = 0;
  for (; pos < folded.size() && folded[pos] >= '0' && folded[pos] <= '9'; ++pos) {
    value = std::min<int64_t>(value * 10 + (folded[pos] - '0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int16_t TextToShort(const Text& text) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(TextToInt(text))));
}

Text NumberToText(int8_t value) {
  return IntegerToText(static_cast<int32_t>(value));
}
Text NumberToText(int16_t value) {
  return IntegerToText(value);
}
Text NumberToText(int32_t value) {
  return IntegerToText(value);
}
Text NumberToText(int64_t value) {
  return IntegerToText(value);
}
Text NumberToText(float value) {
  return RealToText(value, 6);
}
Text NumberToText(double value) {
  return RealToText(value, 13);
}

Text BytesToText(const Bytes& bytes) {
  return Text(Chars(bytes));
}

Bytes TextToBytes(const Text& text) {
  return Bytes(Chars(text));
}

int32_t BytesLength(const Bytes& bytes) {
  return static_cast<int32_t>(bytes.size());
}

Bytes BytesLeft(const Bytes& bytes, int32_t n) {
  if (n < 0) return Bytes();
  return bytes.substr(0, static_cast<size_t>(n));
}

Bytes BytesRight(const Bytes& bytes, int32_t n) {
  if (n < 0) return Bytes();
  const size_t take = std::min(bytes.size(), static_cast<size_t>(n));
  return bytes.substr(bytes.size() - take);
}

Bytes BytesMid(const Bytes& bytes, int32_t start, int32_t n) {
  const size_t from = static_cast<size_t>(std::max(start, 1) - 1);
  if (from >= bytes.size()) return Bytes();
  return bytes.substr(from, static_cast<size_t>(std::max(n, 0)));
}

int32_t FindBytes(const Bytes& bytes, const Bytes& sought, std::optional<int32_t> start) {
  const size_t from = static_cast<size_t>(std::max(start.value_or(1), 1) - 1);
  if (sought.empty() || from >= bytes.size()) return -1;
  const size_t hit = bytes.find(sought, from);
  return hit == Bytes::npos ? -1 : static_cast<int32_t>(hit + 1);
}

int32_t CharCode(const Text& text, std::optional<int32_t> position) {
  const std::string_view s = Chars(text);
  const int32_t at = position.value_or(1);
  if (at < 1 || at > Length32(s)) return 0;
  return static_cast<int8_t>(s[static_cast<size_t>(at - 1)]);
}

Text CharFromCode(uint8_t code) {
  if (code == 0) return Text();
  return Text(1, static_cast<char>(code));
}

Text BlankText(int32_t n) {
  return n < 1 ? Text() : Text(static_cast<size_t>(n), ' ');
}

Bytes BlankBytes(int32_t n) {
  return n <= 0 ? Bytes() : Bytes(static_cast<size_t>(n), '\0');
}
