#include "support/PipeRescue.h"

#include <fcntl.h>
#include <unistd.h>

#include <future>
#include <thread>

bool endsWithoutBlocking(const std::string& fifo, const std::function<void()>& work,
                         std::chrono::milliseconds limit) {
  std::future<void> done = std::async(std::launch::async, work);
  if (done.wait_for(limit) == std::future_status::ready) {
    done.get();
    return true;
  }
  // Non-blocking: opening for writing fails at once while nobody reads.
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) {
      ::close(writer);
    }
  }
  done.get();
  return false;
}
