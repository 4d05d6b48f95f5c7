// The update check in this process against the demo service: message boxes, shell opens
// and the end of the program are recorded instead of shown, opened and ended.
#include "update/update_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "demo_process.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "raw_peer.h"

namespace {

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() {
    SetMessageBoxHandler([this](const std::string& text, const std::string& title, int32_t style) {
      boxes_.push_back(GbkToUtf8(title) + "|" + std::to_string(style) + "|" + GbkToUtf8(text));
      return kIdOk;
    });
    SetShellOpenHandler([this](const std::string& target) {
      opened_.push_back(target);
      return true;
    });
    SetProgramEndHandler([this](int code) { endCodes_.push_back(code); });
    App().currentVersion.Set("v2.0");
  }
  ~UpdateCheckTest() override {
    SetMessageBoxHandler(nullptr);
    SetShellOpenHandler(nullptr);
    SetProgramEndHandler(nullptr);
    ::unsetenv("QINGSHAN_UPDATE_URL");
  }

  void CheckAgainst(const std::string& updateUrl) {
    ::setenv("QINGSHAN_UPDATE_URL", updateUrl.c_str(), 1);
    UpdateCheck();
  }

  void ExpectSilent() {
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(opened_.empty());
    EXPECT_TRUE(endCodes_.empty());
  }

  std::vector<std::string> boxes_;
  std::vector<std::string> opened_;
  std::vector<int> endCodes_;
};

TEST_F(UpdateCheckTest, SameVersionAnnouncesNothing) {
  DemoProcess demo;
  ASSERT_TRUE(demo.Started()) << demo.Error();
  CheckAgainst(demo.BaseUrl() + "/?p=38");
  ExpectSilent();
  EXPECT_EQ(App().latestVersion.Get(), "v2.0");
  EXPECT_EQ(App().updateDownloadUrl.Get(), demo.BaseUrl() + "/release/qingshan-v2.0.tar.gz");
}

TEST_F(UpdateCheckTest, OtherVersionIsAnnouncedOpenedAndEndsTheProgram) {
  DemoProcess demo({"--announce-version", "v2.1"});
  ASSERT_TRUE(demo.Started()) << demo.Error();
  CheckAgainst(demo.BaseUrl() + "/?p=38");
  EXPECT_EQ(boxes_,
            std::vector<std::string>{"更新提示：|64|发现新版本：青杉网盘解析工具v2.1\r\n\r\n"
                                     "line1\r\nline2\r\nline3\r\n"});
  EXPECT_EQ(opened_, std::vector<std::string>{demo.BaseUrl() + "/release/qingshan-v2.1.tar.gz"});
  EXPECT_EQ(endCodes_, std::vector<int>{0});
}

TEST_F(UpdateCheckTest, NoPageOrNoLabelEndsSilently) {
  DemoProcess demo;
  ASSERT_TRUE(demo.Started()) << demo.Error();
  const std::string closedPort = "http://127.0.0.1:1/?p=38";
  for (const std::string& url : {closedPort, demo.BaseUrl() + "/file/99999"}) {
    CheckAgainst(url);
    EXPECT_EQ(App().latestVersion.Get(), "") << url;
  }
  ExpectSilent();
}

TEST_F(UpdateCheckTest, AnAddressThatIsNoWebAddressIsNotOpenedButTheProgramStillEnds) {
  for (const std::string& address : {"file:///etc/passwd", "/usr/bin/xterm", ""}) {
    const std::string page =
        "<p>版本号：v3.0</p><p>更新说明：x</p><p>下载地址：" + address + "</p>";
    RawPeer peer(
        PeerReply{"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                  "Content-Length: " +
                  std::to_string(page.size()) + "\r\n\r\n" + page});
    boxes_.clear();
    endCodes_.clear();
    CheckAgainst(peer.Base() + "/?p=38");
    EXPECT_EQ(boxes_.size(), 1u) << address;
    EXPECT_EQ(endCodes_, std::vector<int>{0}) << address;
  }
  EXPECT_TRUE(opened_.empty());
}

}  // namespace
