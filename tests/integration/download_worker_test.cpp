#include "download/download_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "../unit/download_temp_folder.h"
#include "app/app_state.h"
#include "download/download_outcome.h"
#include "download/range_downloader.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "scripted_peer.h"

namespace {

std::string OkWith(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// What the worker showed and did, in order.
struct WorkerRecord {
  std::vector<std::string> events;
  int32_t outcomeWhenShown = -1;
};

class DownloadWorkerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReceiveWaitSeconds(5);
    SetMessageBoxHandler([this](const std::string& text, const std::string&, int32_t style) {
      record.events.push_back("message " + GbkToUtf8(text) + " " + std::to_string(style));
      record.outcomeWhenShown = DownloadOutcome().load();
      return kIdOk;
    });
    App().saveFolder.Set(folder.path());
    App().fileSizeText.Set("1 KB");
    App().bytesTotal = 0;
    App().bytesDone = 0;
  }
  void TearDown() override {
    SetMessageBoxHandler(nullptr);
    SetReceiveWaitSeconds(15);
  }
  DownloadWorkerHooks Hooks(const std::string& address) {
    return {[address] { return address; }, [this] { record.events.push_back("close"); }};
  }

  DownloadTempFolder folder;
  WorkerRecord record;
};

TEST_F(DownloadWorkerRun, DownloadsIntoTheFolderAndClosesTheWindow) {
  const std::string body(3000, 'b');
  ScriptedPeer peer({PeerAction::Send(OkWith(body))});
  App().fileName.Set("../escape.bin");
  DownloadWorker(Hooks("http://127.0.0.1:" + std::to_string(peer.port()) + "/x"));
  peer.Request();
  EXPECT_EQ(record.events, std::vector<std::string>{"close"});
  EXPECT_EQ(DownloadOutcome().load(), kDownloadOutcomeSucceeded);
  EXPECT_EQ(App().fileName.Get(), ".._escape.bin");
  EXPECT_EQ(folder.Read(".._escape.bin"), body);
  EXPECT_EQ(App().bytesTotal.load(), 3000) << "left for the main window to see 100 %";
  EXPECT_EQ(App().bytesDone.load(), 3000);
}

TEST_F(DownloadWorkerRun, AFailureIsToldBeforeItsMessageAndClearsTheCounters) {
  ScriptedPeer peer({PeerAction::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")});
  App().fileName.Set("a.bin");
  DownloadWorker(Hooks("http://127.0.0.1:" + std::to_string(peer.port()) + "/x"));
  peer.Request();
  EXPECT_EQ(record.events, (std::vector<std::string>{"message 下载失败 64", "close"}));
  EXPECT_EQ(record.outcomeWhenShown, kDownloadOutcomeFailed);
  EXPECT_EQ(App().bytesTotal.load(), 0);
  EXPECT_FALSE(folder.Exists("a.bin"));
}

TEST_F(DownloadWorkerRun, ANameThatLeavesNothingIsRefusedWithoutAConnection) {
  ScriptedPeer peer({PeerAction::Send(OkWith("never"))});
  App().fileName.Set("..");
  DownloadWorker(Hooks("http://127.0.0.1:" + std::to_string(peer.port()) + "/x"));
  EXPECT_EQ(peer.Stop(), "") << "no request was made";
  EXPECT_EQ(record.events, (std::vector<std::string>{"message 下载失败 64", "close"}));
}

TEST_F(DownloadWorkerRun, RunsOnAThreadOfItsOwnWithTheSizeTextFirst) {
  const std::string body(20000, 'c');
  std::promise<void> closed;
  int64_t totalBeforeHead = -1;
  ScriptedPeer peer({PeerAction::WaitUntil([&] {
                       totalBeforeHead = App().bytesTotal.load();
                       return true;
                     }),
                     PeerAction::Send(OkWith(body))});
  App().fileName.Set("t.bin");
  App().fileSizeText.Set("19.5 KB");
  App().downloadUrl.Set("http://127.0.0.1:" + std::to_string(peer.port()) + "/t");
  StartDownloadWorker({nullptr, [&] { closed.set_value(); }});
  ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  peer.Request();
  EXPECT_EQ(totalBeforeHead, 19);
  EXPECT_EQ(folder.Read("t.bin"), body);
}

}  // namespace
