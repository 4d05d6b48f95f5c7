// What the service answers to one download request: the head, the part of the
// file it sends and how a fault bends the sending.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue.h"
#include "download_fault.h"

struct ByteRange {
  uint64_t first = 0;
  std::optional<uint64_t> last;  // inclusive; none for "N-"
};

// Reads a Range value "bytes=N-" or "bytes=N-M"; nothing for anything else
// (which is then ignored, as for a request without Range).
std::optional<ByteRange> ParseByteRange(const std::string& value);

struct DownloadAnswer {
  int status = 200;
  std::string head;        // status line through the empty line
  uint64_t start = 0;      // offset of the first body byte in the file
  uint64_t count = 0;      // body bytes to send
  bool splitHead = false;  // send the head in pieces
  int stallSeconds = 0;    // pause before closing early
};

// Plans the answer for file, the request's Range value (empty when absent) and
// a fault; redirectTo is the address a redirect points at.
DownloadAnswer PlanDownload(const DemoFile& file, const std::string& rangeValue,
                            const DownloadFault& fault, const std::string& redirectTo);

// A short answer without a file: 400, 404 or 405 with a text body.
std::string ErrorAnswerHead(int status, const std::string& body);
