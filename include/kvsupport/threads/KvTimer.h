#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>

class kvstream;

/// A named stopwatch on the performance clock (sp_GetPerfTime). A timer
/// constructed with a non-empty name is a member of the process-wide list
/// that print() reports, until it is destroyed; copies and assignments never
/// change whether an object is a member. A timer object is used by one
/// thread at a time; the list itself may be changed from any thread.
class KvTimer {
public:
  /// Unnamed, all numbers zero, in no list.
  KvTimer();
  /// Named `name` (null counts as empty); all numbers zero. A non-empty
  /// name enters the timer in the list.
  explicit KvTimer(const char *name);
  /// Copies every field; the copy is in no list.
  KvTimer(const KvTimer &other);
  /// Copies every field, the name included; list membership stays as it was.
  KvTimer &operator=(const KvTimer &other);
  /// Leaves the list; the list itself goes with its last member.
  ~KvTimer();

  /// Counts one more call and starts measuring it. Returns true.
  bool startTimer();
  /// Adds the time since startTimer to the total and to the last call's
  /// time, and stops. Does nothing when the timer is not running.
  void endTimer();

  const YString &getName() const { return name_; }
  double getTotal() const { return total_; }
  /// The time of the last call (all its start/end pairs).
  double getLastCall() const { return lastCall_; }
  int32_t getCount() const { return count_; }
  bool isRunning() const { return running_; }

  /// Names equal / ordered without regard to ASCII case.
  bool operator==(const KvTimer &other) const;
  bool operator<(const KvTimer &other) const;

  /// Sets total, last-call time and count of every listed timer to zero;
  /// whether one is running stays unchanged.
  static void clearKvTimers();
  /// Sorts the list by name without regard to case (it stays sorted) and
  /// writes one line per listed timer to `stream`:
  /// "NAME: Total T, Last L, CountN\n". Nothing for a null stream.
  static void print(kvstream *stream);

private:
  // For a runner that times a series of calls with one clock reading
  // between two calls: the end of one is the start of the next.
  friend struct AutoFuncAccess;
  void startAt(double now);
  void endAt(double now);

  double start_ = 0;
  double total_ = 0;
  double lastCall_ = 0;
  int32_t count_ = 0;
  bool running_ = false;
  YString name_;
  bool listed_ = false;
};
