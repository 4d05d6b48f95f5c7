#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/codepage.h"

namespace {

std::mutex handlerMutex;
MessageBoxHandler& Handler() {
  static auto* handler = new MessageBoxHandler();  // never destroyed: workers may outlive main
  return *handler;
}

}  // namespace

std::string DefaultMessageBoxTitle() { return Utf8ToGbkText("信息："); }

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  Handler() = std::move(handler);
}

int32_t ShowMessageBox(const std::string& text, const std::string& title, int32_t style) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = Handler();
  }
  const std::string shownTitle = title.empty() ? DefaultMessageBoxTitle() : title;
  if (handler) return handler(text, shownTitle, style);
  // Without a window system the box becomes a line on stderr and the first button.
  std::fprintf(stderr, "[%s] %s\n", GbkToUtf8(shownTitle).c_str(), GbkToUtf8(text).c_str());
  return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}
