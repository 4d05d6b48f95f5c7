#include "resolve/captcha_refresh.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/config.h"
#include "platform/cancel.h"
#include "resolve/captcha.h"

namespace {

// Made once and never released: a background refresh may still run while the program ends.
struct RefreshShared {
  std::mutex turn;  // one refresh at a time: its fetch, its image, its showing
  std::mutex countMutex;
  std::condition_variable allEnded;
  int running = 0;
};

RefreshShared& Shared() {
  static RefreshShared* shared = new RefreshShared();
  return *shared;
}

void BackgroundRefreshEnded() {
  RefreshShared& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.countMutex);
  if (--shared.running == 0) shared.allEnded.notify_all();
}

}  // namespace

void RefreshCaptchaImage(const MainWindowControls& controls) {
  {
    std::lock_guard<std::mutex> turn(Shared().turn);
    CaptchaFetcher(ServiceHost() + "/randcodeV2.php", "get");  // the returned text is not used
    const Bytes jpeg = TakeCaptchaJpeg();
    if (CurrentThreadCancelled()) return;  // a superseded worker shows nothing
    controls.图片框1->SetImage(jpeg);
  }
  controls.标签3->RaiseFeedback();
}

void RefreshCaptchaImageInBackground(const MainWindowControls& controls) {
  RefreshShared& shared = Shared();
  {
    std::lock_guard<std::mutex> lock(shared.countMutex);
    ++shared.running;
  }
  try {
    std::thread([controls] {
      ScopedCancelToken noToken(nullptr);  // the user's own request is never superseded
      RefreshCaptchaImage(controls);
      BackgroundRefreshEnded();
    }).detach();
  } catch (const std::system_error&) {
    BackgroundRefreshEnded();  // no thread, no new image
  }
}

void WaitForBackgroundRefreshes() {
  RefreshShared& shared = Shared();
  std::unique_lock<std::mutex> lock(shared.countMutex);
  while (shared.running > 0) {
    // A refresh may be waiting for its picture to be shown by this very thread.
    lock.unlock();
    ProcessPendingMessages();
    lock.lock();
    shared.allEnded.wait_for(lock, std::chrono::milliseconds(5));
  }
}
