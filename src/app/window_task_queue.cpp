#include "app/window_task_queue.h"

#include <utility>

namespace kiln::app {

WindowTaskQueue::WindowTaskQueue(Wake wake)
    : wake_(std::move(wake)), windowThread_(std::this_thread::get_id()) {}

void WindowTaskQueue::RunAndWait(const std::function<void()>& task) {
  if (OnWindowThread()) {
    task();
    return;
  }
  bool done = false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) return;
  tasks_.push_back({task, &done});
  // Woken under the lock, so that the window cannot close the queue between the task
  // being queued and its wake.
  if (wake_) wake_();
  ran_.wait(lock, [&] { return done || !open_; });
}

void WindowTaskQueue::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return;
  tasks_.push_back({std::move(task), nullptr});
  if (wake_) wake_();
}

bool WindowTaskQueue::RunQueued() {
  bool any = false;
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return any;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task.run();
    any = true;
    if (task.done != nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      *task.done = true;
      ran_.notify_all();
    }
  }
}

void WindowTaskQueue::Close() {
  std::deque<Task> dropped;  // let go outside the lock: a task's captures may be anything
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  dropped.swap(tasks_);
  ran_.notify_all();
}

}  // namespace kiln::app
