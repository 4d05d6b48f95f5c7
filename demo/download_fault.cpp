#include "download_fault.h"

#include <charconv>
#include <vector>

namespace {

std::vector<std::string> SplitAtColons(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    pieces.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return pieces;
    start = colon + 1;
  }
}

// A plain decimal number, digits only.
bool ReadNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<DownloadFault> ParseDownloadFault(const std::string& text) {
  using Kind = DownloadFault::Kind;
  const std::vector<std::string> pieces = SplitAtColons(text);
  const std::string& name = pieces[0];
  DownloadFault fault;
  if (pieces.size() == 1) {
    if (name == "ignore-range")
      fault.kind = Kind::kIgnoreRange;
    else if (name == "http10")
      fault.kind = Kind::kHttp10;
    else if (name == "split-head")
      fault.kind = Kind::kSplitHead;
    else if (name == "redirect")
      fault.kind = Kind::kRedirect;
    else
      return std::nullopt;
    return fault;
  }
  if (name == "close" && pieces.size() == 2 && ReadNumber(pieces[1], fault.bytes)) {
    fault.kind = Kind::kClose;
    return fault;
  }
  if (name == "length" && pieces.size() == 2 && ReadNumber(pieces[1], fault.length)) {
    fault.kind = Kind::kLength;
    return fault;
  }
  uint64_t seconds = 0;
  if (name == "stall" && pieces.size() == 3 && ReadNumber(pieces[1], seconds) && seconds <= 3600 &&
      ReadNumber(pieces[2], fault.bytes)) {
    fault.kind = Kind::kStall;
    fault.seconds = static_cast<int>(seconds);
    return fault;
  }
  return std::nullopt;
}
