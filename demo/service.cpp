#include "service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "download_route.h"

namespace {

constexpr int kIoTimeoutMs = 15000;
constexpr int kIdleTimeoutMs = 5000;
constexpr int kRequestsPerConnection = 100;
constexpr size_t kMaxConnections = 256;
constexpr size_t kFirstLineLimit = 8192;

void SetSocketOptions(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  timeval timeout{kIoTimeoutMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

}  // namespace

DemoService::DemoService(ServiceOptions options) : state_(std::move(options)), pages_(state_) {}

DemoService::~DemoService() {
  Stop();
}

bool DemoService::Start(std::string& error) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(state_.Options().port));
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 128) != 0) {
    error = std::string("bind 127.0.0.1:") + std::to_string(state_.Options().port) + ": " +
            std::strerror(errno);
    return false;
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  state_.SetBaseUrl("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void DemoService::Stop() {
  if (!acceptThread_.joinable()) return;
  state_.RequestStop();
  const char wake = 1;
  (void)!::write(wakePipe_[1], &wake, 1);
  acceptThread_.join();
  {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
  }
  ReapFinishedWorkers(true);
  ::close(listenFd_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

void DemoService::AcceptLoop() {
  while (!state_.Stopping()) {
    pollfd entries[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    const int ready = ::poll(entries, 2, 200);
    ReapFinishedWorkers(false);
    if (ready <= 0 || !(entries[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    if (workers_.size() >= kMaxConnections) {
      ::close(fd);  // a flood on loopback: refuse rather than grow without bound
      continue;
    }
    SetSocketOptions(fd);
    TrackConnection(fd);
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, fd, done] {
                          Serve(fd);
                          ForgetConnection(fd);
                          ::close(fd);
                          *done = true;
                        }),
                        done});
  }
}

void DemoService::Serve(int fd) {
  FdStream stream(fd, kIoTimeoutMs);
  for (int served = 0; served < kRequestsPerConnection && !state_.Stopping(); ++served) {
    const int wait = served == 0 ? kIoTimeoutMs : kIdleTimeoutMs;
    if (!stream.BufferFirstLine(kFirstLineLimit, wait)) return;
    if (IsDownloadRequestLine(stream.Buffered())) {
      ServeDownload(stream, state_);
      return;
    }
    bool closed = false;
    const bool last = served + 1 == kRequestsPerConnection;
    if (!pages_.ServeOne(stream, last, closed) || closed) return;
  }
}

void DemoService::TrackConnection(int fd) {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  connections_.insert(fd);
  // A stop that came in between accept and here must still cut this one.
  if (state_.Stopping()) ::shutdown(fd, SHUT_RDWR);
}

void DemoService::ForgetConnection(int fd) {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  connections_.erase(fd);
}

void DemoService::ReapFinishedWorkers(bool all) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (all || it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}
