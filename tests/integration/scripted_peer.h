// A scripted HTTP server on 127.0.0.1 for one connection: it reads the request head, then
// plays its script (send bytes, pause, wait for a condition) and closes. Every wait is
// bounded, so a peer nobody talks to ends by itself.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

struct PeerAction {
  enum class Kind { kSend, kPause, kWaitUntil };
  Kind kind;
  std::string bytes = {};
  int milliseconds = 0;
  std::function<bool()> condition = {};

  static PeerAction Send(std::string bytes) { return {Kind::kSend, std::move(bytes)}; }
  static PeerAction Pause(int ms) { return {Kind::kPause, {}, ms}; }
  // Waits, for at most five seconds, until the condition holds.
  static PeerAction WaitUntil(std::function<bool()> condition) {
    return {Kind::kWaitUntil, {}, 0, std::move(condition)};
  }
};

class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::vector<PeerAction> script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedPeer() {
    stop_ = true;
    Finish();
    ::close(listener_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  uint16_t port() const { return port_; }
  // Waits until the peer has played its script; returns the request head it read.
  std::string Request() {
    Finish();
    return request_;
  }
  // Ends a peer that may never be called; returns what it read.
  std::string Stop() {
    stop_ = true;
    return Request();
  }

 private:
  using Clock = std::chrono::steady_clock;

  void Finish() {
    if (thread_.joinable()) thread_.join();
  }

  // Readable within the time left, looking at the stop flag every 50 ms.
  bool WaitReadable(int fd, Clock::time_point deadline) {
    while (!stop_ && Clock::now() < deadline) {
      pollfd entry{fd, POLLIN, 0};
      if (::poll(&entry, 1, 50) > 0) return true;
    }
    return false;
  }

  void Serve() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    if (!WaitReadable(listener_, deadline)) return;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    char buffer[4096];
    while (request_.find("\r\n\r\n") == std::string::npos && WaitReadable(connection, deadline)) {
      const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request_.append(buffer, static_cast<size_t>(n));
    }
    for (const PeerAction& action : script_) Play(connection, action);
    // Unread bytes at close would turn the end into a reset, which can cost the client the
    // data it has not read yet.
    while (::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
  }

  void Play(int connection, const PeerAction& action) {
    switch (action.kind) {
      case PeerAction::Kind::kSend:
        for (size_t sent = 0; sent < action.bytes.size();) {
          const ssize_t n = ::send(connection, action.bytes.data() + sent,
                                   action.bytes.size() - sent, MSG_NOSIGNAL);
          if (n <= 0) return;
          sent += static_cast<size_t>(n);
        }
        return;
      case PeerAction::Kind::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(action.milliseconds));
        return;
      case PeerAction::Kind::kWaitUntil: {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!action.condition() && Clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return;
      }
    }
  }

  std::vector<PeerAction> script_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::string request_;
  std::thread thread_;
};
