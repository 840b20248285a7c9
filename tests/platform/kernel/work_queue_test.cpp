// The shared worker: order, abort per unit, waiting, bounded queueing and an
// orderly end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/work_queue.h"

namespace {

using kernel::WorkQueue;

// A unit that runs until aborted or released.
struct Gate {
  std::atomic<bool> open{false};
  std::atomic<bool> entered{false};
  WorkQueue::Unit Unit(std::atomic<bool>* sawAbort = nullptr) {
    return [this, sawAbort](const std::atomic<bool>& aborted) {
      entered = true;
      while (!open && !aborted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (sawAbort) *sawAbort = aborted.load();
    };
  }
  void AwaitEntered() const {
    while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

TEST(WorkQueue, OneHelperRunsUnitsInTheOrderPosted) {
  std::mutex mutex;
  std::vector<int> order;
  WorkQueue queue;
  for (int i = 0; i < 20; ++i)
    ASSERT_NE(queue.Post([&, i](const std::atomic<bool>&) {
      std::lock_guard<std::mutex> lock(mutex);
      order.push_back(i);
    }), 0u);
  queue.WaitAll();
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[std::size_t(i)], i);
  EXPECT_FALSE(queue.Busy());
}

TEST(WorkQueue, AbortRaisesTheFlagOfARunningUnitOnly) {
  Gate first, second;
  std::atomic<bool> firstAborted{false}, secondAborted{true};
  WorkQueue queue(2);
  const auto a = queue.Post(first.Unit(&firstAborted));
  const auto b = queue.Post(second.Unit(&secondAborted));
  first.AwaitEntered();
  second.AwaitEntered();
  queue.Abort(a);
  queue.Wait(a);
  EXPECT_TRUE(firstAborted);
  EXPECT_TRUE(queue.Busy());  // b runs on
  second.open = true;
  queue.Wait(b);
  EXPECT_FALSE(secondAborted);
}

TEST(WorkQueue, AbortDropsAUnitNotYetBegun) {
  Gate running;
  std::atomic<bool> ran{false};
  WorkQueue queue(1);
  const auto a = queue.Post(running.Unit());
  const auto b = queue.Post([&](const std::atomic<bool>&) { ran = true; });
  running.AwaitEntered();
  queue.Abort(b);
  queue.Wait(b);  // dropped: returns although a still runs
  running.open = true;
  queue.Wait(a);
  queue.WaitAll();
  EXPECT_FALSE(ran);
}

TEST(WorkQueue, PostWaitsWhileTheQueueIsFull) {
  Gate running;
  WorkQueue queue(1, 1);
  (void)queue.Post(running.Unit());
  running.AwaitEntered();
  (void)queue.Post([](const std::atomic<bool>&) {});  // fills the one place
  std::atomic<bool> posted{false};
  std::thread owner([&] {
    (void)queue.Post([](const std::atomic<bool>&) {});
    posted = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(posted);
  running.open = true;
  owner.join();
  EXPECT_TRUE(posted);
  queue.WaitAll();
}

TEST(WorkQueue, DestructorAbortsRunningUnitsAndDropsWaitingOnes) {
  Gate running;
  std::atomic<bool> aborted{false}, ran{false};
  {
    WorkQueue queue(1);
    (void)queue.Post(running.Unit(&aborted));
    (void)queue.Post([&](const std::atomic<bool>&) { ran = true; });
    running.AwaitEntered();
  }
  EXPECT_TRUE(aborted);
  EXPECT_FALSE(ran);
}

TEST(WorkQueue, WaitForAnUnknownTicketReturnsAtOnce) {
  WorkQueue queue;
  queue.Wait(0);
  queue.Wait(12345);
  queue.WaitAll();
}

}  // namespace
