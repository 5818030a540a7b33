#pragma once

#include <cstdint>

namespace kv::detail {
class KvThreadRunner;
} // namespace kv::detail

/// A thread whose body is the subclass's run(). Started and destroyed by
/// the thread that owns the object.
///
/// Destroying a thread whose body still runs waits up to one second for it,
/// then terminates it. Termination takes effect only where the body sleeps
/// (sp_Sleep), waits or does I/O, and leaves whatever the body was doing
/// half done; a body that does none of these is never stopped. By the time
/// ~KvThread runs, the subclass's own members are already destroyed, so a
/// subclass stops its body in its own destructor: requestTerminate(), then
/// wait().
///
/// Not copyable: the object owns its thread.
class KvThread {
public:
  KvThread();
  /// See the class comment: waits up to 1000 ms for a running body, then
  /// terminates it and waits for it without limit.
  virtual ~KvThread();
  KvThread(const KvThread &) = delete;
  KvThread &operator=(const KvThread &) = delete;

  /// The thread's body.
  virtual void run() = 0;
  /// Asks the body to stop; how is the subclass's business. The default
  /// does nothing.
  virtual void requestTerminate();

  /// Starts the body on a new thread with the priority of the calling
  /// thread. Does nothing while the body runs.
  void start();
  /// Whether the body has been started and has not returned.
  bool running() const;
  /// Waits up to `timeoutMs` milliseconds (negative: without limit) for the
  /// body to return; true when it has (also when it never started). What
  /// the body wrote is then visible to the caller.
  bool wait(int timeoutMs);

private:
  kv::detail::KvThreadRunner *thread_;
};

/// The operating system's identifier of the calling thread.
uint32_t sp_GetThreadId();

/// Whether a thread with identifier `id` exists and has not ended; false for
/// an identifier no thread has.
bool sp_IsThreadRunning(uint32_t id);
