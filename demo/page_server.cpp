#include "page_server.h"

#include "captcha_image.h"
#include "pages.h"

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";

// Compares two codes with ASCII letter case ignored.
bool SameCode(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string CookieValue(const std::string& cookieHeader, const std::string& name) {
  size_t start = 0;
  while (start <= cookieHeader.size()) {
    size_t end = cookieHeader.find(';', start);
    if (end == std::string::npos) end = cookieHeader.size();
    const std::string pair = Trim(cookieHeader.substr(start, end - start));
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.substr(0, equals) == name) {
      return pair.substr(equals + 1);
    }
    start = end + 1;
  }
  return {};
}

std::string FormValue(const std::string& body, const std::string& name) {
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.substr(0, equals) == name) {
      return pair.substr(equals + 1);
    }
    start = end + 1;
  }
  return {};
}

PageServer::PageServer(ServiceState& state) : state_(state) {
  AddServiceRoutes();
  if (state_.Options().testHooks) AddTestRoutes();
  set_keep_alive_max_count(100);
  set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    state_.Log(request.method + " " + request.target + " " + std::to_string(response.status) + " " +
               std::to_string(response.body.size()));
  });
}

bool PageServer::ServeOne(FdStream& stream, bool lastOnConnection, bool& closed) {
  return process_request(stream, lastOnConnection, closed, nullptr);
}

void PageServer::AddServiceRoutes() {
  using httplib::Request;
  using httplib::Response;
  Get("/", [this](const Request& q, Response& r) { RootPage(q, r); });
  Get("/file/([^/]*)", [this](const Request& q, Response& r) { FilePage(q, r); });
  Get("/randcodeV2.php", [this](const Request& q, Response& r) { CaptchaImage(q, r); });
  Post("/guest_loginV2.php", [this](const Request& q, Response& r) { GuestLogin(q, r); });
  Get("/release/([^/]+)", [](const Request& q, Response& r) {
    r.set_content("青杉网盘解析工具 " + q.matches[1].str() + "（演示服务中的占位文件）\n", kText);
  });
}

void PageServer::AddTestRoutes() {
  using httplib::Request;
  using httplib::Response;
  Get("/test/captcha", [this](const Request& q, Response& r) { CaptchaReadOut(q, r); });
  Get("/test/fault", [this](const Request& q, Response& r) { ArmFault(q, r); });
}

void PageServer::RootPage(const httplib::Request& request, httplib::Response& response) {
  if (request.get_param_value("p") == "38") {
    response.set_content(UpdatePageHtml(state_.Options().announceVersion, state_.BaseUrl()), kHtml);
  } else {
    response.set_content(IndexPageHtml(), kHtml);
  }
}

void PageServer::FilePage(const httplib::Request& request, httplib::Response& response) {
  const std::string idText = request.matches[1].str();
  const DemoFile* file = FindDemoFile(idText);
  if (file == nullptr) {
    response.set_content(MissingFilePageHtml(idText), kHtml);
    return;
  }
  response.set_content(FilePageHtml(*file, state_.DownloadUrlOf(*file)), kHtml);
}

void PageServer::CaptchaImage(const httplib::Request& request, httplib::Response& response) {
  std::string session = CookieValue(request.get_header_value("Cookie"), "PHPSESSID");
  if (!SessionStore::IsWellFormedId(session)) {
    session = state_.Sessions().NewSessionId();
    response.set_header("Set-Cookie", "PHPSESSID=" + session + "; path=/");
  }
  const std::string code = state_.Sessions().NewCode(session);
  response.set_header("Cache-Control", "no-store, no-cache, must-revalidate");
  response.set_content(RenderCaptchaPng(code, state_.NextImageSeed()), "image/png");
}

void PageServer::GuestLogin(const httplib::Request& request, httplib::Response& response) {
  const std::string idText = FormValue(request.body, "file_id");
  const std::string hashKey = FormValue(request.body, "hash_key");
  const std::string typed = FormValue(request.body, "randcode");
  const std::string session = CookieValue(request.get_header_value("Cookie"), "PHPSESSID");

  // The code is used up by this try whatever the other fields say.
  const std::optional<std::string> code =
      session.empty() ? std::nullopt : state_.Sessions().TakeCode(session);
  const DemoFile* file = FindDemoFile(idText);
  const bool accepted =
      code && SameCode(*code, typed) && file != nullptr && hashKey == HashKeyOf(*file);
  if (!accepted) {
    response.set_content(LoginRejectedHtml(idText), kHtml);
    return;
  }
  response.set_content(LoginAcceptedHtml(*file, state_.DownloadUrlOf(*file)), kHtml);
}

void PageServer::CaptchaReadOut(const httplib::Request& request, httplib::Response& response) {
  std::string session = request.get_param_value("session");
  if (session.empty()) session = CookieValue(request.get_header_value("Cookie"), "PHPSESSID");
  const std::optional<std::string> code =
      session.empty() ? std::nullopt : state_.Sessions().PeekCode(session);
  if (!code) {
    response.status = 404;
    response.set_content("no code for this session\n", kText);
    return;
  }
  response.set_content(*code, kText);
}

void PageServer::ArmFault(const httplib::Request& request, httplib::Response& response) {
  const std::optional<DownloadFault> fault = ParseDownloadFault(request.get_param_value("f"));
  if (!fault) {
    response.status = 400;
    response.set_content("unknown fault\n", kText);
    return;
  }
  state_.ArmFault(*fault);
  response.set_content("armed\n", kText);
}
