#include "platform/xml_http.h"

#include <curl/curl.h>

#include "app/app_state.h"

XmlHttp* XmlHttp::Instance() {
  std::atomic<XmlHttp*>& slot = App().xmlHttp;
  if (XmlHttp* existing = slot.load()) return existing;
  EnsureCurlInitialised();
  static std::mutex creating;  // trivially destructible, so safe for threads still running at exit
  std::lock_guard<std::mutex> lock(creating);
  if (XmlHttp* existing = slot.load()) return existing;
  CURL* handle = curl_easy_init();
  if (!handle) return nullptr;
  // An empty cookie file name turns on the in-memory cookie store, once for the handle's life.
  if (curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "") != CURLE_OK) {
    curl_easy_cleanup(handle);
    return nullptr;
  }
  auto* session = new XmlHttp(handle);
  slot.store(session);
  return session;
}

HttpResponse XmlHttp::Send(const HttpRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  return HttpTransferOn(handle_, request);
}

std::string XmlHttp::CookieValue(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  curl_slist* cookies = nullptr;
  if (curl_easy_getinfo(handle_, CURLINFO_COOKIELIST, &cookies) != CURLE_OK) return {};
  std::string value;
  // Netscape lines: domain, subdomains, path, secure, expiry, name, value (tab-separated).
  for (curl_slist* entry = cookies; entry; entry = entry->next) {
    std::string fields[7];
    size_t index = 0;
    for (const char* p = entry->data; *p && index < 7; ++p) {
      if (*p == '\t') {
        ++index;
      } else {
        fields[index] += *p;
      }
    }
    if (index == 6 && fields[5] == name) value = fields[6];
  }
  curl_slist_free_all(cookies);
  return value;
}
