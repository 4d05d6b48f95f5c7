#include "download/response_head.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kHeadEnd[] = "\r\n\r\n";
constexpr size_t kHeadEndLength = 4;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& text, size_t pos, size_t length, const char* name) {
  if (std::strlen(name) != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (LowerAscii(text[pos + i]) != LowerAscii(name[i])) return false;
  return true;
}

// The leading decimal digits from pos, held at the largest value a file size can take.
std::optional<int64_t> ReadDigits(const std::string& text, size_t& pos) {
  if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
  int64_t value = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    const int digit = text[pos] - '0';
    value = value > (INT64_MAX - digit) / 10 ? INT64_MAX : value * 10 + digit;
  }
  return value;
}

// The value of the first header line with that name, letter case ignored; the status
// line and the body are not header lines.
std::optional<std::string> HeaderValue(const std::string& head, const char* name) {
  size_t lineStart = head.find("\r\n");
  while (lineStart != std::string::npos) {
    lineStart += 2;
    const size_t lineEnd = head.find("\r\n", lineStart);
    if (lineEnd == std::string::npos || lineEnd == lineStart) return std::nullopt;
    const size_t colon = head.find(':', lineStart);
    if (colon < lineEnd && EqualsIgnoringCase(head, lineStart, colon - lineStart, name)) {
      size_t valueStart = colon + 1;
      while (valueStart < lineEnd && IsBlank(head[valueStart])) ++valueStart;
      return head.substr(valueStart, lineEnd - valueStart);
    }
    lineStart = lineEnd;
  }
  return std::nullopt;
}

int32_t StatusCode(const std::string& head) {
  static const std::string prefix = "HTTP/1.1 ";
  if (head.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t pos = prefix.size();
  if (head.size() < pos + 3 || !IsDigit(head[pos]) || !IsDigit(head[pos + 1]) ||
      !IsDigit(head[pos + 2]))
    return 0;
  if (head.size() > pos + 3 && IsDigit(head[pos + 3])) return 0;
  return (head[pos] - '0') * 100 + (head[pos + 1] - '0') * 10 + (head[pos + 2] - '0');
}

std::optional<int64_t> RangeStart(const std::string& value) {
  static const std::string unit = "bytes";
  if (!EqualsIgnoringCase(value, 0, std::min(value.size(), unit.size()), unit.c_str()))
    return std::nullopt;
  size_t pos = unit.size();
  if (pos >= value.size() || !IsBlank(value[pos])) return std::nullopt;
  while (pos < value.size() && IsBlank(value[pos])) ++pos;
  const std::optional<int64_t> start = ReadDigits(value, pos);
  if (!start || pos >= value.size() || value[pos] != '-') return std::nullopt;
  return start;
}

}  // namespace

ResponseHeadReader::State ResponseHeadReader::Feed(const std::string& block) {
  if (state_ != State::kIncomplete) return state_;
  // The empty line may straddle two blocks: look again at the last three bytes held.
  const size_t searchFrom = buffer_.size() >= kHeadEndLength - 1 ? buffer_.size() - 3 : 0;
  buffer_ += block;
  const size_t end = buffer_.find(kHeadEnd, searchFrom);
  if (end != std::string::npos && end + kHeadEndLength <= kMaxResponseHeadBytes) {
    headLength_ = end + kHeadEndLength;
    state_ = State::kComplete;
  } else if (end != std::string::npos || buffer_.size() >= kMaxResponseHeadBytes) {
    state_ = State::kTooLong;
    buffer_.clear();
  }
  return state_;
}

std::string ResponseHeadReader::Head() const {
  return buffer_.substr(0, headLength_);
}

std::string ResponseHeadReader::BodyStart() const {
  return state_ == State::kComplete ? buffer_.substr(headLength_) : std::string();
}

ResponseHead ParseResponseHead(const std::string& head) {
  ResponseHead parsed;
  parsed.status = StatusCode(head);
  if (const auto length = HeaderValue(head, "Content-Length")) {
    size_t pos = 0;
    const std::optional<int64_t> digits = ReadDigits(*length, pos);
    parsed.hasContentLength = digits.has_value();
    parsed.contentLength = digits.value_or(0);
  }
  if (const auto range = HeaderValue(head, "Content-Range")) parsed.rangeStart = RangeStart(*range);
  return parsed;
}
