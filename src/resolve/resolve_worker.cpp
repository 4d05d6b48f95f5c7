#include "resolve/resolve_worker.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "app/config.h"
#include "app/text_utils.h"
#include "platform/cancel.h"
#include "platform/codepage.h"
#include "resolve/captcha.h"
#include "resolve/captcha_refresh.h"
#include "resolve/scraping.h"
#include "web/page_request.h"

namespace {

constexpr int32_t kStatusPane = 1;
constexpr auto kCharacterPoll = std::chrono::milliseconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(1);

// The texts the status pane shows, in GBK.
struct StatusTexts {
  Text parsing = Utf8ToGbkText("状态：正在解析...");
  Text failed = Utf8ToGbkText("状态：解析失败，请重试");
  Text enterCaptcha = Utf8ToGbkText("状态：请输入验证码...");
  Text captchaWrong = Utf8ToGbkText("状态：验证码错误，请重试");
  Text captchaRight = Utf8ToGbkText("状态：验证成功，请稍后...");
  Text resolved = Utf8ToGbkText("状态：解析成功");
};

const StatusTexts& Status() {
  static const StatusTexts* texts = new StatusTexts();
  return *texts;
}

// Who may write: the press and every step of a worker that changes a control or a field
// of AppState hold `writes`; a worker step runs only while its token is not cancelled, and
// the press cancels the previous token under the same lock before it starts the next
// worker, so a stopped worker has no moment left in which to write. Never released: a
// stopped worker may still be leaving while the program ends.
struct ResolveGate {
  std::mutex writes;
  std::mutex currentMutex;
  CancelTokenPtr current;  // the newest worker's token
  std::mutex aliveMutex;
  std::condition_variable aliveChanged;
  int32_t alive = 0;
};

ResolveGate& Gate() {
  static ResolveGate* gate = new ResolveGate();
  return *gate;
}

// Takes `writes` from the thread that runs the window's handlers. A worker may hold it
// while one of its control calls waits to be carried out on this very thread, so the
// pending calls are let through until the lock is free.
std::unique_lock<std::mutex> TakeWritesFromHandlerThread() {
  std::unique_lock<std::mutex> lock(Gate().writes, std::try_to_lock);
  while (!lock.owns_lock()) {
    ProcessPendingMessages();
    std::this_thread::sleep_for(kLockPoll);
    lock.try_lock();
  }
  return lock;
}

void CancelCurrent() {
  std::lock_guard<std::mutex> lock(Gate().currentMutex);
  if (Gate().current) Gate().current->Cancel();
}

// One worker's right to write, checked and used under the gate's lock.
class WorkerWrites {
 public:
  explicit WorkerWrites(CancelTokenPtr token) : token_(std::move(token)) {}

  // Runs the step unless this worker has been stopped; false when it has.
  template <typename Step>
  bool Run(Step&& step) {
    std::lock_guard<std::mutex> lock(Gate().writes);
    if (token_->IsCancelled()) return false;
    step();
    return true;
  }

  bool Stopped() const { return token_->IsCancelled(); }

 private:
  CancelTokenPtr token_;
};

class ResolveRun {
 public:
  ResolveRun(const MainWindowControls& controls, CancelTokenPtr token)
      : c_(controls), writes_(std::move(token)) {}

  void Run() {
    if (!ReadFileId()) return;
    inHand_ = PageRequest(ServiceHost() + "/file/" + fileId_);
    const FilePageFacts facts = ScrapeFilePage(inHand_);
    if (!ShowFacts(facts)) return;
    if (!facts.freeChannel) {
      if (facts.fileName.empty() && facts.fileSizeText.empty()) {
        Fail();
        return;
      }
      if (!Verify(facts.hashKey)) return;
    }
    if (!StoreLinks()) return;
    Succeed();
  }

 private:
  bool ReadFileId() {
    return writes_.Run([&] { fileId_ = FileIdFromInput(c_.编辑框2->GetText()); });
  }

  bool ShowFacts(const FilePageFacts& facts) {
    return writes_.Run([&] {
      AppState& app = App();
      app.hashKey.Set(facts.hashKey);
      app.fileName.Set(facts.fileName);
      c_.编辑框1->SetText(facts.fileName);
      c_.编辑框3->SetText(facts.fileSizeText);
      app.fileSizeText.Set(facts.fileSizeText);
    });
  }

  void Fail() {
    writes_.Run([&] {
      c_.进度条1->SetPosition(100);
      SetStatus(Status().failed);
      c_.图片框2->SetVisible(false);
    });
  }

