#include "download/socket_wrapper.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

constexpr int32_t kWsaEinval = 10022;
constexpr int32_t kWsaEwouldblock = 10035;
constexpr int32_t kWsaEtimedout = 10060;
constexpr int32_t kWsaSyscallFailure = 10107;
constexpr size_t kReceiveBufferSize = 8191;
constexpr int32_t kDefaultWaitSeconds = 15;
constexpr int32_t kConnectWaitSeconds = 15;

// Windows Sockets keeps its last error per thread.
thread_local int32_t lastSocketError = 0;

int32_t WsaErrorFromErrno(int error) {
  switch (error) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case EAGAIN:
      return kWsaEwouldblock;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case EPIPE:
      return 10054;  // Windows reports a send to a reset peer as a reset
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return kWsaEtimedout;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return kWsaSyscallFailure;
  }
}

void RecordErrno() {
  lastSocketError = WsaErrorFromErrno(errno);
}

bool HoldsSocket(int32_t handle) {
  return handle != 0 && handle != -1;
}

enum class WaitOutcome { kReady, kTimedOut, kFailed };

// Waits until the socket is readable or writable, for whole seconds. A signal does not
// shorten the wait: poll is asked again for the time that is left.
WaitOutcome WaitFor(int32_t handle, short events, int32_t seconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds);
  pollfd entry{handle, events, 0};
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ms = left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
    const int n = ::poll(&entry, 1, ms);
    if (n > 0) return WaitOutcome::kReady;
    if (n == 0) {
      lastSocketError = kWsaEtimedout;
      return WaitOutcome::kTimedOut;
    }
    if (errno == EINTR) continue;
    RecordErrno();
    return WaitOutcome::kFailed;
  }
}

// Dotted text first, then a name lookup; 10022 when neither gives an IPv4 address.
bool ResolveHost(const std::string& host, in_addr* address) {
  const in_addr_t dotted = ::inet_addr(host.c_str());
  if (dotted != INADDR_NONE) {
    address->s_addr = dotted;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
    lastSocketError = kWsaEinval;
    return false;
  }
  bool resolved = false;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr) {
      *address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
      resolved = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  if (!resolved) lastSocketError = kWsaEinval;
  return resolved;
}

sockaddr_in Ipv4Address(in_addr address, uint16_t port) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_port = htons(port);
  socketAddress.sin_addr = address;
  return socketAddress;
}

std::string DottedText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &address, text, sizeof text) ? text : "";
}

// Handle 0 means "no socket" to callers, so a socket that lands on descriptor 0 (stdin
// closed) is moved to a higher number.
int NewSocket(int type) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd == 0) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    fd = moved;
  }
  if (fd < 0) RecordErrno();
  return fd;
}

using AddressQuery = int (*)(int, sockaddr*, socklen_t*);

bool QueryAddress(AddressQuery query, int32_t handle, std::string& address, uint16_t& port) {
  sockaddr_in socketAddress{};
  socklen_t length = sizeof socketAddress;
  const bool asked = query(handle, reinterpret_cast<sockaddr*>(&socketAddress), &length) == 0;
  if (!asked || socketAddress.sin_family != AF_INET) {
    if (asked)
      lastSocketError = kWsaEinval;  // not an IPv4 socket
    else
      RecordErrno();
    address.clear();
    port = 0;
    return false;
  }
  address = DottedText(socketAddress.sin_addr);
  port = ntohs(socketAddress.sin_port);
  return true;
}

}  // namespace

SocketLibrary::~SocketLibrary() = default;  // POSIX sockets need no library shutdown

void SocketLibrary::Startup() {
  startupResult = 0;
}

TcpClient::~TcpClient() {
  if (HoldsSocket(socketHandle)) ::close(socketHandle);
}

bool TcpClient::Create(std::optional<bool> udp) {
  socketHandle = NewSocket(udp.value_or(false) ? SOCK_DGRAM : SOCK_STREAM);
  return socketHandle != -1;
}

bool TcpClient::Bind(uint16_t port, std::optional<std::string> localAddress) {
  in_addr address{};
  address.s_addr = htonl(INADDR_ANY);
  if (localAddress) {
    address.s_addr = ::inet_addr(localAddress->c_str());
    if (address.s_addr == INADDR_NONE) {
      lastSocketError = kWsaEinval;
      return false;
    }
  }
  const sockaddr_in socketAddress = Ipv4Address(address, port);
  if (::bind(socketHandle, reinterpret_cast<const sockaddr*>(&socketAddress),
             sizeof socketAddress) != 0) {
    RecordErrno();
    return false;
  }
  return true;
}

