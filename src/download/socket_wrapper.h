// The socket library and the one TCP socket object of the built-in downloader.
// Blocking POSIX sockets whose failures read back as Windows Sockets error numbers
// (10022 WSAEINVAL when an address text cannot be turned into an address, 10060,
// 10061, ... mapped from errno). Texts are GBK; addresses are dotted IPv4.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class SocketLibrary {
 public:
  virtual ~SocketLibrary();
  void Startup();  // marks the library started; startupResult 0 means started
  int32_t startupResult = -1;
};

class TcpClient {
 public:
  virtual ~TcpClient();  // closes a socket still held, without resetting the handle

  bool Create(std::optional<bool> udp = std::nullopt);
  bool Bind(uint16_t port, std::optional<std::string> localAddress = std::nullopt);
  bool Connect(const std::string& host, uint16_t port);
  void Close();
  bool Send(const std::string& data, std::optional<int32_t> timeoutSeconds = std::nullopt);
  bool Receive(std::string& data, std::optional<int32_t> timeoutSeconds = std::nullopt);
  bool Listen();
  int32_t SocketHandle(std::optional<int32_t> newHandle = std::nullopt);
  bool Accept(TcpClient& client);
  int32_t SendTo(const std::string& data, const std::string& host, uint16_t port);
  std::string ReceiveFrom(std::string& address, uint16_t& port,
                          std::optional<int32_t> timeoutSeconds = std::nullopt);
  bool LocalAddress(std::string& address, uint16_t& port);
  bool PeerAddress(std::string& address, uint16_t& port);
  bool EnableBroadcast();
  int32_t LastError();

  int32_t socketHandle = 0;  // 0 and -1 both mean "no socket"
};
