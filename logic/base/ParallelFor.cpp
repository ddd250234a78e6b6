#include "base/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

unsigned defaultParallelThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, kMaxParallelThreads);
}

void parallelRows(int rows, const std::function<void(int from, int to)>& body, unsigned threads,
                  int minRowsPerThread, int bandsPerThread) {
  parallelRowsByWorker(
      rows, [&body](int from, int to, unsigned) { body(from, to); }, threads, minRowsPerThread,
      bandsPerThread);
}

void parallelRowsByWorker(int rows,
                          const std::function<void(int from, int to, unsigned worker)>& body,
                          unsigned threads, int minRowsPerThread, int bandsPerThread) {
  if (rows <= 0) {
    return;
  }
  if (threads == 0) {
    threads = defaultParallelThreads();
  }
  const int perThread = std::max(1, minRowsPerThread);
  threads = static_cast<unsigned>(std::clamp<long>(std::min<long>(threads, rows / perThread), 1, rows));
  if (threads <= 1) {
    body(0, rows, 0);
    return;
  }
  const int bands = std::min(rows, static_cast<int>(threads) * std::max(1, bandsPerThread));
  std::atomic<int> next{0};
  auto work = [&](unsigned worker) {
    for (int band = next++; band < bands; band = next++) {
      body(static_cast<int>(static_cast<long>(rows) * band / bands),
           static_cast<int>(static_cast<long>(rows) * (band + 1) / bands), worker);
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(threads - 1);
  try {
    for (unsigned t = 1; t < threads; ++t) {
      workers.emplace_back(work, t);
    }
  } catch (const std::system_error&) {
    // Fewer threads: the calling thread and those started share the bands.
  }
  work(0);
  for (std::thread& worker : workers) {
    worker.join();
  }
}

void parallelItems(int count, const std::function<void(int index)>& body, unsigned threads,
                   const std::atomic<bool>* stop) {
  if (count <= 0) {
    return;
  }
  if (threads == 0) {
    threads = defaultParallelThreads();
  }
  threads = static_cast<unsigned>(std::clamp<long>(threads, 1, count));
  std::atomic<int> next{0};
  auto work = [&] {
    while (stop == nullptr || !stop->load()) {
      const int index = next++;
      if (index >= count) {
        return;
      }
      body(index);
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(threads - 1);
  try {
    for (unsigned t = 1; t < threads; ++t) {
      workers.emplace_back(work);
    }
  } catch (const std::system_error&) {
  }
  work();
  for (std::thread& worker : workers) {
    worker.join();
  }
}
