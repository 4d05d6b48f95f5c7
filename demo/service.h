// The demo service: a listener on 127.0.0.1 and one thread per connection.
// Downloads are answered on the raw socket, every other route by PageServer.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "page_server.h"
#include "service_state.h"

class DemoService {
 public:
  explicit DemoService(ServiceOptions options);
  ~DemoService();

  // Binds 127.0.0.1 and the port of the options and starts accepting.
  bool Start(std::string& error);
  const std::string& BaseUrl() const { return state_.BaseUrl(); }
  // Stops accepting, cuts every open connection and waits for their threads.
  void Stop();

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void AcceptLoop();
  void Serve(int fd);
  void TrackConnection(int fd);
  void ForgetConnection(int fd);
  void ReapFinishedWorkers(bool all);

  ServiceState state_;
  PageServer pages_;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::thread acceptThread_;
  std::vector<Worker> workers_;  // touched by the accept thread only, then by Stop
  std::mutex connectionsMutex_;
  std::set<int> connections_;
};
