#include "hooks/StartupOption_p.h"

#include "kvsupport/config/ConfigManager.h"

#include <atomic>

namespace kv::detail {

namespace {

std::atomic<YString (*)(const char *)> overrideReader{nullptr};

YString readStartupProfile(const char *key) {
  YString value;
  return cfgman_GetStartupSetting("Options", key, &value) ? value : YString();
}

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
