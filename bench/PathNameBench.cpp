// Splitting a path into drive, directory, base name and extension, against
// taking the same parts from a QFileInfo.
#include "BenchRatios.h"

#include "kvsupport/files/PathName.h"

#include <QFileInfo>
#include <QString>
#include <benchmark/benchmark.h>

namespace {

const char kPath[] = "/home/designer/projects/amplifier/models/opamp_macro.lib.cir";

void BM_SplitPath(benchmark::State &state) {
  const YString path(kPath);
  PathName parts;
  for (auto _ : state) {
    sp_SplitPath(path, &parts);
    benchmark::DoNotOptimize(parts.extension.tocs());
  }
}
BENCHMARK(BM_SplitPath);

void BM_SplitPathQFileInfo(benchmark::State &state) {
  const QString path = QString::fromUtf8(kPath);
  for (auto _ : state) {
    QFileInfo info(path);
    QString directory = info.path();
    QString base = info.completeBaseName();
    QString extension = info.suffix();
    benchmark::DoNotOptimize(extension.constData());
    benchmark::DoNotOptimize(base.constData());
    benchmark::DoNotOptimize(directory.constData());
  }
}
BENCHMARK(BM_SplitPathQFileInfo);

} // namespace

KV_BENCH_RATIO(BM_SplitPath, BM_SplitPathQFileInfo, 1.0);
