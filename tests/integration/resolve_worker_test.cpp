// The resolve press and worker on the in-memory controls against the demo service: the
// free channel, the verification loop, failures, a press during the loop, the wait for
// the characters and a click on the verification image.
#include "resolve/resolve_worker.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/text_utils.h"
#include "demo_process.h"
#include "http_test_client.h"
#include "platform/codepage.h"
#include "platform/controls_memory.h"
#include "platform/xml_http.h"
#include "raw_peer.h"
#include "resolve/captcha_refresh.h"

namespace {

using Texts = std::vector<std::string>;

std::string Gbk(const char* utf8) {
  return Utf8ToGbkText(utf8);
}

Texts GbkList(std::initializer_list<const char*> utf8) {
  Texts texts;
  for (const char* text : utf8) texts.push_back(Gbk(text));
  return texts;
}

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Records the enabled state changes of the three hand-off buttons in one sequence.
class LoggedButton : public Button {
 public:
  LoggedButton(std::string name, std::mutex& mutex, Texts& log)
      : name_(std::move(name)), mutex_(mutex), log_(log) {}
  void SetEnabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = enabled;
    log_.push_back(name_ + (enabled ? "+" : "-"));
  }
  bool IsEnabled() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_;
  }

 private:
  std::string name_;
  std::mutex& mutex_;
  Texts& log_;
  bool enabled_ = false;
};

}  // namespace

class ResolveWorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { demo_ = new DemoProcess({"--test-hooks"}); }
  static void TearDownTestSuite() {
    delete demo_;
    demo_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(demo_->Started()) << demo_->Error();
    UseService(demo_->BaseUrl());
    window_ = std::make_unique<MemoryMainWindow>();
    controls_ = window_->Controls();
    controls_.按钮2 = &button2_;
    controls_.按钮3 = &button3_;
    controls_.按钮4 = &button4_;
  }

  void TearDown() override {
    EXPECT_TRUE(EndResolveWorkers(std::chrono::seconds(10)));
    WaitForBackgroundRefreshes();
    unsetenv("QINGSHAN_SERVICE_HOST");
  }

  // Only while no worker runs: workers read the variable.
  static void UseService(const std::string& base) {
    setenv("QINGSHAN_SERVICE_HOST", base.c_str(), 1);
  }

  void Press(const std::string& input) {
    window_->编辑框2.SetText(input);
    StartResolve(controls_);
  }

  // The status texts since the window's start state.
  Texts Statuses() {
    Texts texts = window_->状态条1.History(1);
    if (!texts.empty() && texts.front() == Gbk("状态：准备就绪")) texts.erase(texts.begin());
    return texts;
  }
  std::string Status() { return window_->状态条1.PaneText(1); }
  size_t Images() { return window_->图片框1.ImageHistory().size(); }
  Texts ButtonLog() {
    std::lock_guard<std::mutex> lock(buttonMutex_);
    return buttonLog_;
  }

  bool WaitForStatus(const char* utf8) {
    const std::string wanted = Gbk(utf8);
    return WaitUntil([&] { return Status() == wanted; });
  }

  // Waits until the worker shows image number `count` and asks for the characters.
  bool WaitForImage(size_t count) {
    return WaitUntil([&] { return Images() >= count && window_->编辑框4.FocusCount() >= 1; });
  }

  // The characters of the image the service showed last to the verification session.
  static std::string CurrentCode() {
    const std::string session = XmlHttp::Instance()->CookieValue("PHPSESSID");
    EXPECT_FALSE(session.empty());
    return HttpTestGet(demo_->BaseUrl() + "/test/captcha?session=" + session).body;
  }

  void Type(const std::string& text) { window_->编辑框4.SetText(text); }

  static DemoProcess* demo_;
  std::unique_ptr<MemoryMainWindow> window_;
  MainWindowControls controls_;
  std::mutex buttonMutex_;
  Texts buttonLog_;
  LoggedButton button2_{"2", buttonMutex_, buttonLog_};
  LoggedButton button3_{"3", buttonMutex_, buttonLog_};
  LoggedButton button4_{"4", buttonMutex_, buttonLog_};
};

DemoProcess* ResolveWorkerTest::demo_ = nullptr;

TEST_F(ResolveWorkerTest, FreeChannelGivesTheLinksWithoutVerification) {
  Press("10002");
  ASSERT_TRUE(WaitForStatus("状态：解析成功"));
  ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 0; }));

  EXPECT_EQ(window_->进度条1.History(), (std::vector<int32_t>{0, 100}));
  EXPECT_EQ(Statuses(), GbkList({"状态：正在解析...", "状态：解析成功"}));
  EXPECT_EQ(ButtonLog(), (Texts{"2-", "3-", "4-", "3+", "2+", "4+"}));
  EXPECT_EQ(Images(), 0u);
  EXPECT_FALSE(window_->图片框2.IsVisible());
  EXPECT_EQ(window_->编辑框1.GetText(), "demo-free.tar.gz");
  EXPECT_EQ(window_->编辑框3.GetText(), "3.2 MB");
  EXPECT_EQ(App().fileName.Get(), "demo-free.tar.gz");
  EXPECT_EQ(App().fileSizeText.Get(), "3.2 MB");

  const std::string address = App().downloadUrl.Get();
  EXPECT_EQ(address.rfind(demo_->BaseUrl() + "/down/10002/", 0), 0u) << address;
  std::string thunder = App().thunderUrl.Get();
  ASSERT_EQ(thunder.rfind("thunder://", 0), 0u) << thunder;
  std::string encoded = thunder.substr(10);
  EXPECT_EQ(Base64DecodeText(encoded), "AA" + address + "ZZ");
}

