// The netlist readers over a 64 MiB netlist, beside the C library reading the
// same file one character at a time (the ceiling for a reader that looks at
// every character) and in blocks searched with memchr.
#include "BenchRatios.h"

#include <kvsupport/netlist/NewSpiceStream.h>
#include <kvsupport/netlist/SpiceStream.h>
#include <kvsupport/strings/YString.h>

#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kNetlistBytes = size_t{64} << 20;

// Lines of 20 to 120 characters: a tenth `*` comments, a tenth `+`
// continuations, some with `;` inline comments. Written once per run.
const std::string &netlistFile() {
  static const std::string path = [] {
    std::string name = (QDir::tempPath() + QStringLiteral("/kvbench_netlist.cir")).toStdString();
    std::FILE *file = std::fopen(name.c_str(), "wb");
    std::string text = "Synthetic netlist\n";
    unsigned seed = 12345;
    auto random = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) & 0x7fff;
    };
    while (text.size() < kNetlistBytes) {
      size_t length = 20 + random() % 101;
      unsigned kind = random() % 10;
      std::string line;
      if (kind == 0)
        line = "* comment about the next part of the circuit ";
      else if (kind == 1)
        line = "+ tc1=0.001 tc2=1e-6 scale=1.5 ";
      else
        line = "R" + std::to_string(random()) + " n" + std::to_string(random() % 977) + " n" +
               std::to_string(random() % 977) + " 4.7k ";
      while (line.size() < length)
        line += "p" + std::to_string(random() % 100) + "=" + std::to_string(random()) + " ";
      line.resize(length);
      if (kind > 1 && random() % 8 == 0)
        line.replace(length - 12, 2, "; ");
      text += line;
      text += '\n';
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return name;
  }();
  return path;
}

void setBytes(benchmark::State &state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kNetlistBytes));
}

void BM_SpiceStreamMBps(benchmark::State &state) {
  const std::string &path = netlistFile();
  for (auto _ : state) {
    SpiceStream reader(path.c_str(), SPICE_NATIVE);
    YString line;
    int number = 0;
    size_t lines = 0;
    while (reader.gets(&line, &number, nullptr, nullptr)) {
      reader.flushBuffer();
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  setBytes(state);
}
BENCHMARK(BM_SpiceStreamMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_NewSpiceStreamMBps(benchmark::State &state) {
  const std::string &path = netlistFile();
  for (auto _ : state) {
    NewSpiceStream reader(path.c_str());
    YString line;
    int number = 0;
    size_t lines = 0;
    while (reader.gets(&line, &number)) {
      reader.flushLitBuffer();
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  setBytes(state);
}
BENCHMARK(BM_NewSpiceStreamMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetcUnlockedMBps(benchmark::State &state) {
  const std::string &path = netlistFile();
  for (auto _ : state) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    size_t lineFeeds = 0;
    for (int c; (c = getc_unlocked(file)) != EOF;)
      lineFeeds += c == '\n';
    std::fclose(file);
    benchmark::DoNotOptimize(lineFeeds);
  }
  setBytes(state);
}
BENCHMARK(BM_GetcUnlockedMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FreadMemchrMBps(benchmark::State &state) {
  const std::string &path = netlistFile();
  std::vector<char> block(1 << 16);
  for (auto _ : state) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    size_t lineFeeds = 0;
    for (size_t count; (count = std::fread(block.data(), 1, block.size(), file)) > 0;) {
      const char *p = block.data(), *end = p + count;
      while ((p = static_cast<const char *>(std::memchr(p, '\n', end - p))) != nullptr) {
        ++lineFeeds;
        ++p;
      }
    }
    std::fclose(file);
    benchmark::DoNotOptimize(lineFeeds);
  }
  setBytes(state);
}
BENCHMARK(BM_FreadMemchrMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

// Close to the speed of a getc_unlocked loop over the same file.
KV_BENCH_RATIO(BM_SpiceStreamMBps, BM_GetcUnlockedMBps, 1.2);
KV_BENCH_RATIO(BM_NewSpiceStreamMBps, BM_GetcUnlockedMBps, 1.3);
