// A scripted HTTP peer on 127.0.0.1 for tests: it records each request exactly as its bytes
// arrived and answers with canned reply bytes, one connection per request (the connection is
// closed after the reply). Every wait is bounded, and the destructor stops it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct PeerReply {
  std::string bytes;  // sent as they are, then the connection is closed
  bool hold =
      false;  // after the bytes (maybe none), keep the connection open until the client leaves
  int delayMs = 0;  // pause before answering
};

class RawPeer {
 public:
  using Script = std::function<PeerReply(const std::string& request, int index)>;

  explicit RawPeer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  // Every reply is the same.
  explicit RawPeer(PeerReply reply) : RawPeer([reply](const std::string&, int) { return reply; }) {}

  ~RawPeer() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& t : connections_) t.join();
    ::close(listener_);
  }

  int Port() const { return port_; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int MostAtOnce() const { return mostAtOnce_; }

 private:
  static constexpr int kSliceMs = 20;
  static constexpr int kReadLimitMs = 10000;

  void AcceptLoop() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, kSliceMs) <= 0) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      connections_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  // Waits for readable data; false when the peer stops or the wait runs out.
  bool WaitReadable(int fd, int limitMs) {
    for (int waited = 0; !stop_ && waited < limitMs; waited += kSliceMs) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, kSliceMs) > 0) return true;
    }
    return false;
  }

  static size_t ContentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(lower.substr(at + 17));
  }

  // One request: the head up to the empty line and a body of its Content-Length.
  std::string ReadRequest(int fd) {
    std::string data;
    char buffer[4096];
    size_t headEnd = std::string::npos;
    while (WaitReadable(fd, kReadLimitMs)) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
      if (headEnd == std::string::npos) headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos &&
          data.size() >= headEnd + 4 + ContentLength(data.substr(0, headEnd + 2))) {
        break;
      }
    }
    return data;
  }

  void SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  // Waits until the client closes its side or the peer stops.
  void WaitForClientToLeave(int fd) {
    char buffer[4096];
    while (WaitReadable(fd, 1 << 30)) {
      if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
  }

  void Serve(int fd) {
    int index = nextIndex_++;
    std::string request = ReadRequest(fd);
    int now = ++atOnce_;
    int most = mostAtOnce_.load();
    while (now > most && !mostAtOnce_.compare_exchange_weak(most, now)) {
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    PeerReply reply = script_(request, index);
    if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
    --atOnce_;
    SendAll(fd, reply.bytes);
    if (reply.hold) WaitForClientToLeave(fd);
    ::close(fd);
  }

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> nextIndex_{0};
  std::atomic<int> atOnce_{0};
  std::atomic<int> mostAtOnce_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor thread only, then joined
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

// A reply with a status line, header lines and a body with its Content-Length.
inline std::string HttpReply(const std::string& status, const std::vector<std::string>& lines,
                             const std::string& body) {
  std::string reply = "HTTP/1.1 " + status + "\r\n";
  for (const std::string& line : lines) reply += line + "\r\n";
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  return reply + body;
}

// A port on which nothing listens.
inline int RefusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}
