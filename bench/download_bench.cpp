// The built-in engine beside curl: both fetch the demo service's 1 GiB file from the same
// local server in the same run, alternating, for several rounds. Prints each median in
// MB/s (10^6 bytes per second), the engine's speed as a share of curl's, and the peak
// memory of each download process.
//
//   qs_download_bench [ROUNDS] [FOLDER]     (5 rounds, the system's temporary folder)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../demo/demo_content.h"
#include "app/text_utils.h"
#include "download/socket_wrapper.h"

extern char** environ;

namespace {

constexpr uint32_t kBenchFileId = 10006;
constexpr uint64_t kBenchFileSize = 1073741824;

struct Run {
  int status = -1;
  double seconds = 0;
  long peakKib = 0;
};

// Runs a program to its end; its time and its peak resident memory.
Run RunProgram(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peakKib = usage.ru_maxrss;
  return run;
}

// The demo service on a free port; its first line names its address.
class DemoService {
 public:
  DemoService() {
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char program[] = QS_DEMO_BINARY;
    char port[] = "--port", zero[] = "0";
    char* argv[] = {program, port, zero, nullptr};
    if (::posix_spawn(&pid_, program, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char c;
    while (pid_ > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') baseUrl_ += c;
    ::close(out[0]);
  }
  ~DemoService() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  uint16_t Port() const {
    return static_cast<uint16_t>(std::atoi(baseUrl_.c_str() + baseUrl_.rfind(':') + 1));
  }
  const std::string& BaseUrl() const { return baseUrl_; }

 private:
  pid_t pid_ = -1;
  std::string baseUrl_;
};

std::string Fetch(uint16_t port, const std::string& path) {
  TcpClient client;
  std::string answer, block;
  if (client.Create() && client.Connect("127.0.0.1", port) &&
      client.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")) {
    while (client.Receive(block, 5)) answer += block;
  }
  client.Close();
  return answer;
}

// True when the file holds exactly the demo file's bytes.
bool HoldsDemoFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::vector<char> got(1 << 20), expected(1 << 20);
  uint64_t offset = 0;
  bool same = true;
  size_t n;
  while (same && (n = std::fread(got.data(), 1, got.size(), file)) > 0) {
    DemoContent(kBenchFileId, offset, expected.data(), n);
    same = std::equal(got.begin(), got.begin() + static_cast<long>(n), expected.begin());
    offset += n;
  }
  std::fclose(file);
  return same && offset == kBenchFileSize;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
  DemoService demo;
  if (demo.BaseUrl().empty()) {
    std::fprintf(stderr, "the demo service did not start\n");
    return 1;
  }
  Text encoded = TextBetween(Fetch(demo.Port(), "/file/" + std::to_string(kBenchFileId)),
                             "class=\"local\" href=\"", "\"");
  const std::string address = BytesToText(Base64DecodeText(encoded));
  if (address.rfind(demo.BaseUrl(), 0) != 0) {
    std::fprintf(stderr, "no download address for %u\n", kBenchFileId);
    return 1;
  }
  const std::string engineTarget = folder + "/qs-bench-engine.bin";
  const std::string curlTarget = folder + "/qs-bench-curl.bin";
  std::vector<double> engineSpeeds, curlSpeeds;
  long enginePeak = 0, curlPeak = 0;
  const double megabytes = static_cast<double>(kBenchFileSize) / 1e6;
  std::printf("%s, %d rounds, 1 GiB each, into %s\n", address.c_str(), rounds, folder.c_str());
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::remove(engineTarget);
    const Run engine = RunProgram({QS_FETCH_BINARY, address, engineTarget});
    if (engine.status != 0 || (round == 0 && !HoldsDemoFile(engineTarget))) {
      std::fprintf(stderr, "engine round %d failed (status %d)\n", round, engine.status);
      return 1;
    }
    std::filesystem::remove(engineTarget);
    std::filesystem::remove(curlTarget);
    const Run curl = RunProgram({"/usr/bin/curl", "-s", "-o", curlTarget, address});
    if (curl.status != 0 || std::filesystem::file_size(curlTarget) != kBenchFileSize) {
      std::fprintf(stderr, "curl round %d failed (status %d)\n", round, curl.status);
      return 1;
    }
    std::filesystem::remove(curlTarget);
    engineSpeeds.push_back(megabytes / engine.seconds);
    curlSpeeds.push_back(megabytes / curl.seconds);
    enginePeak = std::max(enginePeak, engine.peakKib);
    curlPeak = std::max(curlPeak, curl.peakKib);
    std::printf("round %d: engine %.0f MB/s, curl %.0f MB/s\n", round + 1, engineSpeeds.back(),
                curlSpeeds.back());
  }
  const double engineMedian = Median(engineSpeeds), curlMedian = Median(curlSpeeds);
  std::printf("median: engine %.0f MB/s, curl %.0f MB/s, engine/curl %.2f\n", engineMedian,
              curlMedian, engineMedian / curlMedian);
  std::printf("peak memory: engine %ld KiB, curl %ld KiB\n", enginePeak, curlPeak);
  return 0;
}
