// What every connection of the service shares: the options, the sessions, the
// armed one-shot fault, the stop signal and the request log.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "catalogue.h"
#include "download_fault.h"
#include "sessions.h"

struct ServiceOptions {
  int port = 0;
  std::string announceVersion = "v2.0";
  bool testHooks = false;
};

class ServiceState {
 public:
  explicit ServiceState(ServiceOptions options);

  const ServiceOptions& Options() const { return options_; }
  // "http://127.0.0.1:PORT", set once the port is bound.
  const std::string& BaseUrl() const { return baseUrl_; }
  void SetBaseUrl(const std::string& baseUrl) { baseUrl_ = baseUrl; }

  SessionStore& Sessions() { return sessions_; }

  // The download address of a file: /down/<id>/<token>, the token fixed for this run.
  std::string DownloadUrlOf(const DemoFile& file) const;
  bool IsDownloadToken(const DemoFile& file, const std::string& token) const;

  // A fault for the next download request only.
  void ArmFault(const DownloadFault& fault);
  std::optional<DownloadFault> TakeArmedFault();

  uint64_t NextImageSeed();

  bool Stopping() const { return stopping_.load(); }
  void RequestStop();
  // Sleeps for the duration unless the service stops first; false when it stopped.
  bool SleepUnlessStopped(std::chrono::milliseconds duration);

  // One line on stderr, written whole.
  void Log(const std::string& line);

 private:
  std::string TokenOf(const DemoFile& file) const;

  const ServiceOptions options_;
  std::string baseUrl_;
  SessionStore sessions_;
  const uint64_t tokenSecret_;

  std::mutex mutex_;
  std::condition_variable stopSignal_;
  std::atomic<bool> stopping_{false};
  std::optional<DownloadFault> armedFault_;
  uint64_t imageSeed_;
};
