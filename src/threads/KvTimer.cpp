// KvTimer and the process-wide list of named timers. The list is guarded
// by a mutex with a constant initialiser and is reached through a plain
// pointer, so timers in static objects of any module, constructed or
// destroyed in any order (also during static destruction), find it ready.
#include "kvsupport/threads/KvTimer.h"

#include "kvsupport/streams/kvstream.h"
#include "kvsupport/threads/Clock.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex listLock;
YList<KvTimer *> *timerList = nullptr; // created with its first member

void enterList(KvTimer *timer) {
  std::lock_guard<std::mutex> guard(listLock);
  if (!timerList)
    timerList = new YList<KvTimer *>;
  timerList->prepend(timer);
}

void leaveList(KvTimer *timer) {
  std::lock_guard<std::mutex> guard(listLock);
  if (!timerList)
    return;
  YList<KvTimer *> rest;
  for (KvTimer *member : *timerList)
    if (member != timer)
      rest.append(member);
  timerList->swap(rest);
  if (timerList->isEmpty()) {
    delete timerList;
    timerList = nullptr;
  }
}

} // namespace

KvTimer::KvTimer() = default;

KvTimer::KvTimer(const char *name) : name_(name) {
  if (!name_.isEmpty()) {
    listed_ = true;
    enterList(this);
  }
}

KvTimer::KvTimer(const KvTimer &other)
    : start_(other.start_), total_(other.total_), lastCall_(other.lastCall_), count_(other.count_),
      running_(other.running_), name_(other.name_) {}

KvTimer &KvTimer::operator=(const KvTimer &other) {
  start_ = other.start_;
  total_ = other.total_;
  lastCall_ = other.lastCall_;
  count_ = other.count_;
  running_ = other.running_;
  name_ = other.name_;
  return *this;
}

KvTimer::~KvTimer() {
  if (listed_)
    leaveList(this);
}

bool KvTimer::startTimer() {
  startAt(sp_GetPerfTime());
  return true;
}

void KvTimer::endTimer() {
  if (running_)
    endAt(sp_GetPerfTime());
}

void KvTimer::startAt(double now) {
  ++count_;
  running_ = true;
  lastCall_ = 0;
  start_ = now;
}

void KvTimer::endAt(double now) {
  running_ = false;
  const double elapsed = now - start_;
  total_ += elapsed;
  lastCall_ += elapsed;
}

bool KvTimer::operator==(const KvTimer &other) const {
  return sp_stricmp(name_.tocs(), other.name_.tocs()) == 0;
}

bool KvTimer::operator<(const KvTimer &other) const {
  return sp_stricmp(name_.tocs(), other.name_.tocs()) < 0;
}

void KvTimer::clearKvTimers() {
  std::lock_guard<std::mutex> guard(listLock);
  if (!timerList)
    return;
  for (KvTimer *timer : *timerList) {
    timer->total_ = 0;
    timer->lastCall_ = 0;
    timer->count_ = 0;
  }
}

void KvTimer::print(kvstream *stream) {
  if (!stream)
    return;
  // The figures are copied under the lock and written after it: a stream
  // may run code of its own that constructs or destroys timers.
  struct Line {
    YString name;
    double total, lastCall;
    int count;
  };
  std::vector<Line> lines;
  {
    std::lock_guard<std::mutex> guard(listLock);
    if (!timerList)
      return;
    std::vector<KvTimer *> sorted(timerList->begin(), timerList->end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const KvTimer *a, const KvTimer *b) { return *a < *b; });
    YList<KvTimer *> ordered;
    for (KvTimer *timer : sorted) {
      ordered.append(timer);
      lines.push_back({timer->name_, timer->total_, timer->lastCall_, timer->count_});
    }
    timerList->swap(ordered);
  }
  for (const Line &line : lines)
    *stream << line.name << ": Total " << line.total << ", Last " << line.lastCall << ", Count"
            << line.count << "\n";
}
