#include "app/config.h"

#include <cstdlib>

#include "platform/codepage.h"

namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return Utf8ToGbkText(value && *value ? value : fallback);
}

}  // namespace

std::string ServiceHost() {
  return FromEnvironment("QINGSHAN_SERVICE_HOST", QS_DEFAULT_SERVICE_HOST);
}

std::string UpdatePageUrl() {
  return FromEnvironment("QINGSHAN_UPDATE_URL", QS_DEFAULT_UPDATE_PAGE_URL);
}
