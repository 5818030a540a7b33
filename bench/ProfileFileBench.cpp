// Profile look-ups and parses against QSettings on the same INI file, and a
// warm look-up against a stat(2) of the file's path: every look-up must
// notice a change made a moment ago by another process, and asking the
// path is the plain way to.
#include "BenchRatios.h"

#include "kvsupport/files/ProfileFile.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSections = 50;
constexpr int kKeysPerSection = 40; // 2000 keys in all

std::string sectionName(int s) { return "Section" + std::to_string(s); }
std::string keyName(int s, int k) { return "key_" + std::to_string(s) + "_" + std::to_string(k); }

// The file every benchmark here reads, written once per process.
const std::string &benchFile() {
  static const std::string path = [] {
    const std::string file =
        QDir::tempPath().toStdString() + "/kvbench_profile_" + std::to_string(::getpid()) + ".ini";
    std::string text;
    for (int s = 0; s < kSections; ++s) {
      text += "[" + sectionName(s) + "]\n";
      for (int k = 0; k < kKeysPerSection; ++k)
        text += keyName(s, k) + "=value of " + std::to_string(s * 1000 + k) + "\n";
      text += "\n";
    }
    FILE *out = std::fopen(file.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    // Warm means unchanged: a file changed moments ago is still asked for by
    // its path until it has settled (two seconds), which a reader of a
    // long-kept file never pays.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    std::atexit([] { std::remove(benchFile().c_str()); });
    return file;
  }();
  return path;
}

struct Probe {
  std::string section, key;
  QString qtKey;
};

const std::vector<Probe> &randomProbes() {
  static const std::vector<Probe> probes = [] {
    std::vector<Probe> all;
    std::mt19937 random(42);
    for (int i = 0; i < 4096; ++i) {
      const int s = static_cast<int>(random() % kSections);
      const int k = static_cast<int>(random() % kKeysPerSection);
      all.push_back({sectionName(s), keyName(s, k),
                     QString::fromStdString(sectionName(s) + "/" + keyName(s, k))});
    }
    return all;
  }();
  return probes;
}

// A new modification time, so that both readers must parse again.
void bumpModificationTime(const std::string &path) {
  static long long step = 0;
  struct stat info;
  ::stat(path.c_str(), &info);
  timespec times[2] = {info.st_atim, info.st_mtim};
  times[1].tv_sec += 1 + (step++ % 2);
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void BM_ProfileGetWarm(benchmark::State &state) {
  const std::string &file = benchFile();
  const auto &probes = randomProbes();
  YString value;
  sp_GetPrivateProfileString("Section0", "key_0_0", file.c_str(), &value);
  size_t i = 0;
  for (auto _ : state) {
    const Probe &probe = probes[i++ & 4095];
    sp_GetPrivateProfileString(probe.section.c_str(), probe.key.c_str(), file.c_str(), &value);
    benchmark::DoNotOptimize(value.tocs());
  }
}
BENCHMARK(BM_ProfileGetWarm);

void BM_QSettingsValue(benchmark::State &state) {
  QSettings settings(QString::fromStdString(benchFile()), QSettings::IniFormat);
  const auto &probes = randomProbes();
  settings.value(probes[0].qtKey);
  size_t i = 0;
  for (auto _ : state) {
    QVariant value = settings.value(probes[i++ & 4095].qtKey);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_QSettingsValue);

void BM_StatPath(benchmark::State &state) {
  const std::string &file = benchFile();
  struct stat info;
  for (auto _ : state) {
    ::stat(file.c_str(), &info);
    benchmark::DoNotOptimize(info.st_mtim.tv_nsec);
  }
}
BENCHMARK(BM_StatPath);

void BM_ProfileParse2000(benchmark::State &state) {
  const std::string &file = benchFile();
  YString value;
  for (auto _ : state) {
    state.PauseTiming();
    bumpModificationTime(file);
    state.ResumeTiming();
    for (int s = 0; s < kSections; ++s)
      sp_GetPrivateProfileString(sectionName(s).c_str(), "key_0_7", file.c_str(), &value);
    benchmark::DoNotOptimize(value.tocs());
  }
}
BENCHMARK(BM_ProfileParse2000);

void BM_QSettingsParse2000(benchmark::State &state) {
  const QString file = QString::fromStdString(benchFile());
  std::vector<QString> keys;
  for (int s = 0; s < kSections; ++s)
    keys.push_back(QString::fromStdString(sectionName(s) + "/key_0_7"));
  for (auto _ : state) {
    state.PauseTiming();
    bumpModificationTime(benchFile());
    state.ResumeTiming();
    QSettings settings(file, QSettings::IniFormat);
    for (const QString &key : keys) {
      QVariant value = settings.value(key);
      benchmark::DoNotOptimize(value);
    }
  }
}
BENCHMARK(BM_QSettingsParse2000);

} // namespace

KV_BENCH_RATIO(BM_ProfileGetWarm, BM_QSettingsValue, 2.0);
KV_BENCH_RATIO(BM_ProfileGetWarm, BM_StatPath, 1.2);
KV_BENCH_RATIO(BM_ProfileParse2000, BM_QSettingsParse2000, 1.0);
