#include "web/url.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
  const char* address;
  const char* host;
  const char* hostWithPort;
  int32_t port;
  const char* path;
};

TEST(Url, SplitsHostPortAndObject) {
  const UrlCase cases[] = {
      {"http://example.com/file/12345", "example.com", "example.com", 80, "/file/12345"},
      {"example.com/a/b?x=1", "example.com", "example.com", 80, "/a/b?x=1"},
      {"HTTPS://Secure.Example.COM/Path?Q=A", "secure.example.com", "secure.example.com", 443,
       "/Path?Q=A"},
      {"https://h.example/", "h.example", "h.example", 443, "/"},
      {"http://127.0.0.1:18930/?p=38", "127.0.0.1", "127.0.0.1:18930", 18930, "/?p=38"},
      {"https://host:8443/x", "host", "host:8443", 8443, "/x"},
      {"http://Host.Example", "host.example", "host.example", 80, "/"},
      {"http://host?q=1", "host?q=1", "host?q=1", 80, "/"},
      {"localhost:8080", "localhost", "localhost:8080", 8080, "/"},
      {"ftp.example.org/http://inner/x", "inner", "inner", 80, "/x"},
      // A host that is also a piece of the scheme is still found where the scheme ends.
      {"http://h/a", "h", "h", 80, "/a"},
      {"http://tp:81/a/b", "tp", "tp:81", 81, "/a/b"},
      {"https://s/x", "s", "s", 443, "/x"},
      {"", "", "", 80, "/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlHost(c.address), c.host) << c.address;
    EXPECT_EQ(UrlHost(c.address, true), c.hostWithPort) << c.address;
    EXPECT_EQ(UrlPort(c.address), c.port) << c.address;
    EXPECT_EQ(UrlPath(c.address), c.path) << c.address;
  }
}

}  // namespace
