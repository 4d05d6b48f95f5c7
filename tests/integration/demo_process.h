// Starts the demo service as a child process for one test and stops it again.
//
//   DemoProcess demo({"--test-hooks"});
//   ASSERT_TRUE(demo.Started()) << demo.Error();
//   ... talk to demo.BaseUrl() ...
//
// The child listens on a free port ("--port 0" unless the arguments name one);
// its first stdout line gives the address. Its stderr (one line per request)
// goes to a temporary file, readable with Log(). The destructor sends SIGTERM,
// then SIGKILL after a bounded wait, always reaps the child, and fails the
// running test when the service did not end with status 0 (a sanitizer report
// in the service ends it otherwise). Create it on a thread that outlives it:
// the child is also ended when the creating thread goes away.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

class DemoProcess {
 public:
  explicit DemoProcess(std::vector<std::string> arguments = {}, int startTimeoutMs = 20000) {
    Launch(std::move(arguments), startTimeoutMs);
  }
  ~DemoProcess() {
    const bool clean = Stop();
    if (!clean && checkExit_) {
      ADD_FAILURE() << "demo service did not end cleanly (" << exitText_ << "); its log ends:\n"
                    << LogTail(6000);
    }
    if (!logPath_.empty()) ::unlink(logPath_.c_str());
  }
  DemoProcess(const DemoProcess&) = delete;
  DemoProcess& operator=(const DemoProcess&) = delete;

  bool Started() const { return !baseUrl_.empty(); }
  // "http://127.0.0.1:PORT", empty when the start failed.
  const std::string& BaseUrl() const { return baseUrl_; }
  uint16_t Port() const {
    const size_t colon = baseUrl_.rfind(':');
    return colon == std::string::npos
               ? 0
               : static_cast<uint16_t>(std::atoi(baseUrl_.c_str() + colon + 1));
  }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }

  // For a test that kills the service on purpose.
  void IgnoreExitStatus() { checkExit_ = false; }

  // SIGTERM, up to 10 s for the service to end, then SIGKILL; the child is
  // reaped either way. True when it ended by itself with status 0.
  bool Stop() {
    if (pid_ <= 0) return stoppedCleanly_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    bool reaped = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const pid_t result = ::waitpid(pid_, &status, WNOHANG);
      if (result == pid_ || (result < 0 && errno != EINTR)) {
        reaped = result == pid_;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!reaped) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      exitText_ = "killed after SIGTERM was not obeyed";
      stoppedCleanly_ = false;
    } else {
      stoppedCleanly_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      exitText_ = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                    : "signal " + std::to_string(WTERMSIG(status));
    }
    pid_ = -1;
    return stoppedCleanly_;
  }

  // Everything the service wrote on stderr so far.
  std::string Log() const {
    std::string text;
    const int fd = logPath_.empty() ? -1 : ::open(logPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    ::close(fd);
    return text;
  }

 private:
  static std::string BinaryPath() {
#ifdef QS_DEMO_BINARY
    return QS_DEMO_BINARY;
#else
    const char* path = std::getenv("QS_DEMO_BINARY");
    return path == nullptr ? std::string() : path;
#endif
  }

  std::string LogTail(size_t bytes) const {
    const std::string log = Log();
    return log.size() > bytes ? log.substr(log.size() - bytes) : log;
  }

  void Launch(std::vector<std::string> arguments, int startTimeoutMs) {
    const std::string binary = BinaryPath();
    if (binary.empty()) {
      error_ = "the demo service binary is not known (QS_DEMO_BINARY)";
      return;
    }
    bool hasPort = false;
    for (const std::string& argument : arguments) hasPort = hasPort || argument == "--port";
    if (!hasPort) arguments.insert(arguments.begin(), {"--port", "0"});

    char logTemplate[] = "/tmp/qs_demo_log_XXXXXX";
    const int logFd = ::mkostemp(logTemplate, O_CLOEXEC);
    if (logFd < 0) {
      error_ = std::string("mkostemp: ") + std::strerror(errno);
      return;
    }
    logPath_ = logTemplate;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      error_ = std::string("pipe: ") + std::strerror(errno);
      ::close(logFd);
      return;
    }

    // Everything the child needs is prepared here: after fork only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(127);
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(logFd);
    if (pid_ < 0) {
      error_ = std::string("fork: ") + std::strerror(errno);
      ::close(out[0]);
      return;
    }
    ReadFirstLine(out[0], startTimeoutMs);
    ::close(out[0]);
  }

  void ReadFirstLine(int fd, int timeoutMs) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        error_ =
            "no address line from the demo service within " + std::to_string(timeoutMs) + " ms";
        return;
      }
      pollfd entry{fd, POLLIN, 0};
      const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) continue;
      char chunk[256];
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = "the demo service ended before it named its address; log:\n" + LogTail(4000);
        return;
      }
      line.append(chunk, static_cast<size_t>(n));
    }
    line.erase(line.find('\n'));
    if (line.rfind("http://127.0.0.1:", 0) != 0) {
      error_ = "unexpected first line from the demo service: " + line;
      return;
    }
    baseUrl_ = line;
  }

  pid_t pid_ = -1;
  std::string baseUrl_;
  std::string error_;
  std::string logPath_;
  std::string exitText_ = "not started";
  bool stoppedCleanly_ = false;
  bool checkExit_ = true;
};
