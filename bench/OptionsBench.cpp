// Option reads against QSettings on the same configuration file, and a
// cached logical-path translation against a stat(2) of a path: every read
// of the configuration asks whether the file changed (a change made a
// moment ago by another process must be seen).
#include "BenchRatios.h"

#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/support/LogicalPaths.h"
#include "kvsupport/support/Options.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSections = 50;
constexpr int kKeys = 40;

std::string hitName(int k) { return "StoredOption" + std::to_string(k); }
std::string missName(int k) { return "DefaultOption" + std::to_string(k); }

// One configuration file of 50 sections of 40 keys, "Options" among them,
// as level 0; written once per process.
const std::string &configFile() {
  static const std::string path = [] {
    const std::string file =
        QDir::tempPath().toStdString() + "/kvbench_options_" + std::to_string(::getpid()) + ".ini";
    std::string text;
    for (int s = 0; s < kSections; ++s) {
      const bool options = s == kSections / 2;
      text += options ? "[Options]\n" : "[Section" + std::to_string(s) + "]\n";
      for (int k = 0; k < kKeys; ++k)
        text += (options ? hitName(k) : "key_" + std::to_string(k)) + "=" +
                std::to_string(s * 1000 + k) + "\n";
      text += "\n";
    }
    FILE *out = std::fopen(file.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    // Warm means unchanged: a file changed moments ago is still asked for by
    // its path until it has settled (two seconds), which a reader of a
    // long-kept file never pays.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    std::atexit([] { std::remove(configFile().c_str()); });
    cfgman_SetConfigLocation(ConfigLocation(YString(("PATH;" + file).c_str())));
    for (int k = 0; k < kKeys; ++k)
      MakeOption("OptionsBench", k, YString(missName(k).c_str()), k, false);
    return file;
  }();
  return path;
}

std::vector<std::string> shuffled(std::string (*name)(int)) {
  std::vector<std::string> names;
  for (int k = 0; k < kKeys; ++k)
    names.push_back(name(k));
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  return names;
}

void readOptions(benchmark::State &state, std::string (*name)(int)) {
  configFile();
  const std::vector<std::string> names = shuffled(name);
  for (const std::string &n : names)
    sp_GetIntOption(n.c_str());
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sp_GetIntOption(names[i].c_str()));
    i = i + 1 == names.size() ? 0 : i + 1;
  }
}

void BM_GetIntOptionHit(benchmark::State &state) { readOptions(state, hitName); }
BENCHMARK(BM_GetIntOptionHit);

void BM_GetIntOptionMiss(benchmark::State &state) { readOptions(state, missName); }
BENCHMARK(BM_GetIntOptionMiss);

void BM_QSettingsOptionValue(benchmark::State &state) {
  QSettings settings(QString::fromStdString(configFile()), QSettings::IniFormat);
  std::vector<QString> keys;
  for (const std::string &n : shuffled(hitName))
    keys.push_back(QString::fromStdString("Options/" + n));
  settings.value(keys[0]);
  size_t i = 0;
  for (auto _ : state) {
    QVariant value = settings.value(keys[i]);
    benchmark::DoNotOptimize(value);
    i = i + 1 == keys.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_QSettingsOptionValue);

void BM_TranslateCached(benchmark::State &state) {
  configFile();
  YString result;
  const YString path("%TEMPPATH%/models/m.lib");
  sp_TranslateLogicalPath(path, &result, false);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sp_TranslateLogicalPath(path, &result, false));
    benchmark::DoNotOptimize(result.tocs());
  }
}
BENCHMARK(BM_TranslateCached);

} // namespace

KV_BENCH_RATIO(BM_GetIntOptionHit, BM_QSettingsOptionValue, 2.0);
KV_BENCH_RATIO(BM_GetIntOptionHit, BM_ProfileGetWarm, 1.15);
KV_BENCH_RATIO(BM_GetIntOptionMiss, BM_GetIntOptionHit, 1.0);
KV_BENCH_RATIO(BM_TranslateCached, BM_StatPath, 1.5);
