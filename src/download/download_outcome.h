// How the last download worker ended, for the main window: its wait for the downloaded
// file to appear ends when the worker reports a failure instead.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int32_t kDownloadOutcomeNone = 0;  // no download since the program started
constexpr int32_t kDownloadOutcomeRunning = 1;
constexpr int32_t kDownloadOutcomeSucceeded = 2;  // the target file exists
constexpr int32_t kDownloadOutcomeFailed = 3;     // no target file will come

inline std::atomic<int32_t>& DownloadOutcome() {
  static std::atomic<int32_t> outcome{kDownloadOutcomeNone};
  return outcome;
}
