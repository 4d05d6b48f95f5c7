#include "sessions.h"

#include <cstring>

SessionStore::SessionStore() : random_(std::random_device{}()) {}

std::string SessionStore::NewSessionId() {
  static const char kHex[] = "0123456789abcdef";
  std::lock_guard<std::mutex> lock(mutex_);
  std::string id;
  for (int i = 0; i < 26; ++i) id += kHex[random_() % 16];
  return id;
}

bool SessionStore::IsWellFormedId(const std::string& id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '-' || c == ',';
    if (!ok) return false;
  }
  return true;
}

std::string SessionStore::NewCode(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t alphabetSize = std::strlen(kCodeAlphabet);
  std::string code;
  for (size_t i = 0; i < kCodeLength; ++i) code += kCodeAlphabet[random_() % alphabetSize];
  if (codes_.find(sessionId) == codes_.end()) Remember(sessionId);
  codes_[sessionId] = code;
  return code;
}

std::optional<std::string> SessionStore::PeekCode(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = codes_.find(sessionId);
  if (it == codes_.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

std::optional<std::string> SessionStore::TakeCode(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = codes_.find(sessionId);
  if (it == codes_.end() || it->second.empty()) return std::nullopt;
  std::string code = it->second;
  it->second.clear();  // the session stays; its next image brings a new code
  return code;
}

void SessionStore::Remember(const std::string& sessionId) {
  order_.push_back(sessionId);
  while (order_.size() > kMaxSessions) {
    codes_.erase(order_.front());
    order_.pop_front();
  }
}
