#include "platform/shell.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/codepage.h"

namespace {

// A folder with a stand-in xdg-open that writes its arguments, one a line, to a file;
// PATH points there for the length of the test.
class ShellOpenTest : public ::testing::Test {
 protected:
  ShellOpenTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qs-shell-XXXXXX").string();
    folder_ = ::mkdtemp(&pattern[0]) ? pattern : std::string();
    const std::string opener = folder_ + "/xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                          << folder_ << "/args.tmp\"\nmv \"" << folder_ << "/args.tmp\" \""
                          << folder_ << "/args\"\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (folder_ + ":" + oldPath_).c_str(), 1);
    ::unsetenv("QINGSHAN_TEST_SHELL_LOG");
  }
  ~ShellOpenTest() override {
    ::setenv("PATH", oldPath_.c_str(), 1);
    ::unsetenv("QINGSHAN_TEST_SHELL_LOG");
    std::filesystem::remove_all(folder_);
  }

  // The arguments the opener got, once it has written them (bounded wait).
  std::string OpenerArguments() {
    const std::string path = folder_ + "/args";
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Whether every child of this process has been reaped by someone else (bounded wait).
  static bool NoChildLeft() {
    for (int i = 0; i < 500; ++i) {
      siginfo_t info{};
      // WNOWAIT looks without reaping, so only ShellOpen's own reaping can clear it.
      if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string folder_;
  std::string oldPath_;
};

TEST_F(ShellOpenTest, TargetReachesTheOpenerAsOneArgumentWithoutAShell) {
  const std::string target = Utf8ToGbkText("http://h/a b;touch x|$(id)'\"/青杉.zip");
  ASSERT_TRUE(ShellOpen(target));
  EXPECT_EQ(OpenerArguments(), "http://h/a b;touch x|$(id)'\"/青杉.zip\n");
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/x"));
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellOpenTest, OptionLikeAndEmptyTargetsAreRefused) {
  EXPECT_FALSE(ShellOpen("--version"));
  EXPECT_FALSE(ShellOpen(""));
}

TEST_F(ShellOpenTest, OpenerMissingFromPathFails) {
  ::setenv("PATH", folder_.c_str(), 1);
  std::filesystem::remove(folder_ + "/xdg-open");
  EXPECT_FALSE(ShellOpen("http://h/a"));
}

TEST_F(ShellOpenTest, TestLogReceivesTheTargetsInsteadOfTheDesktop) {
  const std::string log = folder_ + "/opened.log";
  ::setenv("QINGSHAN_TEST_SHELL_LOG", log.c_str(), 1);
  EXPECT_TRUE(ShellOpen("http://h/1"));
  EXPECT_TRUE(ShellOpen(Utf8ToGbkText("thunder://青")));
  std::ifstream in(log);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "http://h/1\nthunder://青\n");
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/args"));
}

TEST_F(ShellOpenTest, HandlerSeamTakesPrecedence) {
  std::string seen;
  SetShellOpenHandler([&](const std::string& target) {
    seen = target;
    return false;
  });
  EXPECT_FALSE(ShellOpen("http://h/2"));
  SetShellOpenHandler(nullptr);
  EXPECT_EQ(seen, "http://h/2");
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/args"));
}

}  // namespace
