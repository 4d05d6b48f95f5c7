// The main window's download progress display: each tick of 时钟1 reads the download
// counters of AppState, shows the percentage and, at 100, completes the display and
// opens the downloaded file when asked to.
#pragma once

#include <cstdint>

#include "platform/controls.h"

// bytesDone / bytesTotal × 100 cut toward zero, the low 32 bits of the 64-bit result;
// 0 when bytesTotal is 0. A ratio too large for 64 bits counts as a full bar.
int32_t ProgressPercent(int64_t bytesDone, int64_t bytesTotal);

struct ProgressDisplayOptions {
  // How long a completed download may take to show its file before it is opened; the
  // wait gives up after this, or as soon as DownloadOutcome() reports a failed download.
  uint32_t openWaitLimitMs = 30000;
};

// One tick of 时钟1, on the GUI thread.
void ProgressDisplayTick(const MainWindowControls& controls,
                         const ProgressDisplayOptions& options = ProgressDisplayOptions());
