#include "app/handoff.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HandOffAddresses, OnlyKnownSchemesAreOpened) {
  const struct {
    std::string target;
    bool web;
    bool downloadManager;
  } cases[] = {
      {"http://127.0.0.1:8080/down/10001/abc", true, true},
      {"HTTPS://example.test/a", true, true},
      {"thunder://QUFodHRwOi8vYS9iWlo=", false, true},
      {"magnet:?xt=urn:btih:0123", false, true},
      {"ed2k://|file|a.zip|1|0123|/", false, true},
      {"ftp://host/file", false, true},
      {"", false, false},
      {"http://", false, false},  // a scheme with nothing after it
      {"file:///etc/passwd", false, false},
      {"/usr/bin/xterm", false, false},
      {"--help", false, false},
      {"javascript:alert(1)", false, false},
      {" http://a/b", false, false},
      {"http://a/b\nfile:///x", false, false},
      {"httpx://a", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWebAddress(c.target), c.web) << c.target;
    EXPECT_EQ(IsDownloadManagerAddress(c.target), c.downloadManager) << c.target;
  }
}

}  // namespace
