#include "download/socket_wrapper.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr int32_t kWsaEinval = 10022;
constexpr int32_t kWsaEtimedout = 10060;
constexpr int32_t kWsaEconnrefused = 10061;

bool IsOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

// A listening TcpClient on 127.0.0.1 with a port the system chose.
struct Listener {
  TcpClient socket;
  uint16_t port = 0;
  Listener() {
    std::string address;
    EXPECT_TRUE(socket.Create());
    EXPECT_TRUE(socket.Bind(0, std::string("127.0.0.1")));
    EXPECT_TRUE(socket.Listen());
    EXPECT_TRUE(socket.LocalAddress(address, port));
    EXPECT_EQ(address, "127.0.0.1");
  }
};

// A client connected to a listener, and the server side of that connection.
struct ConnectedPair {
  Listener listener;
  TcpClient client;
  TcpClient server;
  ConnectedPair() {
    EXPECT_TRUE(client.Create());
    EXPECT_TRUE(client.Bind(0));
    EXPECT_TRUE(client.Connect("127.0.0.1", listener.port));
    EXPECT_TRUE(listener.socket.Accept(server));
  }
};

// Waits, within a bound, until the socket has at least n bytes to read.
void AwaitReadable(const TcpClient& socket, int n) {
  int waiting = 0;
  for (int i = 0; i < 2000 && waiting < n; ++i) {
    ::ioctl(socket.socketHandle, FIONREAD, &waiting);
    if (waiting < n) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(waiting, n);
}

TEST(SocketLibrary, StartupMarksTheLibraryStarted) {
  SocketLibrary library;
  EXPECT_NE(library.startupResult, 0);
  library.Startup();
  EXPECT_EQ(library.startupResult, 0);
}

TEST(TcpClient, AddressTextsThatAreNoAddressGiveInvalidArgument) {
  TcpClient socket;
  ASSERT_TRUE(socket.Create());
  EXPECT_FALSE(socket.Bind(0, std::string("localhost")));
  EXPECT_EQ(socket.LastError(), kWsaEinval);
  // A label longer than 63 characters fails before any name server is asked.
  const std::string unresolvable = std::string(70, 'a') + ".invalid";
  for (const std::string& host : {unresolvable, std::string()}) {
    EXPECT_FALSE(socket.Connect(host, 80)) << host;
    EXPECT_EQ(socket.LastError(), kWsaEinval) << host;
    EXPECT_EQ(socket.SendTo("x", host, 80), 0) << host;
  }
  socket.Close();
}

TEST(TcpClient, ConnectsByDottedAddressAndByName) {
  Listener listener;
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    TcpClient client, server;
    ASSERT_TRUE(client.Create());
    EXPECT_TRUE(client.Connect(host, listener.port)) << host;
    EXPECT_TRUE(listener.socket.Accept(server)) << host;
    std::string local, peer;
    uint16_t localPort = 0, peerPort = 0;
    EXPECT_TRUE(client.LocalAddress(local, localPort));
    EXPECT_TRUE(server.PeerAddress(peer, peerPort));
    EXPECT_EQ(peer, local);
    EXPECT_EQ(peerPort, localPort);
    client.Close();
    server.Close();
  }
}

TEST(TcpClient, RefusedConnectionReadsBackAsItsWindowsNumber) {
  uint16_t freePort;
  {
    Listener gone;
    freePort = gone.port;
    gone.socket.Close();
  }
  TcpClient client;
  ASSERT_TRUE(client.Create());
  EXPECT_FALSE(client.Connect("127.0.0.1", freePort));
  EXPECT_EQ(client.LastError(), kWsaEconnrefused);
  client.Close();
}

TEST(TcpClient, ReceiveDeliversAtMost8191BytesPerCall) {
  ConnectedPair pair;
  const std::string sent(20000, 'z');
  ASSERT_TRUE(pair.server.Send(sent));
  AwaitReadable(pair.client, 20000);
  std::string data;
  for (const size_t expected : {8191u, 8191u, 3618u}) {
    ASSERT_TRUE(pair.client.Receive(data));
    EXPECT_EQ(data.size(), expected);
  }
  EXPECT_TRUE(pair.client.Send(std::string()));
  EXPECT_FALSE(pair.client.Receive(data, 1)) << "nothing more arrives";
  EXPECT_EQ(pair.client.LastError(), kWsaEtimedout);
  pair.server.Close();
  EXPECT_FALSE(pair.client.Receive(data));
  EXPECT_TRUE(data.empty());
}

