// The HTTP session of the verification fetch: one libcurl handle, created by the first fetch
// and kept until the program ends, whose in-memory cookie store carries the service's
// cookies from the image request to the guest login. Requests on it take turns.
#pragma once

#include <mutex>
#include <string>

#include "platform/http_transport.h"

class XmlHttp {
 public:
  // The session in App().xmlHttp, created on first use; null when no handle can be made.
  static XmlHttp* Instance();

  // One request with the cookie store, after any request already running on the session.
  HttpResponse Send(const HttpRequest& request);

  // The value of the named cookie in the session's store; empty when there is none.
  std::string CookieValue(const std::string& name);

  XmlHttp(const XmlHttp&) = delete;
  XmlHttp& operator=(const XmlHttp&) = delete;

 private:
  explicit XmlHttp(CURL* handle) : handle_(handle) {}
  ~XmlHttp() = delete;  // lives to the end of the program: a late fetch thread may use it

  std::mutex mutex_;
  CURL* handle_;
};
