#pragma once

class QEventLoop;

/// A Qt event loop of the thread that constructs it.
class KvEventLoop {
public:
  KvEventLoop();
  ~KvEventLoop();
  KvEventLoop(const KvEventLoop &) = delete;
  KvEventLoop &operator=(const KvEventLoop &) = delete;

  /// Runs the loop, dispatching events, until exit(); returns 0 then. -1 at
  /// once on a thread other than the constructing one, and while the loop
  /// already runs.
  int exec();
  /// Ends a running exec() with 0; may be called from any thread. An exit
  /// while exec() is not running is not remembered.
  void exit();

private:
  QEventLoop *loop_;
};
