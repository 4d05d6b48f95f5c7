#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../unit/download_temp_folder.h"
#include "app/app_state.h"
#include "download/range_downloader.h"
#include "scripted_peer.h"

namespace {

// Bytes that differ from position to position, so a misplaced piece shows.
std::string Pattern(size_t offset, size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((offset + i) * 7 % 251);
  return bytes;
}

std::string Head(const std::string& statusLine, const std::string& headers) {
  return statusLine + "\r\n" + headers + "\r\n";
}
std::string Ok(size_t length) {
  return Head("HTTP/1.1 200 OK", "Content-Length: " + std::to_string(length) + "\r\n");
}
std::string Partial(size_t from, size_t length, size_t total) {
  return Head("HTTP/1.1 206 Partial Content",
              "Content-Range: bytes " + std::to_string(from) + "-" +
                  std::to_string(from + length - 1) + "/" + std::to_string(total) +
                  "\r\nContent-Length: " + std::to_string(length) + "\r\n");
}

// Splits bytes into sends of the given size with short pauses, so they arrive as blocks.
std::vector<PeerAction> InPieces(const std::string& bytes, size_t size) {
  std::vector<PeerAction> actions;
  for (size_t at = 0; at < bytes.size(); at += size) {
    actions.push_back(PeerAction::Send(bytes.substr(at, size)));
    actions.push_back(PeerAction::Pause(5));
  }
  return actions;
}

class DownloadEngine : public ::testing::Test {
 protected:
  void SetUp() override { SetReceiveWaitSeconds(5); }
  void TearDown() override { SetReceiveWaitSeconds(15); }

