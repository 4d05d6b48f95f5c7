// A text field that several threads read while one replaces it whole.
#pragma once

#include <mutex>
#include <string>

class SharedText {
 public:
  std::string Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  void Set(std::string value) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_.swap(value);
  }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};