TEST_F(ResolveWorkerTest, ProtectedFileAsksUntilTheCharactersAreRight) {
  Press(demo_->BaseUrl() + "/file/10001");
  ASSERT_TRUE(WaitForImage(1));
  EXPECT_EQ(Status(), Gbk("状态：请输入验证码..."));
  EXPECT_EQ(window_->进度条1.Position(), 50);
  EXPECT_TRUE(window_->图片框2.IsVisible());
  EXPECT_EQ(window_->编辑框1.GetText(), Gbk("青杉测试文档.zip"));
  EXPECT_EQ(window_->编辑框3.GetText(), "12.5 MB");
  const std::string firstImage = window_->图片框1.Image();
  ASSERT_GE(firstImage.size(), 2u);
  EXPECT_EQ(firstImage.substr(0, 2), "\xFF\xD8");  // shown as a JPEG

  Type("ZZZZ");  // Z is never in a code
  ASSERT_TRUE(WaitForStatus("状态：验证码错误，请重试"));
  ASSERT_TRUE(WaitForImage(2));
  EXPECT_EQ(window_->编辑框4.GetText(), "");
  EXPECT_EQ(App().captchaAccepted.load(), 0);
  EXPECT_EQ(window_->进度条1.Position(), 50);
  EXPECT_TRUE(window_->图片框2.IsVisible());

  const std::string code = CurrentCode();
  ASSERT_EQ(code.size(), 3u);
  Type(ToLowerCase(code));  // the service ignores letter case
  ASSERT_TRUE(WaitForStatus("状态：解析成功"));
  ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 0; }));

  EXPECT_EQ(window_->进度条1.History(), (std::vector<int32_t>{0, 50, 75, 100}));
  EXPECT_EQ(Statuses(),
            GbkList({"状态：正在解析...", "状态：请输入验证码...", "状态：验证码错误，请重试",
                     "状态：验证成功，请稍后...", "状态：解析成功"}));
  EXPECT_EQ(ButtonLog(), (Texts{"2-", "3-", "4-", "3+", "2+", "4+"}));
  EXPECT_EQ(Images(), 2u);
  EXPECT_EQ(App().captchaText.Get(), ToLowerCase(code));
  EXPECT_EQ(App().captchaAccepted.load(), 1);
  EXPECT_EQ(window_->编辑框4.GetText(), "");
  EXPECT_FALSE(window_->图片框2.IsVisible());
  EXPECT_EQ(App().downloadUrl.Get().rfind(demo_->BaseUrl() + "/down/10001/", 0), 0u);
  EXPECT_EQ(App().thunderUrl.Get().rfind("thunder://", 0), 0u);
}

TEST_F(ResolveWorkerTest, LoginReplyWithoutLinksStillSucceedsWithEmptyLinks) {
  App().downloadUrl.Set("http://earlier/link");
  App().thunderUrl.Set("thunder://earlier");
  Press("10005");
  ASSERT_TRUE(WaitForImage(1));
  Type(CurrentCode());
  ASSERT_TRUE(WaitForStatus("状态：解析成功"));
  EXPECT_EQ(App().downloadUrl.Get(), "");
  EXPECT_EQ(App().thunderUrl.Get(), "");
  EXPECT_EQ(ButtonLog(), (Texts{"2-", "3-", "4-", "3+", "2+", "4+"}));
}

// No file page: an ID the service does not know, or no service at all.
TEST_F(ResolveWorkerTest, NoFilePageFailsAndKeepsTheButtonsDisabled) {
  struct Case {
    const char* what;
    std::function<std::string()> service;
    std::string input;
  };
  const std::vector<Case> cases = {
      {"unknown ID", [] { return demo_->BaseUrl(); }, "99999"},
      {"refused port", [] { return "http://127.0.0.1:" + std::to_string(RefusedPort()); }, "10001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseService(c.service());
    window_ = std::make_unique<MemoryMainWindow>();
    controls_ = window_->Controls();
    controls_.按钮2 = &button2_;
    controls_.按钮3 = &button3_;
    controls_.按钮4 = &button4_;
    buttonLog_.clear();
    for (Button* button : {controls_.按钮2, controls_.按钮3, controls_.按钮4}) {
      button->SetEnabled(true);  // as an earlier resolve left them
    }
    buttonLog_.clear();
    App().downloadUrl.Set("http://earlier/link");

    Press(c.input);
    ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 0; }));
    EXPECT_EQ(window_->进度条1.History(), (std::vector<int32_t>{0, 100}));
    EXPECT_EQ(Statuses(), GbkList({"状态：正在解析...", "状态：解析失败，请重试"}));
    EXPECT_EQ(ButtonLog(), (Texts{"2-", "3-", "4-"}));
    EXPECT_FALSE(window_->图片框2.IsVisible());
    EXPECT_EQ(window_->编辑框1.GetText(), "");
    EXPECT_EQ(window_->编辑框3.GetText(), "");
    EXPECT_EQ(Images(), 0u);
    EXPECT_EQ(App().downloadUrl.Get(), "http://earlier/link");
  }
}

