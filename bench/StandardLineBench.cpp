// The ascii line reader over a 32 MiB schematic file: every line parsed into
// its identifier and properties.
#include "BenchRatios.h"

#include <kvsupport/netlist/StandardLine.h>

#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr size_t kSchematicBytes = size_t{32} << 20;

// Components with pins, wires and quoted labels, as a large sheet holds them.
const std::string &schematicFile() {
  static const std::string path = [] {
    std::string name =
        (QDir::tempPath() + QStringLiteral("/kvbench_schematic.kvsch")).toStdString();
    std::FILE *file = std::fopen(name.c_str(), "wb");
    std::string text = "KelvantaFile type=Schematic format=1.0 revision=8\n";
    unsigned seed = 4321;
    auto random = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) & 0x7fff;
    };
    while (text.size() < kSchematicBytes) {
      std::string ref = std::to_string(random());
      text += ".Component ref=R" + ref + " value=4k7 x=" + std::to_string(random() % 4000) +
              " y=" + std::to_string(random() % 3000) + " orient=0 mirror=0\r\n";
      text += ".Pin name=1 net=\"n" + std::to_string(random() % 977) + "\" dx=0 dy=-20\n.EndPin\n";
      text += ".Label text=\"gain \\\"stage\\\" " + ref + "\" font=8\n";
      text += ".EndComponent\n\n.Wire x1=10 y1=20 x2=" + std::to_string(random() % 4000) +
              " y2=20 net=n" + std::to_string(random() % 977) + "\n";
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return name;
  }();
  return path;
}

void BM_StandardLineReadMBps(benchmark::State &state) {
  const std::string &path = schematicFile();
  for (auto _ : state) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    StandardLine line;
    int number = 0;
    size_t properties = 0;
    while (line.readLine(file, &number))
      properties += static_cast<size_t>(line.properties().count());
    std::fclose(file);
    benchmark::DoNotOptimize(properties);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSchematicBytes));
}
BENCHMARK(BM_StandardLineReadMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
