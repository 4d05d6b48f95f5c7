// Download addresses of the demo service, asked for over the socket wrapper: the free
// channel's straight from the file page, the others through a guest login with the
// verification characters read out of the service's test hook.
#pragma once

#include <cstdint>
#include <string>

#include "../../demo/demo_content.h"
#include "app/text_utils.h"
#include "download/socket_wrapper.h"

// One exchange: the request text as given, the whole answer; bounded by the receive wait.
inline std::string DemoExchange(uint16_t port, const std::string& request) {
  TcpClient client;
  std::string answer, block;
  if (client.Create() && client.Connect("127.0.0.1", port) && client.Send(request)) {
    while (client.Receive(block, 5)) answer += block;
  }
  client.Close();
  return answer;
}

inline std::string DemoGet(uint16_t port, const std::string& path, const std::string& cookie = "") {
  return DemoExchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") +
                                "Connection: close\r\n\r\n");
}

inline std::string DecodedLink(const std::string& page) {
  Text encoded = TextBetween(page, "class=\"local\" href=\"", "\"");
  return BytesToText(Base64DecodeText(encoded));
}

inline std::string FreeDownloadAddress(uint16_t port, uint32_t fileId) {
  return DecodedLink(DemoGet(port, "/file/" + std::to_string(fileId)));
}

inline std::string VerifiedDownloadAddress(uint16_t port, uint32_t fileId) {
  const std::string image = DemoGet(port, "/randcodeV2.php");
  const std::string cookie = "PHPSESSID=" + TextBetween(image, "PHPSESSID=", ";");
  const std::string answer = DemoGet(port, "/test/captcha", cookie);
  const std::string code = answer.substr(answer.find("\r\n\r\n") + 4);
  const std::string page = DemoGet(port, "/file/" + std::to_string(fileId));
  const std::string body = "file_id=" + std::to_string(fileId) +
                           "&hash_key=" + TextBetween(page, "hash_key\" value=\"", "\"") +
                           "&randcode=" + code;
  return DecodedLink(DemoExchange(
      port, "POST /guest_loginV2.php HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie +
                "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body));
}

inline std::string DemoBytes(uint32_t fileId, uint64_t offset, size_t n) {
  std::string bytes(n, '\0');
  DemoContent(fileId, offset, bytes.data(), n);
  return bytes;
}
