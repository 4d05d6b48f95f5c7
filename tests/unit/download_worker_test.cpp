#include "download/download_worker.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/app_state.h"
#include "download/range_downloader.h"
#include "platform/codepage.h"
#include "platform/message_box.h"

namespace {

TEST(SizeTextToBytes, TakesTheLeadingNumberTruncated) {
  const std::vector<std::pair<Text, int64_t>> cases = {
      {"12.5 MB", 12}, {"1 KB", 1},
      {"2.5 GB", 2},   {"0.9 KB", 0},
      {"", 0},         {"MB 12", 0},
      {"1e30", 0},  // no sensible size: the server's head gives the real one
      {"-3.7", -3},    {Utf8ToGbkText("\xEF\xBC\x91\xEF\xBC\x92 MB"), 12},  // full-width digits
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(SizeTextToBytes(text), bytes) << text;
}

TEST(CleanSaveFolder, ExactlyOneBackslashIsRemoved) {
  const Text trailIsBackslash = Utf8ToGbkText("\xE5\x98\xB0");  // 嘰 = 0x87 0x5C
  ASSERT_EQ(trailIsBackslash[1], '\\');
  const std::vector<std::pair<Text, Text>> cases = {
      {"D:\\", "D:"},
      {"D:\\Downloads", "D:Downloads"},
      {"D:\\x\\y", "D:\\x\\y"},
      {"D:\\x\\", "D:\\x\\"},
      {"/home/u/Downloads", "/home/u/Downloads"},
      {"", ""},
      // The 0x5C inside the character is not a backslash: one real one remains to count.
      {"D:\\" + trailIsBackslash, "D:" + trailIsBackslash},
      {"D:" + trailIsBackslash, "D:" + trailIsBackslash},
  };
  for (const auto& [folder, cleaned] : cases) EXPECT_EQ(CleanSaveFolder(folder), cleaned) << folder;
}

TEST(SafeFileName, KeepsTheNameInsideTheFolder) {
  const Text trailIsBackslash = Utf8ToGbkText("\xE5\x98\xB0.zip");
  const std::vector<std::pair<Text, Text>> cases = {
      {"a.zip", "a.zip"},
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"..\\boot.ini", ".._boot.ini"},
      {"a\r\nb\tc\x7F.txt", "a__b_c_.txt"},
      {"   ", "   "},  // blanks pass, as the window's test lets them
      {".", ""},
      {"..", ""},
      {"", ""},
      {"...", "..."},
      {trailIsBackslash, trailIsBackslash},
      {"/", "_"},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name), safe) << name;
  EXPECT_EQ(DownloadTargetPath("D:", "a.zip"), "D:\\a.zip");
}

TEST(ShowDownloadResult, ShowsTheMessageOfEachFailureThenClearsTheCounters) {
  struct Shown {
    std::string text, title;
    int32_t style;
  };
  std::vector<Shown> shown;
  SetMessageBoxHandler([&](const std::string& text, const std::string& title, int32_t style) {
    shown.push_back({text, title, style});
    return kIdOk;
  });
  const std::vector<std::pair<const char*, int32_t>> expected = {
      {"创建对象失败 ", 64}, {"绑定本地端口失败 ", 64}, {"连接服务器失败 ", 64},
      {"数据发送超时 ", 64}, {"下载失败 ", 0},          {"下载失败", 64},
  };
  for (int32_t code = 1; code <= 6; ++code) {
    App().bytesTotal = 100;
    App().bytesDone = 40;
    ShowDownloadResult(code);
    ASSERT_EQ(shown.size(), static_cast<size_t>(code));
    EXPECT_EQ(shown.back().text, Utf8ToGbkText(expected[code - 1].first)) << code;
    EXPECT_EQ(shown.back().title, Utf8ToGbkText("提示")) << code;
    EXPECT_EQ(shown.back().style, expected[code - 1].second) << code;
    EXPECT_EQ(App().bytesTotal.load(), 0) << code;
    EXPECT_EQ(App().bytesDone.load(), 0) << code;
  }
  for (const int32_t code : {0, -1, 7}) {
    App().bytesTotal = 100;
    App().bytesDone = 100;
    ShowDownloadResult(code);
    EXPECT_EQ(App().bytesDone.load(), 100) << code;
  }
  EXPECT_EQ(shown.size(), 6u);
  SetMessageBoxHandler(nullptr);
}

}  // namespace
