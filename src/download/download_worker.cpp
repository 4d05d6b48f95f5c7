#include "download/download_worker.h"

#include <cmath>
#include <thread>

#include "app/app_state.h"
#include "download/download_outcome.h"
#include "download/range_downloader.h"

namespace {

constexpr int32_t kWorkerFlushThreshold = 20480;

bool IsLeadByte(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}
bool IsUnsafeNameByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F || c == '/' || c == '\\';
}

}  // namespace

int64_t SizeTextToBytes(const Text& sizeText) {
  const double value = std::trunc(TextToNumber(sizeText));
  // Out-of-range or not-a-number sizes are no size; the server's head sets the real one.
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;
  return static_cast<int64_t>(value);
}

Text CleanSaveFolder(const Text& folder) {
  const Text withoutBackslashes = ReplaceText(folder, "\\", Text(), 1, std::nullopt, true);
  const bool exactlyOne = TextLength(folder) - TextLength(withoutBackslashes) == 1;
  return exactlyOne ? withoutBackslashes : folder;
}

Text SafeFileName(const Text& name) {
  if (name.empty() || name == "." || name == "..") return Text();
  Text safe;
  safe.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsLeadByte(name[i]) && i + 1 < name.size()) {
      safe += name[i];
      safe += name[++i];  // the second byte of a character may be 0x5C and stays
    } else {
      safe += IsUnsafeNameByte(name[i]) ? '_' : name[i];
    }
  }
  return safe;
}

Text DownloadTargetPath(const Text& folder, const Text& fileName) {
  return folder + "\\" + fileName;
}

void DownloadWorker(const DownloadWorkerHooks& hooks) {
  AppState& app = App();
  DownloadOutcome().store(kDownloadOutcomeRunning);
  app.bytesTotal.store(SizeTextToBytes(app.fileSizeText.Get()));
  const Text folder = CleanSaveFolder(app.saveFolder.Get());
  app.saveFolder.Set(folder);
  const Text fileName = SafeFileName(app.fileName.Get());
  app.fileName.Set(fileName);  // the main window opens the file under this name

  int32_t result = kDownloadRefused;
  if (!fileName.empty()) {
    const Text address = hooks.readAddress ? hooks.readAddress() : app.downloadUrl.Get();
    result = RangeDownloader(address, DownloadTargetPath(folder, fileName), app.bytesTotal,
                             app.bytesDone, true, kWorkerFlushThreshold, std::nullopt);
  }
  // Told before the message, so a wait for the file ends while the message is shown.
  DownloadOutcome().store(result == kDownloadDone ? kDownloadOutcomeSucceeded
                                                  : kDownloadOutcomeFailed);
  ShowDownloadResult(result);
  if (hooks.closeWindow) hooks.closeWindow();
}

void StartDownloadWorker(DownloadWorkerHooks hooks) {
  std::thread([hooks = std::move(hooks)] { DownloadWorker(hooks); }).detach();
}
