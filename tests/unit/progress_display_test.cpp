#include "app/progress_display.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "download/download_outcome.h"
#include "platform/codepage.h"
#include "platform/controls_memory.h"
#include "platform/shell.h"

namespace {

std::string G(const std::string& utf8) {
  return Utf8ToGbkText(utf8);
}

// The main window's controls in memory, with the timer running and shell opens recorded.
class ProgressDisplayTest : public ::testing::Test {
 protected:
  ProgressDisplayTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qs-progress-XXXXXX").string();
    folder_ = ::mkdtemp(&pattern[0]) ? pattern : std::string();
    window_.时钟1.SetPeriod(500);
    SetShellOpenHandler([this](const std::string& target) {
      opened_.push_back(target);
      return true;
    });
    AppState& app = App();
    app.saveFolder.Set(folder_);
    app.fileName.Set(G("青杉.zip"));
    app.openAfterDownload.store(0);
    app.bytesDone.store(0);  // other tests of this binary share AppState
    app.bytesTotal.store(0);
    DownloadOutcome().store(kDownloadOutcomeNone);
  }
  ~ProgressDisplayTest() override {
    SetShellOpenHandler(nullptr);
    App().bytesDone.store(0);
    App().bytesTotal.store(0);
    std::filesystem::remove_all(folder_);
  }

  void Tick(uint32_t openWaitLimitMs = 30000) {
    ProgressDisplayOptions options;
    options.openWaitLimitMs = openWaitLimitMs;
    ProgressDisplayTick(window_.Controls(), options);
  }

  void SetCounters(int64_t done, int64_t total) {
    App().bytesTotal.store(total);
    App().bytesDone.store(done);
  }

  std::string TargetFile() const { return folder_ + "/青杉.zip"; }

  MemoryMainWindow window_;
  std::string folder_;
  std::vector<std::string> opened_;
};

TEST_F(ProgressDisplayTest, NoDownloadLeavesEverythingAlone) {
  Tick();
  EXPECT_TRUE(window_.进度条1.History().empty());
  EXPECT_EQ(window_.状态条1.History(1).size(), 1u);  // the start text only
  EXPECT_TRUE(window_.按钮1.IsEnabled());
  EXPECT_EQ(window_.时钟1.Period(), 500u);
}

TEST_F(ProgressDisplayTest, RunningDownloadShowsItsPercentageAndLocksTheButtons) {
  window_.按钮4.SetEnabled(true);
  SetCounters(42, 100);
  Tick();
  EXPECT_EQ(window_.进度条1.Position(), 42);
  EXPECT_EQ(window_.状态条1.PaneText(1), G("状态：正在下载  42%"));
  EXPECT_FALSE(window_.按钮1.IsEnabled());
  EXPECT_FALSE(window_.按钮4.IsEnabled());
  EXPECT_EQ(App().bytesDone.load(), 42);
  EXPECT_EQ(window_.时钟1.Period(), 500u);
}

TEST_F(ProgressDisplayTest, CompletionAboveHundredShowsTheValueThenCompletes) {
  SetCounters(150, 100);
  Tick();
  EXPECT_EQ(window_.状态条1.History(1),
            (std::vector<std::string>{G("状态：准备就绪"), G("状态：正在下载  150%"),
                                      G("状态：下载完成")}));
  EXPECT_EQ(window_.进度条1.Position(), 150);
  EXPECT_TRUE(window_.按钮1.IsEnabled());
  EXPECT_TRUE(window_.按钮4.IsEnabled());
  EXPECT_EQ(App().bytesDone.load(), 0);
  EXPECT_EQ(App().bytesTotal.load(), 0);
  EXPECT_EQ(window_.时钟1.Period(), 0u);
  EXPECT_TRUE(opened_.empty());  // "下载" without opening
}

TEST_F(ProgressDisplayTest, OpenAfterDownloadOpensTheFileOnceItExists) {
  App().openAfterDownload.store(1);
  // The file shows up a moment after the counters reach the end.
  std::thread late([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::ofstream(TargetFile()) << "x";
  });
  SetCounters(100, 100);
  Tick();
  late.join();
  EXPECT_EQ(opened_, std::vector<std::string>{G(TargetFile())});
  EXPECT_EQ(App().openAfterDownload.load(), 1);  // kept for the next download
  EXPECT_EQ(window_.时钟1.Period(), 0u);
}

TEST_F(ProgressDisplayTest, WaitForTheFileEndsOnAReportedFailureOrAtItsBound) {
  App().openAfterDownload.store(1);
  struct {
    int32_t outcome;
    uint32_t limitMs;
    int fileLateMs;  // the file turns up only after the wait should have ended
  } cases[] = {
      {kDownloadOutcomeFailed, 60000, 300},  // the worker reported the failure
      {kDownloadOutcomeRunning, 50, 1000},   // nobody reports anything: the bound ends it
  };
  for (const auto& c : cases) {
    std::filesystem::remove(TargetFile());
    DownloadOutcome().store(c.outcome);
    window_.时钟1.SetPeriod(500);
    SetCounters(100, 100);
    std::thread late([this, &c] {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.fileLateMs));
      std::ofstream(TargetFile()) << "x";
    });
    Tick(c.limitMs);
    late.join();
    EXPECT_TRUE(opened_.empty()) << c.outcome;
    EXPECT_EQ(window_.时钟1.Period(), 0u);
  }
}

}  // namespace
