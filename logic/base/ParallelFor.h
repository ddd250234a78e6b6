#pragma once

#include <atomic>
#include <functional>

// Runs body(from, to) over the rows [0, rows) split into bands, on up to
// `threads` threads (0: one per core, at most kMaxParallelThreads), the
// calling thread included. Bands are handed out in ascending order to
// whichever thread is free, so a thread with light rows helps with the rest;
// every row is passed to exactly one call. The body must give each row the
// same result whichever thread runs it: then the result does not depend on
// the number of threads. With fewer than `minRowsPerThread` rows per thread
// fewer threads are used (a single one runs the whole range inline). The
// body must not throw.
constexpr unsigned kMaxParallelThreads = 8;

void parallelRows(int rows, const std::function<void(int from, int to)>& body,
                  unsigned threads = 0, int minRowsPerThread = 1, int bandsPerThread = 8);

// parallelRows whose body also learns which of the threads runs it: `worker`
// is in [0, threads) and no two calls with the same worker run at once, so
// the body may use scratch memory kept per worker.
void parallelRowsByWorker(int rows, const std::function<void(int from, int to, unsigned worker)>& body,
                          unsigned threads = 0, int minRowsPerThread = 1, int bandsPerThread = 8);

// The number of threads parallelRows uses for `threads` = 0.
unsigned defaultParallelThreads();

// Runs body(i) for every i in [0, count) on up to `threads` threads (0: as
// parallelRows), handing the indices out one at a time in ascending order.
// When `stop` is given and becomes true, no further index is handed out;
// every index handed out is run to its end. The body must not throw.
void parallelItems(int count, const std::function<void(int index)>& body, unsigned threads = 0,
                   const std::atomic<bool>* stop = nullptr);
