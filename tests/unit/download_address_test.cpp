#include "download/download_address.h"

#include <gtest/gtest.h>

#include <vector>

#include "download_temp_folder.h"
#include "platform/codepage.h"

namespace {

struct AddressCase {
  const char* address;
  const char* host;
  uint16_t port;
  const char* hostValue;
  const char* requestPath;
};

TEST(ParseDownloadAddress, HostPortAndRequestPath) {
  const std::vector<AddressCase> cases = {
      {"http://dl.example.com/dl/a.zip", "dl.example.com", 80, "dl.example.com", "dl/a.zip"},
      {"http://127.0.0.1:8080/down/1/t", "127.0.0.1", 8080, "127.0.0.1:8080", "down/1/t"},
      // A port written with a leading zero loses it in the Host value, so the prefix built
      // from it is not in the address and the whole address is the path.
      {"http://127.0.0.1:08080/down/1", "127.0.0.1", 8080, "127.0.0.1:8080",
       "http://127.0.0.1:08080/down/1"},
      {"http://host", "host", 80, "host", "http://host"},
      {"http://h:1:2/x", "h", 1, "h:1", "http://h:1:2/x"},
      {"http://h:70000/x", "h", 4464, "h:4464", "http://h:70000/x"},  // kept to 16 bits
      {"HTTP://host/x", "host", 80, "host", "HTTP://host/x"},         // letter case counts
      {"http://host/a b\r\nX-Evil: 1", "host", 80, "host", "a%20b%0D%0AX-Evil:%201"},
      {"http://host/\x7F\t%41", "host", 80, "host", "%7F%09%41"},
      {"nothing", "", 80, "", "nothing"},
  };
  for (const AddressCase& c : cases) {
    const DownloadAddress parsed = ParseDownloadAddress(c.address);
    EXPECT_EQ(parsed.host, c.host) << c.address;
    EXPECT_EQ(parsed.port, c.port) << c.address;
    EXPECT_EQ(parsed.hostValue, c.hostValue) << c.address;
    EXPECT_EQ(parsed.requestPath, c.requestPath) << c.address;
  }
}

TEST(ParseDownloadAddress, GbkBytesInThePathGoOutUnchanged) {
  const Text name = Utf8ToGbkText("青杉.zip");
  EXPECT_EQ(ParseDownloadAddress("http://h/" + name).requestPath, name);
}

TEST(RequestTexts, ByteForByte) {
  const DownloadAddress address = ParseDownloadAddress("http://127.0.0.1:8080/down/10001/tok");
  EXPECT_EQ(FreshRequest(address),
            "GET /down/10001/tok HTTP/1.1\r\n"
            "Accept: */*\r\n"
            "Accept-Language: zh-cn\r\n"
            "Host: 127.0.0.1:8080\r\n"
            "Connection: Keep-Alive\r\n"
            "\r\n\r\n");
  EXPECT_EQ(ResumeRequest(address, 5000000000LL),
            "GET /down/10001/tok HTTP/1.1\r\n"
            "Host: 127.0.0.1:8080\r\n"
            "Accept: */*\r\n"
            "Referer: http://127.0.0.1:8080\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
            "Range: bytes=5000000000-\r\n"
            "Pragma: no-cache\r\n"
            "Cache-Control: no-cache\r\n"
            "Connection: close\r\n\r\n");
}

TEST(FreeTargetPath, PutsTheNumberBeforeTheExtensionOfTheFileName) {
  DownloadTempFolder folder;
  folder.Write("a.tar.gz", "x");
  folder.Write("a(1).tar.gz", "x");
  folder.Write("b.zip", "x");
  folder.Write("noext", "x");
  folder.Write(".hidden", "x");
  const std::string dotted = folder.path() + "/v1.2";  // a "." in a folder name
  std::filesystem::create_directory(dotted);
  const Text gbkName = Utf8ToGbkText("\xE5\x98\xB0.zip");  // 嘰: second byte is 0x5C
  ASSERT_EQ(gbkName[1], '\\');
  std::ofstream(dotted + "/" + "\xE5\x98\xB0.zip") << "x";
  std::ofstream(dotted + "/c.zip") << "x";

  const std::string base = folder.path();
  EXPECT_EQ(FreeTargetPath(base + "\\a.tar.gz"), base + "\\a(2).tar.gz");
  EXPECT_EQ(FreeTargetPath(base + "\\b.zip"), base + "\\b(1).zip");
  EXPECT_EQ(FreeTargetPath(base + "/noext"), base + "/noext(1)");
  EXPECT_EQ(FreeTargetPath(base + "/.hidden"), base + "/.hidden(1)");
  EXPECT_EQ(FreeTargetPath(dotted + "\\c.zip"), dotted + "\\c(1).zip");
  EXPECT_EQ(FreeTargetPath(dotted + "\\" + gbkName),
            dotted + "\\" + Utf8ToGbkText("\xE5\x98\xB0(1).zip"));
}

TEST(FreeTargetPath, AfterAHundredTakenNamesTheHundredthIsUsed) {
  DownloadTempFolder folder;
  for (int n = 1; n <= 100; ++n) folder.Write("f(" + std::to_string(n) + ").bin", "x");
  EXPECT_EQ(FreeTargetPath(folder.File("f.bin")), folder.File("f(100).bin"));
  EXPECT_EQ(folder.Read("f(100).bin"), "x");
}

}  // namespace
