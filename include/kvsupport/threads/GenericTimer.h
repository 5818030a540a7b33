#pragma once

/// What an interval timer calls back: the caller's object, owned by the
/// timer from its creation and deleted with it.
class TimerObject {
public:
  virtual ~TimerObject();
  /// Called on the timer's thread, by that thread's event loop, each time
  /// the interval timer `timerId` fires.
  virtual void timerCallback(int timerId) = 0;
};

// Interval timers. A timer belongs to the thread that created it: it fires
// only while that thread runs a Qt event loop (or processes its events), and
// it is started, stopped and deleted on that thread; calls from other threads
// are refused. Repeating timers repeat on one Qt timer, so lateness does not
// add up over the repeats; they are coarse timers, which fire up to 5 %
// early or late so that the system can group wake-ups. Identifiers count up
// from 1 and are never reused.

/// Creates an interval timer that calls `object` (may be null) back every
/// `intervalMs` milliseconds, or once when `singleShot`, and returns its
/// identifier. An interval of 1 or more starts it at once; 0 or less leaves
/// it idle, as does a thread without an event loop.
int sp_CreateTimer(int intervalMs, bool singleShot, TimerObject *object);

/// Records `intervalMs` and starts one more Qt timer for timer `id`; Qt
/// timers already running for it go on (stop them with sp_KillTimer first).
/// False, with nothing recorded, for an unknown identifier, a negative
/// interval, a thread other than the timer's, or a thread without an event
/// dispatcher.
bool sp_StartTimer(int id, int intervalMs);

/// Stops every Qt timer of timer `id` and sets its interval to 0; the timer
/// stays and may be started again. False for an unknown identifier or a
/// call from another thread.
bool sp_KillTimer(int id);

/// Stops and deletes timer `id` and its TimerObject. Called from the
/// timer's own call-back, it is gone from then on, and deleted when the
/// call-back returns. False for an unknown identifier or a call from another
/// thread.
bool sp_DeleteTimer(int id);

/// The TimerObject of timer `id`; null for an unknown identifier.
TimerObject *sp_GetTimerData(int id);

/// The interval last recorded for timer `id` (0 once it was stopped, and
/// after a single-shot call-back); -1 for an unknown identifier.
int sp_GetTimerInterval(int id);

/// Deletes every interval timer with its TimerObject (run at library exit).
/// Timers whose call-back is running are deleted when it returns, timers of
/// another thread that still runs its event loop by that loop.
void deleteTimers();
