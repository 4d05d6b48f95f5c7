#include "download/range_downloader.h"

#include <algorithm>
#include <cstdint>

#include "app/app_state.h"
#include "download/download_address.h"
#include "download/response_head.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/message_box.h"

namespace {

constexpr int32_t kDefaultFlushThreshold = 10240;
std::atomic<int32_t> receiveWaitSeconds{15};

bool HasControlOrSpace(const Text& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

// The socket is closed on every way out, so no connection outlives its transfer.
class ConnectionScope {
 public:
  explicit ConnectionScope(TcpClient& client) : client_(client) {}
  ~ConnectionScope() { client_.Close(); }
  ConnectionScope(const ConnectionScope&) = delete;
  ConnectionScope& operator=(const ConnectionScope&) = delete;

 private:
  TcpClient& client_;
};

enum class HeadOutcome { kReady, kNothing, kRefused };

// Reads blocks until the head has ended. kNothing: not one byte arrived.
HeadOutcome ReceiveHead(TcpClient& client, ResponseHeadReader& reader) {
  Bytes block;
  while (reader.state() == ResponseHeadReader::State::kIncomplete) {
    if (!client.Receive(block, ReceiveWaitSeconds()))
      return reader.Empty() ? HeadOutcome::kNothing : HeadOutcome::kRefused;
    reader.Feed(block);
  }
  return reader.state() == ResponseHeadReader::State::kComplete ? HeadOutcome::kReady
                                                                : HeadOutcome::kRefused;
}

// Collects body blocks and writes them to the end of the file in pieces of at least the
// threshold. A failed write stops the collecting.
class BodyWriter {
 public:
  BodyWriter(AppendFile& file, size_t threshold) : file_(file), threshold_(threshold) {
    pending_.reserve(threshold + 8192);
  }
  bool Add(const Bytes& block) {
    pending_ += block;
    return pending_.size() < threshold_ || Flush();
  }
  bool Flush() {
    const bool written = pending_.empty() || file_.Append(pending_.data(), pending_.size());
    pending_.clear();
    return written;
  }

 private:
  AppendFile& file_;
  size_t threshold_;
  Bytes pending_;
};

// Receives until bytesDone reaches bytesTotal, the data stop, more than announced arrive or
// a write fails.
void ReceiveBody(TcpClient& client, BodyWriter& writer, std::atomic<int64_t>& bytesTotal,
                 std::atomic<int64_t>& bytesDone) {
  Bytes block;
  const int64_t total = bytesTotal.load();
  int64_t done = bytesDone.load();
  while (done < total && client.Receive(block, ReceiveWaitSeconds())) {
    done += static_cast<int64_t>(block.size());
    const bool written = writer.Add(block);
    bytesDone.store(done);
    if (!written) return;
  }
  writer.Flush();
}

// The ".tmp" holding every byte becomes the target; one holding more is useless and goes;
// one holding fewer stays for the next call to resume.
int32_t Complete(const Text& targetPath, const Text& tmpPath, int64_t total) {
  const int64_t size = FileSize(tmpPath);
  if (size == total) {
    DeleteFileAt(targetPath);
    return RenameFileNoReplace(tmpPath, targetPath) ? kDownloadDone : kDownloadIncomplete;
  }
  if (size > total) DeleteFileAt(tmpPath);
  return kDownloadIncomplete;
}

}  // namespace

int32_t ReceiveWaitSeconds() {
  return receiveWaitSeconds.load();
}
void SetReceiveWaitSeconds(int32_t seconds) {
  receiveWaitSeconds.store(seconds);
}

int32_t RangeDownloader(const Text& address, const Text& targetPath,
                        std::atomic<int64_t>& bytesTotal, std::atomic<int64_t>& bytesDone,
                        std::optional<bool> renameIfExists, std::optional<int32_t> flushThreshold,
                        std::optional<bool> sizeOnly) {
  return RangeDownloaderOn(App().tcpClient, address, targetPath, bytesTotal, bytesDone,
                           renameIfExists, flushThreshold, sizeOnly);
}

int32_t RangeDownloaderOn(TcpClient& client, const Text& address, const Text& targetPath,
                          std::atomic<int64_t>& bytesTotal, std::atomic<int64_t>& bytesDone,
                          std::optional<bool> renameIfExists, std::optional<int32_t> flushThreshold,
                          std::optional<bool> sizeOnly) {
  const int32_t threshold =
      flushThreshold.value_or(0) > 0 ? *flushThreshold : kDefaultFlushThreshold;
  const DownloadAddress pieces = ParseDownloadAddress(address);

  if (!client.Create()) return kDownloadNoSocket;
  ConnectionScope connection(client);
  if (!client.Bind(0)) return kDownloadBindFailed;
  // A host that would split the "Host: " line is no host at all.
  if (HasControlOrSpace(pieces.hostValue) || !client.Connect(pieces.host, pieces.port))
    return kDownloadConnectFailed;

  Text target = targetPath;
  if (renameIfExists.value_or(false) && FileExists(target)) target = FreeTargetPath(target);
  const Text tmpPath = target + ".tmp";
  const bool resume = FileExists(tmpPath);
  int64_t offset = resume ? std::max<int64_t>(FileSize(tmpPath), 0) : 0;

  const Text request = resume ? ResumeRequest(pieces, offset) : FreshRequest(pieces);
  if (!client.Send(TextToBytes(request))) return kDownloadSendFailed;

  ResponseHeadReader reader;
  switch (ReceiveHead(client, reader)) {
    case HeadOutcome::kNothing:
      return kDownloadIncomplete;  // cut short; the ".tmp" stays
    case HeadOutcome::kRefused:
      return kDownloadRefused;
    case HeadOutcome::kReady:
      break;
  }
  const ResponseHead head = ParseResponseHead(reader.Head());
  if (head.status < 200 || head.status > 209) return kDownloadRefused;
  // Without a length (a chunked answer, say) the end of the file cannot be told from a
  // cut connection, and an empty or partial file would pass for a finished one.
  if (!head.hasContentLength) return kDownloadRefused;
  // A partial answer is appended only where the ".tmp" ends; any other 2xx is the whole file.
  if (head.status == 206 && head.rangeStart != offset) return kDownloadRefused;
  const bool restart = resume && head.status != 206;
  if (restart) offset = 0;
  if (head.contentLength > INT64_MAX - offset) return kDownloadRefused;

  bytesTotal.store(offset + head.contentLength);
  if (sizeOnly.value_or(false)) return kDownloadDone;

  if (restart) DeleteFileAt(tmpPath);
  AppendFile file;
  if (!file.Open(tmpPath)) return kDownloadIncomplete;
  BodyWriter writer(file, static_cast<size_t>(threshold));
  const Bytes bodyStart = reader.BodyStart();
  if (!file.Append(bodyStart.data(), bodyStart.size())) return kDownloadIncomplete;
  bytesDone.store(offset + static_cast<int64_t>(bodyStart.size()));
  ReceiveBody(client, writer, bytesTotal, bytesDone);
  file.Close();
  return Complete(target, tmpPath, bytesTotal.load());
}

void ShowDownloadResult(int32_t code) {
  struct Message {
    const char* text;
    int32_t style;
  };
  static const Message kMessages[] = {
      {"创建对象失败 ", kMbIconInformation},
      {"绑定本地端口失败 ", kMbIconInformation},
      {"连接服务器失败 ", kMbIconInformation},
      {"数据发送超时 ", kMbIconInformation},
      {"下载失败 ", kMbOk},
      {"下载失败", kMbIconInformation},
  };
  if (code < 1 || code > 6) return;
  const Message& message = kMessages[code - 1];
  ShowMessageBox(Utf8ToGbkText(message.text), Utf8ToGbkText("提示"), message.style);
  App().bytesTotal.store(0);
  App().bytesDone.store(0);
}
