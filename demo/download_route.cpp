#include "download_route.h"

#include <sys/socket.h>

#include <vector>

#include "demo_content.h"
#include "download_answer.h"

namespace {

constexpr size_t kMaxHead = 16 * 1024;
constexpr size_t kChunk = 256 * 1024;

struct DownloadRequest {
  std::string method;
  std::string path;   // without the query
  std::string query;  // after "?", may be empty
  std::string range;  // the Range value, empty when absent
};

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

bool ParseRequest(const std::string& head, DownloadRequest& request) {
  const size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const size_t firstBlank = line.find(' ');
  const size_t secondBlank = line.find(' ', firstBlank + 1);
  if (firstBlank == std::string::npos || secondBlank == std::string::npos) return false;
  request.method = line.substr(0, firstBlank);
  const std::string target = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
  const size_t question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query = target.substr(question + 1);

  size_t start = lineEnd + 2;
  while (start < head.size()) {
    const size_t end = head.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    const std::string field = head.substr(start, end - start);
    const size_t colon = field.find(':');
    if (colon != std::string::npos && LowerAscii(field.substr(0, colon)) == "range") {
      request.range = field.substr(colon + 1);
    }
    start = end + 2;
  }
  return true;
}

// The value of name=value in a query; nothing when the name is absent.
std::optional<std::string> QueryValue(const std::string& query, const std::string& name) {
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (pair.substr(0, equals) == name) {
      return equals == std::string::npos ? std::string() : pair.substr(equals + 1);
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Splits "/down/<id>/<token>" into its two pieces.
bool SplitDownloadPath(const std::string& path, std::string& id, std::string& token) {
  const std::string prefix = "/down/";
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t slash = path.find('/', prefix.size());
  if (slash == std::string::npos) return false;
  id = path.substr(prefix.size(), slash - prefix.size());
  token = path.substr(slash + 1);
  return !id.empty() && !token.empty() && token.find('/') == std::string::npos;
}

bool SendAll(FdStream& stream, const char* data, size_t size) {
  return stream.write(data, size) == static_cast<ssize_t>(size);
}

// The head in small pieces with pauses, for clients that must cope with a head
// spread over several reads.
bool SendSplitHead(FdStream& stream, ServiceState& state, const std::string& head) {
  const size_t pieces = 4;
  const size_t pieceSize = (head.size() + pieces - 1) / pieces;
  for (size_t offset = 0; offset < head.size(); offset += pieceSize) {
    if (offset > 0 && !state.SleepUnlessStopped(std::chrono::milliseconds(100))) return false;
    const size_t size = std::min(pieceSize, head.size() - offset);
    if (!SendAll(stream, head.data() + offset, size)) return false;
  }
  return true;
}

uint64_t SendBody(FdStream& stream, ServiceState& state, uint32_t fileId, uint64_t start,
                  uint64_t count) {
  std::vector<char> chunk(kChunk);
  uint64_t sent = 0;
  while (sent < count && !state.Stopping()) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(kChunk, count - sent));
    DemoContent(fileId, start + sent, chunk.data(), size);
    if (!SendAll(stream, chunk.data(), size)) break;
    sent += size;
  }
  return sent;
}

std::string DescribeRange(const std::string& range) {
  const size_t first = range.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : " range=" + range.substr(first);
}

}  // namespace

bool IsDownloadRequestLine(const std::string& firstLine) {
  const size_t blank = firstLine.find(' ');
  return blank != std::string::npos && firstLine.compare(blank + 1, 6, "/down/") == 0;
}

void ServeDownload(FdStream& stream, ServiceState& state) {
  std::string head;
  DownloadRequest request;
  if (!stream.TakeHead(head, kMaxHead) || !ParseRequest(head, request)) return;
  const std::string logStart =
      request.method + " " + request.path + (request.query.empty() ? "" : "?" + request.query);
  auto reject = [&](int status, const std::string& body) {
    const std::string answer = ErrorAnswerHead(status, body);
    SendAll(stream, answer.data(), answer.size());
    state.Log(logStart + " " + std::to_string(status) + " 0");
  };

  if (request.method != "GET") return reject(405, "only GET\n");
  std::string idText;
  std::string token;
  const DemoFile* file = nullptr;
  if (SplitDownloadPath(request.path, idText, token)) file = FindDemoFile(idText);
  if (file == nullptr || !state.IsDownloadToken(*file, token)) {
    return reject(404, "链接已失效\n");
  }

  DownloadFault fault;
  if (state.Options().testHooks) {
    const std::optional<std::string> asked = QueryValue(request.query, "fault");
    const std::optional<DownloadFault> armed = state.TakeArmedFault();
    if (asked) {
      const std::optional<DownloadFault> parsed = ParseDownloadFault(*asked);
      if (!parsed) return reject(400, "unknown fault\n");
      fault = *parsed;
    } else if (armed) {
      fault = *armed;
    }
  }

  const DownloadAnswer answer =
      PlanDownload(*file, request.range, fault, state.BaseUrl() + request.path);
  const bool headSent = answer.splitHead ? SendSplitHead(stream, state, answer.head)
                                         : SendAll(stream, answer.head.data(), answer.head.size());
  const uint64_t sent =
      headSent ? SendBody(stream, state, file->id, answer.start, answer.count) : 0;
  if (headSent && answer.stallSeconds > 0) {
    state.SleepUnlessStopped(std::chrono::seconds(answer.stallSeconds));
  }
  state.Log(logStart + DescribeRange(request.range) + " " + std::to_string(answer.status) + " " +
            std::to_string(sent));
}
