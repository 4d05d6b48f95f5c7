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
