// Downloads from the demo service in a child process that is killed mid-way and run again.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../unit/download_temp_folder.h"
#include "download/range_downloader.h"

extern char** environ;

namespace {

// Started with these two variables, the test program is a download child: it runs the
// engine once and ends with its result before any test is set up.
constexpr char kChildAddress[] = "QS_FETCH_ADDRESS";
constexpr char kChildTarget[] = "QS_FETCH_TARGET";

[[maybe_unused]] const int kDownloadChild = [] {
  const char* address = std::getenv(kChildAddress);
  const char* target = std::getenv(kChildTarget);
  if (address == nullptr || target == nullptr) return 0;
  std::atomic<int64_t> total{0}, done{0};
  ::_exit(RangeDownloader(address, target, total, done, false, 20480));
}();

}  // namespace

#if defined(QS_DEMO_BINARY) && __has_include("demo_process.h") && \
                                             __has_include("../../demo/demo_content.h")
#include "demo_links.h"
#include "demo_process.h"

namespace {

constexpr uint32_t kFreeFileId = 10002;
constexpr size_t kFreeFileSize = 3355443;

class DownloadChild {
 public:
  DownloadChild(const std::string& address, const std::string& target) {
    std::vector<std::string> variables = {std::string(kChildAddress) + "=" + address,
                                          std::string(kChildTarget) + "=" + target};
    for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
    std::vector<char*> environment;
    for (std::string& variable : variables) environment.push_back(variable.data());
    environment.push_back(nullptr);
    char program[] = "/proc/self/exe";
    char* argv[] = {program, nullptr};
    if (::posix_spawn(&pid_, program, nullptr, nullptr, argv, environment.data()) != 0) pid_ = -1;
  }
  ~DownloadChild() { Kill(); }

  bool Started() const { return pid_ > 0; }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    Wait();
  }
  // The engine's result, or -1 when the child did not end by itself within the bound.
  int Wait(std::chrono::seconds bound = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (pid_ > 0) {
      const pid_t result = ::waitpid(pid_, &status, WNOHANG);
      if (result == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

// Waits until the file exists and its size has not changed for a while.
void AwaitSettledFile(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::error_code error;
  uintmax_t last = static_cast<uintmax_t>(-1);
  int steady = 0;
  while (std::chrono::steady_clock::now() < deadline && steady < 20) {
    const uintmax_t size = std::filesystem::file_size(path, error);
    steady = !error && size == last ? steady + 1 : 0;
    last = error ? static_cast<uintmax_t>(-1) : size;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TEST(DownloadResume, AKilledDownloadResumesToTheSameBytes) {
  DemoProcess demo({"--test-hooks"});
  ASSERT_TRUE(demo.Started()) << demo.Error();
  const std::string address = FreeDownloadAddress(demo.Port(), kFreeFileId);
  ASSERT_EQ(address.rfind(demo.BaseUrl() + "/down/", 0), 0u) << address;
  const std::string whole = DemoBytes(kFreeFileId, 0, kFreeFileSize);

  // Each round kills the child twice: first while the fresh transfer stalls after K1 body
  // bytes, then while the resumed one stalls after K2 more; the third run completes.
  const std::vector<std::pair<size_t, size_t>> rounds = {
      {1, 500000}, {100000, 2000000}, {3000000, 1}, {30000, 30000}};
  for (const auto& [first, second] : rounds) {
    SCOPED_TRACE(std::to_string(first) + " then " + std::to_string(second));
    DownloadTempFolder folder;
    const std::string target = folder.File("demo-free.tar.gz");
    const std::string tmp = target + ".tmp";
    size_t onDisk = 0;
    for (const size_t stallAfter : {first, second}) {
      DownloadChild child(address + "?fault=stall:4:" + std::to_string(stallAfter), target);
      ASSERT_TRUE(child.Started());
      AwaitSettledFile(tmp);
      child.Kill();
      ASSERT_TRUE(folder.Exists("demo-free.tar.gz.tmp"));
      const std::string kept = folder.Read("demo-free.tar.gz.tmp");
      EXPECT_GE(kept.size(), onDisk) << "a resumed transfer only adds";
      EXPECT_LT(kept.size(), kFreeFileSize);
      EXPECT_TRUE(kept == whole.substr(0, kept.size())) << "the kept part is a true prefix";
      onDisk = kept.size();
    }
    DownloadChild last(address, target);
    EXPECT_EQ(last.Wait(), 0);
    EXPECT_FALSE(folder.Exists("demo-free.tar.gz.tmp"));
    EXPECT_TRUE(folder.Read("demo-free.tar.gz") == whole);
  }
}

}  // namespace

#endif
