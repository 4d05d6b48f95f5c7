#include "download/download_address.h"

#include <vector>

#include "platform/files.h"

namespace {

constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";

bool IsLeadByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}
bool IsControlOrSpace(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F;
}

// Position just after the last "\" or "/" that is not the second byte of a character.
size_t FileNameStart(const Text& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLeadByte(path[i])) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      start = i + 1;
    }
  }
  return start;
}

}  // namespace

DownloadAddress ParseDownloadAddress(const Text& address) {
  DownloadAddress parsed;
  const std::vector<Text> pieces = SplitText(address, Text("/"));
  const Text authority = pieces.size() >= 3 ? pieces[2] : Text();
  if (FindText(authority, ":") == -1) {
    parsed.host = authority;
    parsed.hostValue = authority;
  } else {
    const std::vector<Text> parts = SplitText(authority, Text(":"));
    parsed.host = parts.empty() ? Text() : parts[0];
    parsed.port = static_cast<uint16_t>(TextToShort(parts.size() >= 2 ? parts[1] : Text()));
    parsed.hostValue = parsed.host + ":" + NumberToText(static_cast<int32_t>(parsed.port));
  }
  // The prefix goes only when it is written exactly so; otherwise the whole address is
  // the path, as the server will then see it.
  const Text path = ReplaceText(address, "http://" + parsed.hostValue + "/", Text(), 1, 1, true);
  parsed.requestPath = EncodeRequestPath(path);
  return parsed;
}

Text EncodeRequestPath(const Text& path) {
  static const char kHex[] = "0123456789ABCDEF";
  Text encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    if (IsControlOrSpace(c)) {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

Text FreshRequest(const DownloadAddress& address) {
  return "GET /" + address.requestPath + " HTTP/1.1\r\n" +
         "Accept: */*\r\n"
         "Accept-Language: zh-cn\r\n"
         "Host: " +
         address.hostValue + "\r\n" + "Connection: Keep-Alive\r\n" + "\r\n\r\n";
}

Text ResumeRequest(const DownloadAddress& address, int64_t offset) {
  return "GET /" + address.requestPath + " HTTP/1.1\r\n" + "Host: " + address.hostValue + "\r\n" +
         "Accept: */*\r\n" + "Referer: http://" + address.hostValue + "\r\n" +
         "User-Agent: " + kUserAgent + "\r\n" + "Range: bytes=" + NumberToText(offset) + "-\r\n" +
         "Pragma: no-cache\r\n" + "Cache-Control: no-cache\r\n" + "Connection: close" + "\r\n\r\n";
}

Text FreeTargetPath(const Text& targetPath) {
  const size_t nameStart = FileNameStart(targetPath);
  // A leading "." belongs to the name (".bashrc" has no extension).
  size_t dot = targetPath.find('.', nameStart + 1);
  if (dot == Text::npos) dot = targetPath.size();
  const Text stem = targetPath.substr(0, dot);
  const Text extension = targetPath.substr(dot);
  Text candidate;
  for (int32_t n = 1; n <= 100; ++n) {
    candidate = stem + "(" + NumberToText(n) + ")" + extension;
    if (!FileExists(candidate)) break;
  }
  return candidate;
}
