// A task handed to the host's thread the way another thread's message
// reaches a real host: it runs at the library's next real pump, not at
// every pump point. On Windows it is a message posted to a window of the
// test's; elsewhere the host's pump hook runs it.
#pragma once

#include <functional>
#include <memory>

namespace quorbel::test {

class HostQueue {
 public:
  HostQueue();  // on the host's thread; one at a time
  ~HostQueue();
  HostQueue(const HostQueue&) = delete;
  HostQueue& operator=(const HostQueue&) = delete;

  // From any thread.
  void Post(std::function<void()> task);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorbel::test
