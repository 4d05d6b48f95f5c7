// A tiny HTTP/1.1 client on plain POSIX sockets, for tests that must see the
// bytes on the wire: it sends the request text as given and records every read.
// Every call is bounded: a connect, a pause without data and the whole
// exchange each have a time limit.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

struct HttpTestReply {
  bool connected = false;
  bool headComplete = false;      // the empty line that ends the head arrived
  bool closedByPeer = false;      // the server closed the connection
  bool timedOut = false;          // a pause or the whole exchange ran out of time
  std::string raw;                // every byte received
  std::vector<size_t> readSizes;  // the size of each successful read, in order
  std::string statusLine;
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // everything after the head

  // The first header of that name (ASCII letter case ignored); empty when absent.
  std::string Header(const std::string& name) const {
    for (const auto& entry : headers) {
      if (SameName(entry.first, name)) return entry.second;
    }
    return {};
  }
  bool HasHeader(const std::string& name) const {
    for (const auto& entry : headers) {
      if (SameName(entry.first, name)) return true;
    }
    return false;
  }

  static bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  }
};

struct HttpTestUrl {
  std::string host;
  uint16_t port = 80;
  std::string target = "/";  // path and query
};

// Splits "http://host[:port][/target]"; false for anything else.
inline bool ParseHttpTestUrl(const std::string& url, HttpTestUrl& out) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const size_t slash = url.find('/', scheme.size());
  const std::string authority = url.substr(scheme.size(), slash - scheme.size());
  out.target = slash == std::string::npos ? "/" : url.substr(slash);
  const size_t colon = authority.find(':');
  out.host = authority.substr(0, colon);
  if (colon != std::string::npos) {
    const long port = std::strtol(authority.c_str() + colon + 1, nullptr, 10);
    if (port <= 0 || port > 65535) return false;
    out.port = static_cast<uint16_t>(port);
  }
  return !out.host.empty();
}

// Splits the head out of reply.raw once it is complete.
inline void ParseHttpTestHead(HttpTestReply& reply) {
  const size_t end = reply.raw.find("\r\n\r\n");
  if (end == std::string::npos) return;
  reply.headComplete = true;
  reply.body = reply.raw.substr(end + 4);
  const std::string head = reply.raw.substr(0, end + 2);
  size_t lineEnd = head.find("\r\n");
  reply.statusLine = head.substr(0, lineEnd);
  const size_t blank = reply.statusLine.find(' ');
  if (blank != std::string::npos) reply.status = std::atoi(reply.statusLine.c_str() + blank + 1);
  reply.headers.clear();
  for (size_t start = lineEnd + 2; start < head.size(); start = lineEnd + 2) {
    lineEnd = head.find("\r\n", start);
    const std::string line = head.substr(start, lineEnd - start);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t valueStart = line.find_first_not_of(' ', colon + 1);
    reply.headers.emplace_back(line.substr(0, colon), valueStart == std::string::npos
                                                          ? std::string()
                                                          : line.substr(valueStart));
  }
}

// One connection to 127.0.0.1, for tests that read an answer step by step.
class HttpTestConnection {
 public:
  explicit HttpTestConnection(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~HttpTestConnection() {
    if (fd_ >= 0) ::close(fd_);
  }
  HttpTestConnection(const HttpTestConnection&) = delete;
  HttpTestConnection& operator=(const HttpTestConnection&) = delete;

  bool Connected() const { return connected_; }

  bool Send(const std::string& bytes) {
    size_t sent = 0;
    while (connected_ && sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return connected_;
  }

  // Reads into reply until it holds maxBytes, the server closes, idleMs pass
  // without data or totalMs pass in all; then parses the head if it is complete.
  void ReadInto(HttpTestReply& reply, size_t maxBytes, int idleMs, int totalMs) {
    reply.connected = connected_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    std::vector<char> chunk(64 * 1024);
    while (connected_ && reply.raw.size() < maxBytes) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) {
        reply.timedOut = true;
        break;
      }
      pollfd entry{fd_, POLLIN, 0};
      const int ready = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, idleMs)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        reply.timedOut = true;
        break;
      }
      const size_t want = std::min(chunk.size(), maxBytes - reply.raw.size());
      const ssize_t n = ::recv(fd_, chunk.data(), want, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        reply.closedByPeer = true;
        break;
      }
      reply.raw.append(chunk.data(), static_cast<size_t>(n));
      reply.readSizes.push_back(static_cast<size_t>(n));
    }
    ParseHttpTestHead(reply);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// Connects to 127.0.0.1:port, sends request and reads until the server closes,
// maxBytes have arrived, idleMs pass without data or totalMs pass in all.
inline HttpTestReply HttpTestExchange(uint16_t port, const std::string& request,
                                      size_t maxBytes = static_cast<size_t>(-1), int idleMs = 10000,
                                      int totalMs = 120000) {
  HttpTestReply reply;
  HttpTestConnection connection(port);
  if (connection.Send(request)) connection.ReadInto(reply, maxBytes, idleMs, totalMs);
  reply.connected = connection.Connected();
  return reply;
}

// A request text for url with the given extra header lines; the connection is
// closed after the answer, so the reply ends when the server closes.
inline std::string HttpTestRequest(const std::string& method, const HttpTestUrl& url,
                                   const std::vector<std::string>& extraHeaders,
                                   const std::string& body = {}) {
  std::string request = method + " " + url.target + " HTTP/1.1\r\n";
  request += "Host: " + url.host + ":" + std::to_string(url.port) + "\r\n";
  for (const std::string& line : extraHeaders) request += line + "\r\n";
  if (method == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "Connection: close\r\n\r\n" + body;
  return request;
}

inline HttpTestReply HttpTestGet(const std::string& url,
                                 const std::vector<std::string>& extraHeaders = {},
                                 size_t maxBytes = static_cast<size_t>(-1)) {
  HttpTestUrl parsed;
  if (!ParseHttpTestUrl(url, parsed)) return {};
  return HttpTestExchange(parsed.port, HttpTestRequest("GET", parsed, extraHeaders), maxBytes);
}

inline HttpTestReply HttpTestPost(const std::string& url, const std::string& body,
                                  const std::vector<std::string>& extraHeaders = {}) {
  HttpTestUrl parsed;
  if (!ParseHttpTestUrl(url, parsed)) return {};
  return HttpTestExchange(parsed.port, HttpTestRequest("POST", parsed, extraHeaders, body));
}
