#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kiln::app {

// How other threads (the update worker, an evaluation) reach the window's thread: tasks
// queued here run on that thread, in the order they were queued, when the front end
// calls RunQueued. The queue itself needs no toolkit; each front end wakes its window
// thread its own way (a queued call, a posted window message) from the wake function,
// which may be called on any thread, once per task queued.
//
// The hand-over uses a standard mutex and condition variable, so that everything a
// thread wrote before it queued a task is visible to the window thread when it runs
// it, and the other way round for a caller that waits, in a way thread checkers follow.
class WindowTaskQueue {
 public:
  using Wake = std::function<void()>;

  // The thread that makes the queue is the window thread.
  explicit WindowTaskQueue(Wake wake);
  WindowTaskQueue(const WindowTaskQueue&) = delete;
  WindowTaskQueue& operator=(const WindowTaskQueue&) = delete;

  // Runs task on the window thread and returns once it has run there. On the window
  // thread itself it runs at once. Once the queue is closed, it returns without running
  // the task, and a caller still waiting is let go.
  void RunAndWait(const std::function<void()>& task);
  // Queues task and returns at once; dropped once the queue is closed.
  void Post(std::function<void()> task);
  // On the window thread: runs the tasks queued so far, and those they queue. True when
  // any ran.
  bool RunQueued();
  // No more tasks are taken; callers waiting for a task that did not run are let go.
  // The window calls it when it goes, after serving the worker to its end.
  void Close();

  bool OnWindowThread() const { return std::this_thread::get_id() == windowThread_; }

 private:
  struct Task {
    std::function<void()> run;
    bool* done = nullptr;  // set after running, for a caller that waits
  };

  const Wake wake_;
  const std::thread::id windowThread_;
  std::mutex mutex_;
  std::condition_variable ran_;
  std::deque<Task> tasks_;
  bool open_ = true;
};

}  // namespace kiln::app
