#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"

extern char** environ;

namespace {

std::mutex handlerMutex;
ShellOpenHandler& Handler() {
  static auto* handler = new ShellOpenHandler();  // never destroyed: workers may outlive main
  return *handler;
}

// QINGSHAN_TEST_SHELL_LOG=<file>: each open becomes a line in that file instead.
bool LogInsteadOfOpening(const std::string& utf8Target) {
  const char* logPath = std::getenv("QINGSHAN_TEST_SHELL_LOG");
  if (!logPath || !*logPath) return false;
  AppendFile log;
  if (log.Open(FromNativePath(logPath))) {
    const std::string line = utf8Target + "\n";
    log.Append(line.data(), line.size());
  }
  return true;
}

bool SpawnOpener(const std::string& utf8Target) {
  std::string program = "xdg-open";
  std::string argument = utf8Target;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Nobody waits for the opener, but it must not stay behind as a zombie.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace

void SetShellOpenHandler(ShellOpenHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  Handler() = std::move(handler);
}

bool ShellOpen(const std::string& target) {
  ShellOpenHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = Handler();
  }
  if (handler) return handler(target);
  const std::string utf8Target = GbkToUtf8(target);
  if (LogInsteadOfOpening(utf8Target)) return true;
  // An argument that starts with "-" would be read as an option of the opener.
  if (utf8Target.empty() || utf8Target[0] == '-') return false;
  return SpawnOpener(utf8Target);
}