TEST_F(ResolveWorkerTest, PressDuringVerificationStartsOverAndTheOldWorkerFallsSilent) {
  Press("10001");
  ASSERT_TRUE(WaitForImage(1));
  Type("A");  // half-typed characters of the first file

  Press("10004");
  ASSERT_TRUE(WaitForImage(2));
  ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 1; }));  // the old one has left
  EXPECT_EQ(window_->编辑框1.GetText(), "notes.txt");
  Type(CurrentCode());
  ASSERT_TRUE(WaitForStatus("状态：解析成功"));
  ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 0; }));

  EXPECT_EQ(Statuses(),
            GbkList({"状态：正在解析...", "状态：请输入验证码...", "状态：正在解析...",
                     "状态：请输入验证码...", "状态：验证成功，请稍后...", "状态：解析成功"}));
  EXPECT_EQ(window_->进度条1.History(), (std::vector<int32_t>{0, 50, 0, 50, 75, 100}));
  EXPECT_EQ(window_->编辑框1.History(), (Texts{"", Gbk("青杉测试文档.zip"), "", "notes.txt"}));
  EXPECT_EQ(Images(), 2u);
  EXPECT_EQ(App().downloadUrl.Get().rfind(demo_->BaseUrl() + "/down/10004/", 0), 0u);
}

// The first worker hangs in its file page request; a second press must end it there.
TEST_F(ResolveWorkerTest, PressStopsAWorkerInsideARequestInFlight) {
  RawPeer service([](const std::string&, int index) {
    PeerReply reply;
    if (index == 0) {
      reply.hold = true;  // no answer at all
    } else {
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nno";
    }
    return reply;
  });
  UseService(service.Base());
  Press("10001");
  ASSERT_TRUE(WaitUntil([&] { return service.Requests().size() == 1; }));

  Press("10002");
  ASSERT_TRUE(WaitUntil([] { return RunningResolveWorkers() == 0; }));
  EXPECT_EQ(service.Requests().size(), 2u);
  EXPECT_EQ(Statuses(),
            GbkList({"状态：正在解析...", "状态：正在解析...", "状态：解析失败，请重试"}));
  EXPECT_EQ(window_->进度条1.History(), (std::vector<int32_t>{0, 0, 100}));
  EXPECT_EQ(window_->编辑框1.History(), (Texts{"", "", ""}));
}

// What is in 编辑框4 when the characters go out: typed one at a time they go at the third
// byte, a pasted text goes whole, and a double-byte character counts two bytes.
TEST_F(ResolveWorkerTest, CharactersGoOutAtTheThirdByte) {
  struct Case {
    Texts notYet;  // box contents that must not be sent
    std::string sent;
  };
  const std::vector<Case> cases = {
      {{"A", "AB"}, "ABC"},
      {{}, "ABCDEFGH"},
      {{Gbk("验")}, Gbk("验证")},
  };
  Press("10004");
  size_t rejected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent);
    ASSERT_TRUE(WaitForImage(rejected + 1));
    for (const std::string& partial : c.notYet) {
      Type(partial);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // room to misbehave
      EXPECT_EQ(window_->编辑框4.GetText(), partial);
      EXPECT_EQ(Images(), rejected + 1);
    }
    Type(c.sent);
    ++rejected;
    ASSERT_TRUE(WaitForImage(rejected + 1));
    EXPECT_EQ(App().captchaText.Get(), c.sent);
    EXPECT_EQ(Status(), Gbk("状态：验证码错误，请重试"));
  }
}

// A click on the picture box while the worker waits: a new image, the focus in 编辑框4,
// the typed text left alone, and the new image's characters are the ones the service wants.
TEST_F(ResolveWorkerTest, ClickOnTheImageBringsANewOneForTheSameSession) {
  Press("10004");
  ASSERT_TRUE(WaitForImage(1));
  const int32_t focusBefore = window_->编辑框4.FocusCount();
  Type("X");

  RefreshCaptchaImageInBackground(controls_);
  WaitForBackgroundRefreshes();
  EXPECT_EQ(Images(), 2u);
  EXPECT_EQ(window_->编辑框4.FocusCount(), focusBefore + 1);
  EXPECT_EQ(window_->编辑框4.GetText(), "X");
  const std::string after = CurrentCode();
  EXPECT_EQ(after.size(), 3u);

  Type(after);
  ASSERT_TRUE(WaitForStatus("状态：解析成功"));
  EXPECT_EQ(Statuses().size(), 4u);  // no rejection on the way
}
