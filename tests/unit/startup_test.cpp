#include "app/startup.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "platform/codepage.h"

namespace {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A temporary HOME with an empty XDG configuration, so the documents folder is
// $HOME/Documents.
class StartupTest : public ::testing::Test {
 protected:
  static std::string NewHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qs-home-XXXXXX").string();
    if (!::mkdtemp(&pattern[0])) return {};
    std::filesystem::create_directory(pattern + "/Documents");
    return pattern;
  }
  ~StartupTest() override { std::filesystem::remove_all(home_); }

  void WriteSaveFolderFile(const std::string& bytes) {
    std::ofstream(home_ + "/Documents/青杉_保存路径.txt", std::ios::binary) << bytes;
  }

  const std::string home_ = NewHome();
  ScopedEnv homeEnv_{"HOME", home_};
  ScopedEnv configEnv_{"XDG_CONFIG_HOME", home_ + "/no-config"};
};

TEST_F(StartupTest, SaveFolderFileIsReadUpToTheFirstZeroByteAndNotTrimmed) {
  const std::string folder = Utf8ToGbkText("/home/u/下载");
  const struct {
    std::string content;
    std::string expected;
  } cases[] = {
      {folder, folder},
      {folder + "\r\n", folder + "\r\n"},
      {" " + folder + " ", " " + folder + " "},
      {folder + std::string("\0tail", 5), folder},
      {std::string("\0", 1) + folder, ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    WriteSaveFolderFile(c.content);
    EXPECT_EQ(ReadSaveFolderFile(), c.expected) << GbkToUtf8(c.content);
  }
}

TEST_F(StartupTest, MissingSaveFolderFileGivesAnEmptyFolder) {
  App().saveFolder.Set("stale");
  RecordMainWindowCreation();
  EXPECT_EQ(App().saveFolder.Get(), "");
  EXPECT_EQ(App().currentVersion.Get(), "v2.0");
}

TEST_F(StartupTest, CreationRecordsTheRememberedFolder) {
  WriteSaveFolderFile(Utf8ToGbkText("/data/青杉\n"));
  RecordMainWindowCreation();
  EXPECT_EQ(App().saveFolder.Get(), Utf8ToGbkText("/data/青杉\n"));
}

TEST_F(StartupTest, WithoutDocumentsFolderTheNameAloneIsUsed) {
  ScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(SaveFolderFilePath(), Utf8ToGbkText("青杉_保存路径.txt"));
}

TEST(MainWindowCaption, VersionFollowsTheTitleWithoutABlank) {
  EXPECT_EQ(GbkToUtf8(MainWindowCaption(CurrentVersionText())), "青杉网盘解析工具v2.0");
}

}  // namespace
