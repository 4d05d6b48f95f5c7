// Cooperative cancellation. A worker owns a CancelToken; blocking calls made on its
// thread (page requests, waits) look at the thread's current token and give up early.
#pragma once

#include <atomic>
#include <memory>

class CancelToken {
 public:
  void Cancel() { cancelled_.store(true); }
  bool IsCancelled() const { return cancelled_.load(); }

 private:
  std::atomic<bool> cancelled_{false};
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

// The token of the calling thread, or null when the thread has none.
CancelTokenPtr CurrentCancelToken();
bool CurrentThreadCancelled();

// Makes a token the calling thread's current one for the lifetime of the scope.
class ScopedCancelToken {
 public:
  explicit ScopedCancelToken(CancelTokenPtr token);
  ~ScopedCancelToken();
  ScopedCancelToken(const ScopedCancelToken&) = delete;
  ScopedCancelToken& operator=(const ScopedCancelToken&) = delete;

 private:
  CancelTokenPtr previous_;
};
