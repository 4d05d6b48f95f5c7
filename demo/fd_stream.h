// A connected socket as cpp-httplib's Stream, with a read buffer of its own so
// that the service can look at a request before deciding who answers it.
#pragma once

#include <httplib.h>

#include <string>

class FdStream : public httplib::Stream {
 public:
  FdStream(int fd, int timeoutMs) : fd_(fd), timeoutMs_(timeoutMs) {}

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  // Writes every byte or fails with -1.
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

  // Waits until the buffer holds a first line (or maxBytes); false when the peer
  // closed, the time ran out or the socket failed first.
  bool BufferFirstLine(size_t maxBytes, int timeoutMs);
  // Takes the request head through its empty line out of the buffer.
  bool TakeHead(std::string& head, size_t maxBytes);
  std::string Buffered() const { return buffer_.substr(pos_); }

 private:
  bool FillOnce(int timeoutMs);

  int fd_;
  int timeoutMs_;
  std::string buffer_;
  size_t pos_ = 0;
};

// Waits for fd to become readable (events POLLIN) or writable (POLLOUT).
bool WaitForSocket(int fd, short events, int timeoutMs);
