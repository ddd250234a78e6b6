#pragma once

#include <chrono>
#include <functional>
#include <string>

// Runs `work` on another thread and reports whether it ended within `limit`.
// If it did not, it is taken to be blocked on the named pipe `fifo` (in an
// open or a read): the pipe is then opened for writing and closed again until
// `work` ends, which releases it, so that a test of code that wrongly waits
// on a pipe fails instead of hanging.
bool endsWithoutBlocking(const std::string& fifo, const std::function<void()>& work,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
