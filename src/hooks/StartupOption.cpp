#include "hooks/StartupOption_p.h"

#include <atomic>

namespace kv::detail {

namespace {

std::atomic<YString (*)(const char *)> overrideReader{nullptr};

// The start-up profile is read through the profile file cache, which is not
// part of the library yet: until it is, no start-up option is set.
YString readStartupProfile(const char *key) { return YString(); }

} // namespace

YString readStartupOption(const char *key) {
  if (YString(*reader)(const char *) = overrideReader.load(std::memory_order_acquire))
    return reader(key);
  return readStartupProfile(key);
}

void setStartupOptionReader(YString (*reader)(const char *key)) {
  overrideReader.store(reader, std::memory_order_release);
}

} // namespace kv::detail
