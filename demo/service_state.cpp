#include "service_state.h"

#include <cstdio>
#include <random>

#include "demo_content.h"

namespace {

uint64_t RandomSeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

ServiceState::ServiceState(ServiceOptions options)
    : options_(std::move(options)), tokenSecret_(RandomSeed()), imageSeed_(RandomSeed()) {}

std::string ServiceState::TokenOf(const DemoFile& file) const {
  char text[17];
  std::snprintf(
      text, sizeof text, "%016llx",
      static_cast<unsigned long long>(demo_content_detail::Mix64(tokenSecret_ ^ file.id)));
  return text;
}

std::string ServiceState::DownloadUrlOf(const DemoFile& file) const {
  return baseUrl_ + "/down/" + std::to_string(file.id) + "/" + TokenOf(file);
}

bool ServiceState::IsDownloadToken(const DemoFile& file, const std::string& token) const {
  return token == TokenOf(file);
}

void ServiceState::ArmFault(const DownloadFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  armedFault_ = fault;
}

std::optional<DownloadFault> ServiceState::TakeArmedFault() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<DownloadFault> fault = armedFault_;
  armedFault_.reset();
  return fault;
}

uint64_t ServiceState::NextImageSeed() {
  std::lock_guard<std::mutex> lock(mutex_);
  imageSeed_ = demo_content_detail::Mix64(imageSeed_ + 1);
  return imageSeed_;
}

void ServiceState::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
}

bool ServiceState::SleepUnlessStopped(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stopSignal_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

void ServiceState::Log(const std::string& line) {
  const std::string whole = line + "\n";
  std::fwrite(whole.data(), 1, whole.size(), stderr);
}
