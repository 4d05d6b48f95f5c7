#include "platform/controls.h"

#include <mutex>

namespace {

std::mutex handlerMutex;
std::function<void()>& Handler() {
  static auto* handler = new std::function<void()>();  // never destroyed: workers may outlive main
  return *handler;
}

}  // namespace

void SetPendingMessagesHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  Handler() = std::move(handler);
}

void ProcessPendingMessages() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = Handler();
  }
  if (handler) handler();
}
