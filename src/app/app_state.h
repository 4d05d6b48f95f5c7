// The one process-wide record shared by the GUI thread and every worker.
// Counters are atomic and 64-bit (files of 2 GiB and more); texts are GBK and are
// replaced whole under a small lock, so no reader meets a text being released.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/shared_text.h"
#include "download/socket_wrapper.h"

class XmlHttp;  // the verification fetch's HTTP session with its cookie store

struct AppState {
  SharedText downloadUrl;
  SharedText hashKey;
  SharedText fileName;
  SharedText fileSizeText;
  std::atomic<int32_t> captchaAccepted{0};
  SharedText captchaText;
  SharedText thunderUrl;
  SharedText fetchUrl;
  SharedText fetchMethod;
  SharedText fetchBody;
  std::atomic<uint32_t> fetchWaitMs{0};
  std::atomic<uint64_t> fetchThreadId{0};
  SharedText fetchResult;
  std::atomic<XmlHttp*> xmlHttp{nullptr};  // created by the first fetch, kept to the end
  SocketLibrary socketLibrary;
  std::atomic<int64_t> bytesDone{0};
  std::atomic<int64_t> bytesTotal{0};
  std::atomic<int32_t> openAfterDownload{0};
  SharedText saveFolder;
  TcpClient tcpClient;
  SharedText currentVersion;
  SharedText latestVersion;
  SharedText updateNotes;
  SharedText updateDownloadUrl;
};

// The process-wide record. Built on first use and never destroyed, so a worker that
// is still running while the program ends never meets a released record.
AppState& App();

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
