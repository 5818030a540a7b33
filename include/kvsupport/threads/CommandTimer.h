#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>

/// A stopwatch for commands that may run inside one another: only the
/// outermost start and end measure a run; inner starts are counted. Times
/// are in seconds from seconds(). Used by one thread at a time.
class CommandTimer {
public:
  /// No runs yet: count and total 0, longest -1e100, shortest 1e100.
  explicit CommandTimer(const YString &name);

  /// Starts a run, or counts a nested start when one is in progress.
  void start();
  /// Ends a nested start, or the outermost one: then the run is counted
  /// and its time taken into total, longest and shortest. Does nothing when
  /// no start is open.
  void end();
  /// "NAME;COUNT;TOTAL;LONGEST;SHORTEST", the times as
  /// sp_ConvertRealToJSEng(value, 15, true) writes them.
  YString print() const;

  /// The hash of the name as YString computes it (case-insensitive), for
  /// keeping command timers in hash tables by name.
  uint32_t hashValue() const { return name_.hashValue(); }
  /// Names equal without regard to ASCII case.
  bool operator==(const CommandTimer &other) const;

  const YString &getName() const { return name_; }
  int32_t getCount() const { return count_; }
  double getTotal() const { return total_; }
  double getLongest() const { return longest_; }
  double getShortest() const { return shortest_; }
  /// Open starts, the outermost included.
  int32_t getDepth() const { return depth_; }
  /// Starts made while a run was in progress.
  int32_t getNestedStarts() const { return nestedStarts_; }

private:
  YString name_;
  int32_t count_ = 0;
  double total_ = 0;
  double longest_ = -1e100;
  double shortest_ = 1e100;
  double startTime_ = 0;
  int32_t depth_ = 0;
  int32_t nestedStarts_ = 0;
};
