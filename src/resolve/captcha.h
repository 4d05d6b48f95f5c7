// The verification fetch: one request through the XMLHTTP session on a thread of its own
// while the caller waits. A POST's reply becomes AppState's fetchResult; a GET's reply is an
// image, kept converted to JPEG for the picture box.
#pragma once

#include <cstdint>
#include <optional>

#include "app/text_utils.h"

// Returns a copy of App().fetchResult once the fetch thread has ended, the wait (0 or absent:
// no limit) has run out, or the caller's cancel token was cancelled; a fetch thread that is
// still running then goes on alone and sees the same cancellation.
Text CaptchaFetcher(const Text& url, const Text& method, std::optional<Text> body = std::nullopt,
                    std::optional<uint32_t> waitMs = std::nullopt);

// The JPEG made from the last image reply, emptied by the call; empty when there is none.
Bytes TakeCaptchaJpeg();