bool TcpClient::Connect(const std::string& host, uint16_t port) {
  in_addr address{};
  if (!ResolveHost(host, &address)) return false;
  const sockaddr_in socketAddress = Ipv4Address(address, port);
  if (::connect(socketHandle, reinterpret_cast<const sockaddr*>(&socketAddress),
                sizeof socketAddress) == 0)
    return true;
  RecordErrno();
  // A connect interrupted by a signal, or on a non-blocking socket, goes on in the
  // background: wait for it to finish and read its outcome.
  if (errno != EINTR && LastError() != kWsaEwouldblock && errno != EINPROGRESS) return false;
  if (WaitFor(socketHandle, POLLOUT, kConnectWaitSeconds) != WaitOutcome::kReady) return false;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socketHandle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    RecordErrno();
    return false;
  }
  if (error != 0) {
    lastSocketError = WsaErrorFromErrno(error);
    return false;
  }
  return true;
}

void TcpClient::Close() {
  if (!HoldsSocket(socketHandle)) return;
  ::close(socketHandle);
  socketHandle = 0;
}

bool TcpClient::Send(const std::string& data, std::optional<int32_t> timeoutSeconds) {
  if (data.empty()) return true;
  const int32_t seconds = timeoutSeconds.value_or(kDefaultWaitSeconds);
  if (WaitFor(socketHandle, POLLOUT, seconds) == WaitOutcome::kTimedOut) return false;
  // Each send is bounded by the same wait, so a peer that stops reading cannot hold the
  // sender for ever.
  timeval limit{seconds > 0 ? seconds : kDefaultWaitSeconds, 0};
  ::setsockopt(socketHandle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(socketHandle, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) RecordErrno();
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool TcpClient::Receive(std::string& data, std::optional<int32_t> timeoutSeconds) {
  data.resize(kReceiveBufferSize);
  const auto receiveNow = [&] {
    ssize_t n;
    do {
      n = ::recv(socketHandle, &data[0], kReceiveBufferSize, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
  };
  // Bytes already waiting need no wait; otherwise wait, then read without blocking, so
  // that after a failed wait the recv decides at once instead of hanging.
  ssize_t n = receiveNow();
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    if (WaitFor(socketHandle, POLLIN, timeoutSeconds.value_or(kDefaultWaitSeconds)) ==
        WaitOutcome::kTimedOut) {
      data.clear();
      return false;
    }
    n = receiveNow();
  }
  if (n <= 0) {
    if (n < 0) RecordErrno();
    data.clear();
    return false;
  }
  data.resize(static_cast<size_t>(n));
  return true;
}

bool TcpClient::Listen() {
  if (::listen(socketHandle, 5) != 0) {
    RecordErrno();
    return false;
  }
  return true;
}

int32_t TcpClient::SocketHandle(std::optional<int32_t> newHandle) {
  if (newHandle) {
    Close();
    socketHandle = *newHandle;
  }
  return socketHandle;
}

bool TcpClient::Accept(TcpClient& client) {
  int fd;
  do {
    fd = ::accept4(socketHandle, nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    RecordErrno();
    return false;
  }
  client.SocketHandle(fd);
  return true;
}

int32_t TcpClient::SendTo(const std::string& data, const std::string& host, uint16_t port) {
  in_addr address{};
  if (!ResolveHost(host, &address)) return 0;
  const sockaddr_in socketAddress = Ipv4Address(address, port);
  const ssize_t n =
      ::sendto(socketHandle, data.data(), data.size(), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress);
  if (n < 0) RecordErrno();
  return static_cast<int32_t>(n);
}

std::string TcpClient::ReceiveFrom(std::string& address, uint16_t& port,
                                   std::optional<int32_t> timeoutSeconds) {
  if (WaitFor(socketHandle, POLLIN, timeoutSeconds.value_or(kDefaultWaitSeconds)) ==
      WaitOutcome::kTimedOut)
    return {};
  std::string data(kReceiveBufferSize, '\0');
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  ssize_t n;
  do {
    n = ::recvfrom(socketHandle, &data[0], kReceiveBufferSize, MSG_DONTWAIT,
                   reinterpret_cast<sockaddr*>(&sender), &length);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    RecordErrno();
    address.clear();
    port = 0;
    return {};
  }
  address = DottedText(sender.sin_addr);
  port = ntohs(sender.sin_port);
  data.resize(static_cast<size_t>(n));
  return data;
}

bool TcpClient::LocalAddress(std::string& address, uint16_t& port) {
  return QueryAddress(::getsockname, socketHandle, address, port);
}

bool TcpClient::PeerAddress(std::string& address, uint16_t& port) {
  return QueryAddress(::getpeername, socketHandle, address, port);
}

bool TcpClient::EnableBroadcast() {
  const int32_t on = 1;
  if (::setsockopt(socketHandle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    RecordErrno();
    return false;
  }
  return true;
}

int32_t TcpClient::LastError() {
  return lastSocketError;
}
