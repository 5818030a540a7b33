#pragma once

/// The process's priority class, for running a simulation in the
/// background or ahead of other work.
enum ThreadPriority {
  ThreadPriorityHigh = 0,   ///< ahead of normal work, though never real-time
  ThreadPriorityIdle = 1,   ///< only when nothing else wants the processor
  ThreadPriorityNormal = 2, ///< the default
  ThreadPriorityOther = 3   ///< any other state (only reported, never set)
};

/// The process's class as its main thread shows it: a real-time policy or
/// a raised priority is High.
ThreadPriority sp_GetThreadPriority();

/// Gives every thread of the process the class `priority` (High, Idle or
/// Normal); threads created afterwards inherit it from their creator. False,
/// with nothing changed, for any other value and when the system refuses:
/// without privilege a process may lower its priority but not raise it
/// again.
bool sp_SetThreadPriority(int priority);
