// The head of an HTTP response, apart from the socket: blocks go in as they arrive, and
// the reader tells whether the head is complete and which bytes already belong to the body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// A head that has not ended within this many bytes is refused.
constexpr size_t kMaxResponseHeadBytes = 64 * 1024;

class ResponseHeadReader {
 public:
  enum class State { kIncomplete, kComplete, kTooLong };

  // Takes the next block of the response; once the head is complete or refused, further
  // blocks are ignored.
  State Feed(const std::string& block);
  State state() const { return state_; }
  bool Empty() const { return buffer_.empty(); }
  // The head up to and including the empty line that ends it (complete heads only).
  std::string Head() const;
  // The bytes after the empty line in the blocks fed so far (complete heads only).
  std::string BodyStart() const;

 private:
  std::string buffer_;
  size_t headLength_ = 0;
  State state_ = State::kIncomplete;
};

struct ResponseHead {
  int32_t status = 0;                 // the status code of an "HTTP/1.1 " status line, else 0
  int64_t contentLength = 0;          // 0 when the head announces none
  bool hasContentLength = false;      // the head carries a Content-Length line
  std::optional<int64_t> rangeStart;  // first byte of "Content-Range: bytes N-M/T"
};

ResponseHead ParseResponseHead(const std::string& head);
