#include "app/progress_display.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "download/download_outcome.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace {

// Waits for the file of a completed download, keeping the window responsive.
bool WaitForFile(const std::string& path, uint32_t limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!FileExists(path)) {
    if (DownloadOutcome().load() == kDownloadOutcomeFailed ||
        std::chrono::steady_clock::now() >= deadline)
      return false;
    ProcessPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void OpenDownloadedFile(const ProgressDisplayOptions& options) {
  const std::string path = App().saveFolder.Get() + "\\" + App().fileName.Get();
  if (!WaitForFile(path, options.openWaitLimitMs)) return;
  ShellOpen(FromNativePath(NativePath(path)));  // the desktop wants "/" separators
}

}  // namespace

int32_t ProgressPercent(int64_t bytesDone, int64_t bytesTotal) {
  if (bytesTotal == 0) return 0;
  const double percent = static_cast<double>(bytesDone) / static_cast<double>(bytesTotal) * 100.0;
  if (!(percent < 9.2e18)) return 32767;
  if (!(percent > -9.2e18)) return 0;
  const int64_t cut = static_cast<int64_t>(percent);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(cut)));
}

void ProgressDisplayTick(const MainWindowControls& c, const ProgressDisplayOptions& options) {
  AppState& app = App();
  const int64_t bytesDone = app.bytesDone.load();
  if (bytesDone == 0) return;
  c.按钮4->SetEnabled(false);
  c.按钮1->SetEnabled(false);
  c.进度条1->SetPosition(ProgressPercent(bytesDone, app.bytesTotal.load()));
  const int32_t position = c.进度条1->Position();
  c.状态条1->SetPaneText(1, Utf8ToGbkText("状态：正在下载  ") + std::to_string(position) + "%");
  if (position < 100) return;

  c.状态条1->SetPaneText(1, Utf8ToGbkText("状态：下载完成"));
  c.按钮4->SetEnabled(true);
  c.按钮1->SetEnabled(true);
  app.bytesDone.store(0);
  app.bytesTotal.store(0);
  ProcessPendingMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (app.openAfterDownload.load() == 1) OpenDownloadedFile(options);
  c.时钟1->SetPeriod(0);
}
