// The hand-over from other threads to the window thread, without a toolkit.
#include "app/window_task_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace kiln::app {
namespace {

TEST(WindowTaskQueue, PostedTasksRunInOrderOnlyWhenTheWindowRunsThem) {
  int wakes = 0;
  WindowTaskQueue queue([&] { ++wakes; });
  std::string ran;
  std::thread worker([&] {
    queue.Post([&] { ran += 'a'; });
    queue.Post([&] { ran += 'b'; });
  });
  worker.join();
  EXPECT_EQ(ran, "") << "a posted task waits for the window thread";
  EXPECT_EQ(wakes, 2);
  EXPECT_TRUE(queue.RunQueued());
  EXPECT_EQ(ran, "ab");
  EXPECT_FALSE(queue.RunQueued());
}

TEST(WindowTaskQueue, AWaitingCallerReturnsOnceItsTaskRanOnTheWindowThread) {
  std::atomic<int> wakes{0};
  WindowTaskQueue queue([&] { ++wakes; });
  std::thread::id ranOn;
  int written = 0;  // written by the task, read by the worker after the hand-over
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    queue.RunAndWait([&] {
      ranOn = std::this_thread::get_id();
      written = 7;
    });
    EXPECT_EQ(written, 7);
    returned = true;
  });
  while (wakes == 0) std::this_thread::yield();
  EXPECT_FALSE(returned);
  while (!queue.RunQueued()) std::this_thread::yield();
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // On the window thread itself a task runs at once, with no wake.
  bool direct = false;
  queue.RunAndWait([&] { direct = true; });
  EXPECT_TRUE(direct);
  EXPECT_EQ(wakes, 1);
}

// The window goes while the worker waits for it: the worker is let go, its task and
// any later one never run.
TEST(WindowTaskQueue, ClosingLetsAWaitingCallerGoAndDropsLaterTasks) {
  std::atomic<int> wakes{0};
  WindowTaskQueue queue([&] { ++wakes; });
  bool ran = false;
  std::thread worker([&] { queue.RunAndWait([&] { ran = true; }); });
  while (wakes == 0) std::this_thread::yield();
  queue.Close();
  worker.join();
  queue.Post([&] { ran = true; });
  std::thread late([&] { queue.RunAndWait([&] { ran = true; }); });
  late.join();
  EXPECT_FALSE(queue.RunQueued());
  EXPECT_FALSE(ran);
  EXPECT_EQ(wakes, 1);
}

}  // namespace
}  // namespace kiln::app
