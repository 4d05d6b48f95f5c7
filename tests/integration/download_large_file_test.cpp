// The demo service's file of more than 2 GiB: cut short past the 2 GiB mark, then resumed
// from there, and compared byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "../unit/download_temp_folder.h"
#include "download/range_downloader.h"

#if defined(QS_DEMO_BINARY) && __has_include("demo_process.h") && \
                                             __has_include("../../demo/demo_content.h")
#include "demo_links.h"
#include "demo_process.h"

namespace {

constexpr uint32_t kLargeFileId = 10003;
constexpr int64_t kLargeFileSize = 2684354560;
constexpr int64_t kCutAt = 2200000000;  // past 2^31

// True when the file holds exactly the demo file's bytes.
bool HoldsDemoFile(const std::string& path, uint32_t fileId, int64_t size) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::vector<char> got(1 << 20), expected(1 << 20);
  int64_t offset = 0;
  bool same = true;
  size_t n;
  while (same && (n = std::fread(got.data(), 1, got.size(), file)) > 0) {
    DemoContent(fileId, static_cast<uint64_t>(offset), expected.data(), n);
    same = std::equal(got.begin(), got.begin() + static_cast<long>(n), expected.begin());
    offset += static_cast<int64_t>(n);
  }
  std::fclose(file);
  return same && offset == size;
}

TEST(DownloadLargeFile, ResumesPastTwoGibibytes) {
#if defined(__SANITIZE_THREAD__)
  // Single-threaded work that takes minutes under ThreadSanitizer; the other builds run it.
  GTEST_SKIP() << "2.5 GB through ThreadSanitizer";
#endif
  DemoProcess demo({"--test-hooks"});
  ASSERT_TRUE(demo.Started()) << demo.Error();
  const std::string address = VerifiedDownloadAddress(demo.Port(), kLargeFileId);
  ASSERT_EQ(address.rfind(demo.BaseUrl() + "/down/", 0), 0u) << address;
  DownloadTempFolder folder;
  const std::string target = folder.File("big.iso");
  std::atomic<int64_t> total{0}, done{0};

  EXPECT_EQ(RangeDownloader(address + "?fault=close:" + std::to_string(kCutAt), target, total, done,
                            false, 20480),
            5);
  EXPECT_EQ(total.load(), kLargeFileSize);
  EXPECT_EQ(done.load(), kCutAt);
  EXPECT_EQ(std::filesystem::file_size(target + ".tmp"), static_cast<uintmax_t>(kCutAt));

  EXPECT_EQ(RangeDownloader(address, target, total, done, false, 20480), 0);
  EXPECT_EQ(total.load(), kLargeFileSize);
  EXPECT_EQ(done.load(), kLargeFileSize);
  EXPECT_TRUE(HoldsDemoFile(target, kLargeFileId, kLargeFileSize));
}

}  // namespace

#endif
