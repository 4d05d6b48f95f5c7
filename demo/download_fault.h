// Faults a test can ask of one download answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct DownloadFault {
  enum class Kind {
    kNone,
    kClose,        // close after `bytes` body bytes
    kStall,        // send `bytes` body bytes, stall `seconds`, close
    kLength,       // announce Content-Length `length`, send the real body
    kIgnoreRange,  // 200 with the whole file even to a Range request
    kHttp10,       // HTTP/1.0 status line
    kSplitHead,    // the head in several small writes with pauses
    kRedirect,     // 302 to the same address without the fault
  };
  Kind kind = Kind::kNone;
  uint64_t bytes = 0;
  uint64_t length = 0;
  int seconds = 0;
};

// Reads "close:K", "stall:S:K", "length:N", "ignore-range", "http10",
// "split-head" or "redirect"; nothing for any other text.
std::optional<DownloadFault> ParseDownloadFault(const std::string& text);
