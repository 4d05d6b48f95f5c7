// Every route but the downloads, on cpp-httplib: file pages, the verification
// image, the guest login, the update notice and the test switches.
#pragma once

#include <httplib.h>

#include "fd_stream.h"
#include "service_state.h"

class PageServer : public httplib::Server {
 public:
  explicit PageServer(ServiceState& state);

  // Reads one request from stream and answers it. closed tells that the
  // connection must not carry another request.
  bool ServeOne(FdStream& stream, bool lastOnConnection, bool& closed);

 private:
  void AddServiceRoutes();
  void AddTestRoutes();

  void FilePage(const httplib::Request& request, httplib::Response& response);
  void CaptchaImage(const httplib::Request& request, httplib::Response& response);
  void GuestLogin(const httplib::Request& request, httplib::Response& response);
  void RootPage(const httplib::Request& request, httplib::Response& response);
  void CaptchaReadOut(const httplib::Request& request, httplib::Response& response);
  void ArmFault(const httplib::Request& request, httplib::Response& response);

  ServiceState& state_;
};

// The value of one cookie in a Cookie header; empty when absent.
std::string CookieValue(const std::string& cookieHeader, const std::string& name);
// The value of one field of an unencoded form body a=1&b=2; empty when absent.
std::string FormValue(const std::string& body, const std::string& name);
