// Guest sessions: the PHPSESSID cookie and the verification code that the
// latest image of each session shows. A code is good for one login try.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

class SessionStore {
 public:
  SessionStore();

  // A fresh random session ID.
  std::string NewSessionId();
  // True when the text can serve as a session ID (what a cookie may carry).
  static bool IsWellFormedId(const std::string& id);

  // Makes a new code for the session (creating it when needed) and returns it.
  std::string NewCode(const std::string& sessionId);
  // The session's current code, left in place (test read-out).
  std::optional<std::string> PeekCode(const std::string& sessionId);
  // The session's current code, removed: the one login try it allows.
  std::optional<std::string> TakeCode(const std::string& sessionId);

  static constexpr const char* kCodeAlphabet = "ACEFHKMNPRTWXY34679";
  static constexpr size_t kCodeLength = 4;
  static constexpr size_t kMaxSessions = 10000;

 private:
  void Remember(const std::string& sessionId);

  std::mutex mutex_;
  std::mt19937_64 random_;
  std::map<std::string, std::string> codes_;
  std::deque<std::string> order_;  // oldest first, to bound the store
};
