#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "controller/FreeThreads.h"
#include "controller/SettleTimer.h"
#include "ControllerTestSupport.h"

using namespace std::chrono_literals;
using controllertest::waitFor;

TEST(SettleTimer, RestartWhileWaitingFiresOnceAfterTheLastRestart) {
  std::atomic<int> fired{0};
  SettleTimer timer([&] { ++fired; });
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) {
    timer.restart(80ms);
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(waitFor([&] { return fired.load() == 1; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms + 4 * 10ms);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(fired.load(), 1);
  EXPECT_FALSE(timer.pending());
}

TEST(SettleTimer, CancelWhileWaitingDropsTheFiring) {
  std::atomic<int> fired{0};
  SettleTimer timer([&] { ++fired; });
  timer.restart(50ms);
  EXPECT_TRUE(timer.pending());
  timer.cancel();
  EXPECT_FALSE(timer.pending());
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(fired.load(), 0);
  timer.restart(10ms);  // still usable
  EXPECT_TRUE(waitFor([&] { return fired.load() == 1; }));
}

TEST(SettleTimer, RestartFromTheCallbackFiresAgain) {
  std::atomic<int> fired{0};
  SettleTimer* self = nullptr;
  SettleTimer timer([&] {
    if (++fired < 3) {
      self->restart(5ms);
    }
  });
  self = &timer;
  timer.restart(5ms);
  EXPECT_TRUE(waitFor([&] { return fired.load() == 3; }));
}

TEST(SettleTimer, CancelWaitsForARunningCallbackAndDropsItsRestart) {
  std::mutex mutex;
  std::condition_variable changed;
  bool inside = false;
  bool release = false;
  std::atomic<int> fired{0};
  SettleTimer* self = nullptr;
  SettleTimer timer([&] {
    ++fired;
    std::unique_lock<std::mutex> lock(mutex);
    inside = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    // A long delay: if the release came before cancel() on a slow machine,
    // the re-armed firing is still pending when cancel() drops it.
    self->restart(10s);
  });
  self = &timer;
  timer.restart(1ms);
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 20s, [&] { return inside; }));
  }
  EXPECT_TRUE(timer.running());
  std::thread releaser([&] {
    std::this_thread::sleep_for(30ms);
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
    changed.notify_all();
  });
  timer.cancel();  // returns only after the callback
  EXPECT_FALSE(timer.running());
  EXPECT_FALSE(timer.pending());
  releaser.join();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fired.load(), 1);
}

TEST(SettleTimer, StopEndsALongWaitAtOnceAndIgnoresLaterRestarts) {
  std::atomic<int> fired{0};
  SettleTimer timer([&] { ++fired; });
  timer.restart(std::chrono::milliseconds(60 * 60 * 1000));
  const auto start = std::chrono::steady_clock::now();
  timer.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  timer.restart(1ms);
  EXPECT_FALSE(timer.pending());
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(fired.load(), 0);
}

TEST(FreeThreads, WaitAllJoinsEveryJobAndFinishedOnesAreReaped) {
  FreeThreads threads;
  std::atomic<int> done{0};
  for (int i = 0; i < 4; ++i) {
    threads.start([&] {
      std::this_thread::sleep_for(20ms);
      ++done;
    });
  }
  threads.waitAll();
  EXPECT_EQ(done.load(), 4);
  EXPECT_EQ(threads.tracked(), 0);

  // Jobs that have finished are joined when the next one starts, so the
  // list does not grow with the number of recalculations.
  for (int i = 1; i <= 50; ++i) {
    threads.start([&] { ++done; });
    ASSERT_TRUE(waitFor([&] { return done.load() == 4 + i; }));
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_LT(threads.tracked(), 10);
  threads.waitAll();
  EXPECT_EQ(threads.tracked(), 0);
}
