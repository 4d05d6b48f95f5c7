#include "fd_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

bool WaitForSocket(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

namespace {

void AddressOf(int fd, bool remote, std::string& ip, int& port) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const int result = remote ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                            : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  if (result != 0) return;
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  ip = text;
  port = ntohs(address.sin_port);
}

}  // namespace

bool FdStream::is_readable() const {
  return pos_ < buffer_.size() || WaitForSocket(fd_, POLLIN, timeoutMs_);
}

bool FdStream::is_writable() const {
  return WaitForSocket(fd_, POLLOUT, timeoutMs_);
}

ssize_t FdStream::read(char* ptr, size_t size) {
  if (pos_ >= buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
    if (!FillOnce(timeoutMs_)) return -1;
  }
  const size_t take = std::min(size, buffer_.size() - pos_);
  std::memcpy(ptr, buffer_.data() + pos_, take);
  pos_ += take;
  return static_cast<ssize_t>(take);
}

ssize_t FdStream::write(const char* ptr, size_t size) {
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd_, ptr + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitForSocket(fd_, POLLOUT, timeoutMs_)) return -1;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(size);
}

void FdStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  AddressOf(fd_, true, ip, port);
}

void FdStream::get_local_ip_and_port(std::string& ip, int& port) const {
  AddressOf(fd_, false, ip, port);
}

bool FdStream::FillOnce(int timeoutMs) {
  if (!WaitForSocket(fd_, POLLIN, timeoutMs)) return false;
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
}

bool FdStream::BufferFirstLine(size_t maxBytes, int timeoutMs) {
  if (pos_ > 0) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  while (buffer_.find('\n') == std::string::npos && buffer_.size() < maxBytes) {
    if (!FillOnce(timeoutMs)) return false;
  }
  return true;
}

bool FdStream::TakeHead(std::string& head, size_t maxBytes) {
  for (;;) {
    const size_t end = buffer_.find("\r\n\r\n", pos_);
    if (end != std::string::npos) {
      head = buffer_.substr(pos_, end + 4 - pos_);
      pos_ = end + 4;
      return true;
    }
    if (buffer_.size() - pos_ > maxBytes || !FillOnce(timeoutMs_)) return false;
  }
}
