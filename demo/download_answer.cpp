#include "download_answer.h"

#include <charconv>

namespace {

const char* ReasonOf(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 302:
      return "Found";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 416:
      return "Range Not Satisfiable";
    default:
      return "Unknown";
  }
}

std::string StatusLine(const char* version, int status) {
  return std::string(version) + " " + std::to_string(status) + " " + ReasonOf(status) + "\r\n";
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool ReadDecimal(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<ByteRange> ParseByteRange(const std::string& value) {
  const std::string text = Trimmed(value);
  const std::string unit = "bytes=";
  if (text.compare(0, unit.size(), unit) != 0) return std::nullopt;
  const std::string rangeText = text.substr(unit.size());
  const size_t dash = rangeText.find('-');
  if (dash == std::string::npos || rangeText.find(',') != std::string::npos) return std::nullopt;
  ByteRange range;
  if (!ReadDecimal(Trimmed(rangeText.substr(0, dash)), range.first)) return std::nullopt;
  const std::string lastText = Trimmed(rangeText.substr(dash + 1));
  if (!lastText.empty()) {
    uint64_t last = 0;
    if (!ReadDecimal(lastText, last) || last < range.first) return std::nullopt;
    range.last = last;
  }
  return range;
}

DownloadAnswer PlanDownload(const DemoFile& file, const std::string& rangeValue,
                            const DownloadFault& fault, const std::string& redirectTo) {
  using Kind = DownloadFault::Kind;
  DownloadAnswer answer;
  const char* version = fault.kind == Kind::kHttp10 ? "HTTP/1.0" : "HTTP/1.1";
  const std::string common = "Server: qingshan-demo\r\nConnection: close\r\n";

  if (fault.kind == Kind::kRedirect) {
    answer.status = 302;
    answer.head = StatusLine(version, 302) + common + "Location: " + redirectTo +
                  "\r\nContent-Length: 0\r\n\r\n";
    return answer;
  }

  std::optional<ByteRange> range;
  if (!rangeValue.empty() && fault.kind != Kind::kIgnoreRange) range = ParseByteRange(rangeValue);
  const std::string size = std::to_string(file.bytes);
  if (range && range->first >= file.bytes) {
    answer.status = 416;
    answer.head = StatusLine(version, 416) + common + "Content-Range: bytes */" + size +
                  "\r\nContent-Length: 0\r\n\r\n";
    return answer;
  }

  answer.start = range ? range->first : 0;
  const uint64_t last =
      range && range->last && *range->last < file.bytes ? *range->last : file.bytes - 1;
  answer.count = file.bytes == 0 ? 0 : last - answer.start + 1;
  answer.status = range ? 206 : 200;

  const uint64_t announced = fault.kind == Kind::kLength ? fault.length : answer.count;
  std::string head = StatusLine(version, answer.status) + common;
  head += "Content-Type: application/octet-stream\r\n";
  head += "Content-Length: " + std::to_string(announced) + "\r\n";
  if (range) {
    head += "Content-Range: bytes " + std::to_string(answer.start) + "-" + std::to_string(last) +
            "/" + size + "\r\n";
  }
  head += "Accept-Ranges: bytes\r\n";
  head += "Content-Disposition: attachment; filename*=UTF-8''" + PercentEncode(file.name) + "\r\n";
  head += "\r\n";
  answer.head = head;

  if (fault.kind == Kind::kClose || fault.kind == Kind::kStall) {
    if (fault.bytes < answer.count) answer.count = fault.bytes;
    answer.stallSeconds = fault.kind == Kind::kStall ? fault.seconds : 0;
  }
  answer.splitHead = fault.kind == Kind::kSplitHead;
  return answer;
}

std::string ErrorAnswerHead(int status, const std::string& body) {
  return StatusLine("HTTP/1.1", status) +
         "Server: qingshan-demo\r\nConnection: close\r\n"
         "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}
