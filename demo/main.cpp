// qs_demo [--port N] [--announce-version V] [--test-hooks]
// A local stand-in for the file service. The first line on stdout is the
// address it listens on; SIGTERM or SIGINT stops it.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "service.h"

namespace {

void PrintUsage() {
  std::fprintf(stderr, "usage: qs_demo [--port N] [--announce-version V] [--test-hooks]\n");
}

bool ParsePort(const char* text, int& port) {
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, port);
  return error == std::errc() && stop == end && port >= 0 && port <= 65535;
}

bool ParseArguments(int argc, char** argv, ServiceOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--port" && hasValue) {
      if (!ParsePort(argv[++i], options.port)) return false;
    } else if (argument == "--announce-version" && hasValue) {
      options.announceVersion = argv[++i];
    } else if (argument == "--test-hooks") {
      options.testHooks = true;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ServiceOptions options;
  if (!ParseArguments(argc, argv, options)) {
    PrintUsage();
    return 2;
  }

  // The signals are taken by sigwait below, so every thread must block them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  DemoService service(options);
  std::string error;
  if (!service.Start(error)) {
    std::fprintf(stderr, "qs_demo: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", service.BaseUrl().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  std::fprintf(stderr, "qs_demo: stopping on signal %d\n", received);
  service.Stop();
  return 0;
}