  std::atomic<int64_t> total{0};
  std::atomic<int64_t> done{0};
  DownloadTempFolder folder;
};

struct EngineCase {
  std::string name;
  std::vector<PeerAction> script;
  std::optional<std::string> tmpBefore;  // content of "f.bin.tmp" before the run
  int32_t result;
  std::optional<std::string> target;  // content of "f.bin" afterwards; nullopt: absent
  std::optional<std::string> tmpAfter;
  std::string requestHas;  // a piece the request must hold
  std::optional<int64_t> bytesTotal = std::nullopt;
  int32_t receiveWaitSeconds = 5;
};

TEST_F(DownloadEngine, ScriptedAnswers) {
  const std::string body = Pattern(0, 1500);
  const std::string big = Pattern(0, 300000);
  const std::string junk(1000, 'j');
  const std::string earlier = body.substr(0, 1000);
  std::vector<EngineCase> cases;
  cases.push_back({"head and whole body in one block",
                   {PeerAction::Send(Ok(1500) + body)},
                   std::nullopt,
                   0,
                   body,
                   std::nullopt,
                   "Connection: Keep-Alive\r\n\r\n\r\n",
                   1500});
  cases.push_back({"content length 0",
                   {PeerAction::Send(Ok(0))},
                   std::nullopt,
                   0,
                   std::string(),
                   std::nullopt,
                   "GET /f.bin HTTP/1.1\r\n",
                   0});
  cases.push_back({"many blocks",
                   {PeerAction::Send(Ok(big.size())), PeerAction::Send(big)},
                   std::nullopt,
                   0,
                   big,
                   std::nullopt,
                   "",
                   static_cast<int64_t>(big.size())});
  cases.push_back({"head split over blocks", InPieces(Ok(1500) + body, 7), std::nullopt, 0, body,
                   std::nullopt, "", 1500});
  cases.push_back(
      {"206 from where the tmp ends",
       {PeerAction::Send(Partial(1000, 500, 1500)), PeerAction::Send(body.substr(1000))},
       earlier,
       0,
       body,
       std::nullopt,
       "Range: bytes=1000-\r\n",
       1500});
  cases.push_back({"200 to a range starts afresh",
                   {PeerAction::Send(Ok(1500) + body)},
                   junk,
                   0,
                   body,
                   std::nullopt,
                   "Range: bytes=1000-\r\n",
                   1500});
  for (const char* refusal : {"HTTP/1.1 302 Found\r\nLocation: /f.bin\r\nContent-Length: 0",
                              "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0",
                              "HTTP/1.0 200 OK\r\nContent-Length: 500",
                              "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-499/1500\r\n"
                              "Content-Length: 500",
                              "HTTP/1.1 206 Partial\r\nContent-Length: 500",
                              "HTTP/1.1 404 Not Found\r\nContent-Length: 500"}) {
    cases.push_back({refusal,
                     {PeerAction::Send(std::string(refusal) + "\r\n\r\n" + junk)},
                     earlier,
                     6,
                     std::nullopt,
                     earlier,
                     "Range: bytes=1000-\r\n"});
  }
  cases.push_back({"head without an end within 64 KiB",
                   {PeerAction::Send("HTTP/1.1 200 OK\r\n" + std::string(70000, 'h'))},
                   earlier,
                   6,
                   std::nullopt,
                   earlier,
                   ""});
  cases.push_back({"head cut off",
                   {PeerAction::Send("HTTP/1.1 200 OK\r\nContent-Le")},
                   earlier,
                   6,
                   std::nullopt,
                   earlier,
                   ""});
  cases.push_back({"more bytes than announced",
                   {PeerAction::Send(Ok(500) + body.substr(0, 300)), PeerAction::Pause(5),
                    PeerAction::Send(body.substr(300, 500))},
                   std::nullopt,
                   5,
                   std::nullopt,
                   std::nullopt,
                   "",
                   500});
  cases.push_back({"no length announced",
                   {PeerAction::Send(Head("HTTP/1.1 200 OK", "") + body)},
                   std::nullopt,
                   5,
                   std::nullopt,
                   std::nullopt,
                   "",
                   0});
  cases.push_back({"closed early keeps the tmp",
                   {PeerAction::Send(Ok(1500) + body.substr(0, 700))},
                   std::nullopt,
                   5,
                   std::nullopt,
                   body.substr(0, 700),
                   "",
                   1500});
  cases.push_back({"closed before answering keeps the tmp",
                   {},
                   earlier,
                   5,
                   std::nullopt,
                   earlier,
                   "Range: bytes=1000-\r\n"});
  cases.push_back({"silent for longer than the wait keeps the tmp",
                   {PeerAction::Send(Ok(1500) + body.substr(0, 200)), PeerAction::Pause(2500)},
                   std::nullopt,
                   5,
                   std::nullopt,
                   body.substr(0, 200),
                   "",
                   1500,
                   1});

  for (EngineCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetReceiveWaitSeconds(c.receiveWaitSeconds);
    DownloadTempFolder place;
    if (c.tmpBefore) place.Write("f.bin.tmp", *c.tmpBefore);
    ScriptedPeer peer(std::move(c.script));
    total = 0;
    done = 0;
    const std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/f.bin";
    EXPECT_EQ(RangeDownloader(address, place.File("f.bin"), total, done), c.result);
    const std::string request = peer.Request();
    EXPECT_NE(request.find(c.requestHas), std::string::npos) << request;
    EXPECT_EQ(place.Exists("f.bin"), c.target.has_value());
    if (c.target) {
      EXPECT_TRUE(place.Read("f.bin") == *c.target);
    }
    EXPECT_EQ(place.Exists("f.bin.tmp"), c.tmpAfter.has_value());
    if (c.tmpAfter) {
      EXPECT_TRUE(place.Read("f.bin.tmp") == *c.tmpAfter);
    }
    if (c.bytesTotal) {
      EXPECT_EQ(total.load(), *c.bytesTotal);
    }
    EXPECT_EQ(App().tcpClient.socketHandle, 0) << "the connection is closed";
  }
}

TEST_F(DownloadEngine, AddressFormsReachThePeer) {
  const std::string body = Pattern(0, 64);
  for (const std::string authority : {"127.0.0.1:%", "127.0.0.1:0%", "localhost:%"}) {
    ScriptedPeer peer({PeerAction::Send(Ok(body.size()) + body)});
    const std::string port = std::to_string(peer.port());
    const std::string written = authority.substr(0, authority.size() - 1) + port;
    const std::string host = authority.substr(0, authority.find(':'));
    const std::string address = "http://" + written + "/dl/a.zip";
    SCOPED_TRACE(address);
    EXPECT_EQ(RangeDownloader(address, folder.File("a.zip"), total, done), 0);
    const std::string request = peer.Request();
    // Written with a leading zero, the port does not match the Host value, so the whole
    // address goes out as the path.
    const std::string path = written == host + ":" + port ? "dl/a.zip" : address;
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /" + path + " HTTP/1.1");
    EXPECT_NE(request.find("\r\nHost: " + host + ":" + port + "\r\n"), std::string::npos);
    EXPECT_TRUE(folder.Read("a.zip") == body);
    std::filesystem::remove(folder.File("a.zip"));
  }
}

TEST_F(DownloadEngine, CountersGiveTheTotalBeforeProgress) {
  const std::string body = Pattern(0, 1500);
  folder.Write("f.bin.tmp", body.substr(0, 1000));
  int64_t totalAtFirstProgress = -1, firstProgress = -1;
  ScriptedPeer peer({PeerAction::Send(Partial(1000, 500, 1500)), PeerAction::WaitUntil([&] {
                       firstProgress = done.load();
                       totalAtFirstProgress = total.load();
                       return firstProgress != 0;
                     }),
                     PeerAction::Send(body.substr(1000, 200)), PeerAction::Pause(5),
                     PeerAction::Send(body.substr(1200))});
  const std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/f.bin";
  EXPECT_EQ(RangeDownloader(address, folder.File("f.bin"), total, done, false, 20480), 0);
  peer.Request();
  EXPECT_EQ(firstProgress, 1000);
  EXPECT_EQ(totalAtFirstProgress, 1500);
  EXPECT_EQ(done.load(), 1500);
  EXPECT_TRUE(folder.Read("f.bin") == body);
}

TEST_F(DownloadEngine, ACutShortTransferResumesToAnIdenticalFile) {
  const std::string body = Pattern(0, 50000);
  const auto run = [&](std::vector<PeerAction> script) {
    ScriptedPeer peer(std::move(script));
    const std::string at = "http://127.0.0.1:" + std::to_string(peer.port()) + "/f.bin";
    const int32_t result = RangeDownloader(at, folder.File("f.bin"), total, done);
    return std::make_pair(result, peer.Request());
  };
  auto [first, firstRequest] = run({PeerAction::Send(Ok(body.size()) + body.substr(0, 12345))});
  EXPECT_EQ(first, 5);
  EXPECT_EQ(firstRequest.find("Range:"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(folder.File("f.bin.tmp")), 12345u);
  auto [second, secondRequest] =
      run({PeerAction::Send(Partial(12345, body.size() - 12345, body.size())),
           PeerAction::Send(body.substr(12345))});
  EXPECT_EQ(second, 0);
  EXPECT_NE(secondRequest.find("Range: bytes=12345-\r\n"), std::string::npos);
  EXPECT_TRUE(folder.Read("f.bin") == body);
  EXPECT_FALSE(folder.Exists("f.bin.tmp"));
}

TEST_F(DownloadEngine, AnExistingNameGetsAFreeOne) {
  const std::string body = Pattern(0, 100);
  folder.Write("a.tar.gz", "old");
  ScriptedPeer peer({PeerAction::Send(Ok(body.size()) + body)});
  const std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/a.tar.gz";
  EXPECT_EQ(RangeDownloader(address, folder.File("a.tar.gz"), total, done, true), 0);
  peer.Request();
  EXPECT_EQ(folder.Read("a.tar.gz"), "old");
  EXPECT_TRUE(folder.Read("a(1).tar.gz") == body);
}

TEST_F(DownloadEngine, ATmpThatCannotBeOpenedIsLeftAlone) {
  std::filesystem::create_directory(folder.File("f.bin.tmp"));
  ScriptedPeer peer({PeerAction::Send(Ok(10) + "0123456789")});
  const std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/f.bin";
  EXPECT_EQ(RangeDownloader(address, folder.File("f.bin"), total, done), 5);
  peer.Request();
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("f.bin.tmp")));
  EXPECT_FALSE(folder.Exists("f.bin"));
}

TEST_F(DownloadEngine, SizeOnlyLearnsTheSizeAndWritesNothing) {
  ScriptedPeer peer({PeerAction::Send(Ok(5000000000LL) + "abc")});
  const std::string address = "http://127.0.0.1:" + std::to_string(peer.port()) + "/f.bin";
  EXPECT_EQ(RangeDownloader(address, folder.File("f.bin"), total, done, false, 0, true), 0);
  peer.Request();
  EXPECT_EQ(total.load(), 5000000000LL);
  EXPECT_EQ(done.load(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(DownloadEngine, NobodyListeningIsAConnectFailure) {
  uint16_t closedPort;
  {
    ScriptedPeer peer({});
    closedPort = peer.port();
  }
  folder.Write("f.bin.tmp", "kept");
  const std::string address = "http://127.0.0.1:" + std::to_string(closedPort) + "/f.bin";
  EXPECT_EQ(RangeDownloader(address, folder.File("f.bin"), total, done), 3);
  EXPECT_EQ(folder.Read("f.bin.tmp"), "kept");
  EXPECT_EQ(App().tcpClient.socketHandle, 0);
}

}  // namespace
