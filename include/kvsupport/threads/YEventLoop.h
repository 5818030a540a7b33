#pragma once

#include <atomic>

namespace kv::detail {
struct EventLoopWaker;
} // namespace kv::detail

/// Waits for and handles one event at a time, so that the caller decides
/// between events when to stop: a loop of exec() calls that checks
/// exitRequested() after each.
class YEventLoop {
public:
  YEventLoop();
  ~YEventLoop();
  YEventLoop(const YEventLoop &) = delete;
  YEventLoop &operator=(const YEventLoop &) = delete;

  /// Clears the exit flag, then waits until the calling thread has events
  /// (or exit() is called) and handles them. Returns at once on a thread
  /// without an event dispatcher.
  void exec();
  /// Sets the exit flag and wakes an exec() waiting on any thread. May be
  /// called from any thread.
  void exit();
  /// Whether exit() was called since exec() last began.
  bool exitRequested() const { return exit_.load(std::memory_order_acquire); }

private:
  std::atomic<bool> exit_{false};
  kv::detail::EventLoopWaker *waker_;
};