  // The verification loop: a new image each pass until the service takes the characters.
  // Leaves the accepted login reply in hand; false when the worker was stopped.
  bool Verify(const Text& hashKey) {
    const bool asked = writes_.Run([&] {
      c_.进度条1->SetPosition(50);
      App().captchaAccepted = 0;
      SetStatus(Status().enterCaptcha);
    });
    if (!asked) return false;
    for (;;) {
      if (!writes_.Run([&] { c_.编辑框4->SetText(Text()); })) return false;
      // The refresh runs under the lock, so even the fetch's own fields are written only
      // while this worker is the current one.
      if (!writes_.Run([&] { RefreshCaptchaImage(c_); })) return false;
      if (!WaitForCharacters()) return false;
      Text captchaText;
      const bool taken = writes_.Run([&] {
        captchaText = c_.编辑框4->GetText();
        App().captchaText.Set(captchaText);
        c_.编辑框4->SetText(Text());
      });
      if (!taken) return false;
      Text reply;
      const bool sent = writes_.Run([&] {
        reply = CaptchaFetcher(ServiceHost() + "/guest_loginV2.php", "post",
                               GuestLoginBody(fileId_, hashKey, captchaText));
      });
      if (!sent || writes_.Stopped()) return false;  // a stopped fetch's text is not a reply
      inHand_ = reply;
      if (IsLoginRejected(reply)) {
        if (!writes_.Run([&] {
              SetStatus(Status().captchaWrong);
              App().captchaAccepted = 0;
            }))
          return false;
        continue;
      }
      return writes_.Run([&] {
        c_.进度条1->SetPosition(75);
        SetStatus(Status().captchaRight);
        App().captchaAccepted = 1;
      });
    }
  }

  // Three bytes or more in 编辑框4 end the wait; there is no time limit, only a stop.
  bool WaitForCharacters() {
    Text typed;
    if (!writes_.Run([&] { typed = c_.编辑框4->GetText(); })) return false;
    while (TextLength(typed) <= 2) {
      ProcessPendingMessages();
      std::this_thread::sleep_for(kCharacterPoll);
      if (!writes_.Run([&] { typed = c_.编辑框4->GetText(); })) return false;
    }
    return true;
  }

  bool StoreLinks() {
    const ResolvedLinks links = ExtractLinks(inHand_);
    return writes_.Run([&] {
      App().downloadUrl.Set(links.downloadUrl);
      App().thunderUrl.Set(links.thunderUrl);
    });
  }

  void Succeed() {
    writes_.Run([&] {
      c_.进度条1->SetPosition(100);
      SetStatus(Status().resolved);
      c_.按钮3->SetEnabled(true);
      c_.按钮2->SetEnabled(true);
      c_.按钮4->SetEnabled(true);
      c_.图片框2->SetVisible(false);
    });
  }

  void SetStatus(const Text& text) { c_.状态条1->SetPaneText(kStatusPane, text); }

  const MainWindowControls c_;
  WorkerWrites writes_;
  Text fileId_;
  Text inHand_;  // the file page, then the accepted login reply
};

void WorkerEnded() {
  ResolveGate& gate = Gate();
  std::lock_guard<std::mutex> lock(gate.aliveMutex);
  --gate.alive;
  gate.aliveChanged.notify_all();
}

void ResolveWorker(const MainWindowControls& controls, const CancelTokenPtr& token) {
  // Page requests and verification fetches on this thread give up once the token is cancelled.
  ScopedCancelToken scope(token);
  ResolveRun(controls, token).Run();
}

// Starts the worker and makes its token the current one; called with `writes` held.
void LaunchWorker(const MainWindowControls& controls) {
  ResolveGate& gate = Gate();
  auto token = std::make_shared<CancelToken>();
  {
    std::lock_guard<std::mutex> lock(gate.currentMutex);
    gate.current = token;
  }
  {
    std::lock_guard<std::mutex> lock(gate.aliveMutex);
    ++gate.alive;
  }
  try {
    std::thread([controls, token] {
      ResolveWorker(controls, token);
      WorkerEnded();
    }).detach();
  } catch (const std::system_error&) {
    WorkerEnded();  // no thread: the resolve does not run
  }
}

}  // namespace

void StartResolve(const MainWindowControls& controls) {
  // The previous worker is stopped before the first control changes, so that none of its
  // late writes can undo the resets below. Cancelling first makes it leave a request or
  // a wait at once; cancelling again under the lock covers a press that ran meanwhile.
  CancelCurrent();
  std::unique_lock<std::mutex> lock = TakeWritesFromHandlerThread();
  CancelCurrent();
  controls.按钮2->SetEnabled(false);
  controls.按钮3->SetEnabled(false);
  controls.按钮4->SetEnabled(false);
  controls.图片框2->SetVisible(true);
  controls.进度条1->SetPosition(0);
  controls.编辑框1->SetText(Text());
  controls.编辑框3->SetText(Text());
  controls.状态条1->SetPaneText(kStatusPane, Status().parsing);
  LaunchWorker(controls);
}

bool EndResolveWorkers(std::chrono::milliseconds limit) {
  {
    std::unique_lock<std::mutex> lock = TakeWritesFromHandlerThread();
    CancelCurrent();
  }
  ResolveGate& gate = Gate();
  // A leaving worker never waits for this thread: it writes nothing once stopped.
  std::unique_lock<std::mutex> lock(gate.aliveMutex);
  return gate.aliveChanged.wait_for(lock, limit, [&] { return gate.alive == 0; });
}

int32_t RunningResolveWorkers() {
  std::lock_guard<std::mutex> lock(Gate().aliveMutex);
  return Gate().alive;
}
