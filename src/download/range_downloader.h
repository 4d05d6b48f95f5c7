// The built-in downloader's engine: one HTTP/1.1 GET over the process-wide TCP socket,
// into "<target>.tmp", resumed with "Range: bytes=" when that file is already there, and
// renamed to the target once it holds every byte. Texts are GBK.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "app/text_utils.h"
#include "download/socket_wrapper.h"

// Results of RangeDownloader.
constexpr int32_t kDownloadDone = 0;
constexpr int32_t kDownloadNoSocket = 1;
constexpr int32_t kDownloadBindFailed = 2;
constexpr int32_t kDownloadConnectFailed = 3;
constexpr int32_t kDownloadSendFailed = 4;
constexpr int32_t kDownloadIncomplete = 5;  // the ".tmp" holds a wrong number of bytes
constexpr int32_t kDownloadRefused = 6;     // the answer is not a usable HTTP/1.1 2xx

// Blocks until the transfer has ended. bytesTotal is written when the head arrives, before
// bytesDone first becomes non-zero. A transfer cut short keeps its ".tmp" for the next
// call to resume; one that received more bytes than announced deletes it.
int32_t RangeDownloader(const Text& address, const Text& targetPath,
                        std::atomic<int64_t>& bytesTotal, std::atomic<int64_t>& bytesDone,
                        std::optional<bool> renameIfExists = std::nullopt,
                        std::optional<int32_t> flushThreshold = std::nullopt,
                        std::optional<bool> sizeOnly = std::nullopt);

// The same on a socket object of the caller's.
int32_t RangeDownloaderOn(TcpClient& client, const Text& address, const Text& targetPath,
                          std::atomic<int64_t>& bytesTotal, std::atomic<int64_t>& bytesDone,
                          std::optional<bool> renameIfExists = std::nullopt,
                          std::optional<int32_t> flushThreshold = std::nullopt,
                          std::optional<bool> sizeOnly = std::nullopt);

// Codes 1 to 6: a message box titled "提示", then both counters of the application state
// go back to 0. Other codes show nothing and leave the counters.
void ShowDownloadResult(int32_t code);

// The wait for each block of the response, 15 seconds. Tests shorten it.
int32_t ReceiveWaitSeconds();
void SetReceiveWaitSeconds(int32_t seconds);
