// The download worker: the body of the thread that "下载" and "下载并打开" start. It takes
// its inputs from the application state, runs the engine, shows the result and closes the
// download window. The window plugs in through the hooks; nothing here touches a widget.
#pragma once

#include <cstdint>
#include <functional>

#include "app/text_utils.h"

struct DownloadWorkerHooks {
  // The text of the hidden window's address box; without it, downloadUrl is used.
  std::function<Text()> readAddress;
  // Destroys the download window; called last, after any result message has been closed.
  std::function<void()> closeWindow;
};

// The leading number of a size text, truncated toward zero: "12.5 MB" gives 12.
int64_t SizeTextToBytes(const Text& sizeText);

// A folder holding exactly one backslash loses it ("D:\" → "D:", "D:\Downloads" →
// "D:Downloads"); any other folder stays as it is. A 0x5C inside a character does not count.
Text CleanSaveFolder(const Text& folder);

// A name that stays inside the folder: "/", "\" and control characters become "_". A name
// that is empty, "." or ".." gives the empty text, which callers refuse like an empty box.
Text SafeFileName(const Text& name);

Text DownloadTargetPath(const Text& folder, const Text& fileName);

void DownloadWorker(const DownloadWorkerHooks& hooks);

// Runs DownloadWorker on a new thread that nobody waits for.
void StartDownloadWorker(DownloadWorkerHooks hooks);