TEST(TcpClient, SendReachesThePeerWhole) {
  ConnectedPair pair;
  std::string sent(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 253);
  std::string received;
  std::thread reader([&] {
    std::string block;
    while (received.size() < sent.size() && pair.server.Receive(block, 5)) received += block;
  });
  EXPECT_TRUE(pair.client.Send(sent));
  reader.join();
  EXPECT_TRUE(received == sent);
  pair.server.Close();
  // The peer is gone: sending fails instead of raising SIGPIPE.
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) failed = !pair.client.Send(std::string(65536, 'x'), 1);
  EXPECT_TRUE(failed);
}

TEST(TcpClient, CloseEndsTheSocketOnceAndCreateKeepsTheOldOne) {
  TcpClient socket;
  EXPECT_EQ(socket.socketHandle, 0);
  socket.Close();
  EXPECT_EQ(socket.socketHandle, 0);

  ASSERT_TRUE(socket.Create());
  const int first = socket.socketHandle;
  ASSERT_TRUE(socket.Create());
  const int second = socket.socketHandle;
  EXPECT_NE(first, second);
  EXPECT_TRUE(IsOpen(first)) << "Create does not close the socket it replaces";
  ::close(first);
  socket.Close();
  EXPECT_EQ(socket.socketHandle, 0);
  EXPECT_FALSE(IsOpen(second));
  socket.Close();  // the second Close does nothing
  EXPECT_EQ(socket.socketHandle, 0);

  socket.socketHandle = -1;  // as a failed Create leaves it
  socket.Close();
  EXPECT_EQ(socket.socketHandle, -1);
}

TEST(TcpClient, SocketHandleSetterClosesTheHeldSocket) {
  TcpClient socket, other;
  ASSERT_TRUE(socket.Create());
  ASSERT_TRUE(other.Create());
  const int old = socket.socketHandle;
  EXPECT_EQ(socket.SocketHandle(other.socketHandle), other.socketHandle);
  EXPECT_FALSE(IsOpen(old));
  EXPECT_EQ(socket.SocketHandle(), other.socketHandle);
  other.socketHandle = 0;  // one owner left
  const int moved = socket.socketHandle;
  {
    TcpClient destroyed;
    destroyed.SocketHandle(moved);
    socket.socketHandle = 0;
  }
  EXPECT_FALSE(IsOpen(moved)) << "the destructor closes a socket still held";
}

TEST(TcpClient, DatagramsCarryTheirSender) {
  TcpClient receiver, sender;
  ASSERT_TRUE(receiver.Create(true));
  ASSERT_TRUE(receiver.Bind(0, std::string("127.0.0.1")));
  ASSERT_TRUE(sender.Create(true));
  ASSERT_TRUE(sender.Bind(0, std::string("127.0.0.1")));
  EXPECT_TRUE(sender.EnableBroadcast());
  std::string address = "untouched", senderAddress;
  uint16_t port = 7, receiverPort = 0, senderPort = 0;
  ASSERT_TRUE(receiver.LocalAddress(address, receiverPort));
  ASSERT_TRUE(sender.LocalAddress(senderAddress, senderPort));

  address = "untouched";
  EXPECT_EQ(receiver.ReceiveFrom(address, port, 0), "");
  EXPECT_EQ(address, "untouched") << "a time-out leaves the out arguments";
  EXPECT_EQ(port, 7);

  EXPECT_EQ(sender.SendTo("hello", "127.0.0.1", receiverPort), 5);
  EXPECT_EQ(receiver.ReceiveFrom(address, port, 5), "hello");
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(port, senderPort);
  receiver.Close();
  sender.Close();
}

TEST(TcpClient, AddressQueriesOnNoSocketFail) {
  TcpClient socket;
  std::string address = "x";
  uint16_t port = 9;
  EXPECT_FALSE(socket.PeerAddress(address, port));
  EXPECT_EQ(address, "");
  EXPECT_EQ(port, 0);
  ASSERT_TRUE(socket.Create());
  EXPECT_FALSE(socket.PeerAddress(address, port)) << "not connected";
  EXPECT_EQ(socket.LastError(), 10057);
  socket.Close();
}

}  // namespace
