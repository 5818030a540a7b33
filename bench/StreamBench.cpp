// The stream layer against the C library: the asynchronous writer's cost to
// the caller and its throughput, and line reading.
#include "BenchRatios.h"

#include <kvsupport/streams/kvfbuf_async.h>
#include <kvsupport/streams/kvfstream.h>
#include <kvsupport/strings/YString.h>

#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <vector>

namespace {

constexpr size_t kMiB = 1 << 20;

std::string scratchPath(const char *name) {
  return (QDir::tempPath() + QStringLiteral("/kvbench_") + QString::fromLatin1(name)).toStdString();
}

const std::vector<char> &oneMiB() {
  static const std::vector<char> data(kMiB, 'w');
  return data;
}

// A 64 MiB text of netlist-like lines, written once per run.
const std::string &textFile() {
  static const std::string path = [] {
    std::string name = scratchPath("lines.txt");
    std::FILE *file = std::fopen(name.c_str(), "wb");
    std::string line;
    size_t written = 0;
    for (unsigned i = 0; written < 64 * kMiB; ++i) {
      line = "R" + std::to_string(i) + " n" + std::to_string(i % 977) + " n" +
             std::to_string((i * 7) % 977) + " " + std::string(10 + i % 90, 'k') + "\n";
      std::fwrite(line.data(), 1, line.size(), file);
      written += line.size();
    }
    std::fclose(file);
    return name;
  }();
  return path;
}

void BM_AsyncWrite1MB(benchmark::State &state) {
  const std::string path = scratchPath("async1.bin");
  kvfbuf_async buffer(path.c_str(), kvWrite | kvBinary, false);
  int pending = 0;
  for (auto _ : state) {
    buffer.write(oneMiB().data(), kMiB);
    if (++pending == 4) { // within the writer's window; the file stays bounded, off the clock
      state.PauseTiming();
      buffer.flush();
      buffer.seekg(0);
      pending = 0;
      state.ResumeTiming();
    }
  }
  buffer.close();
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_AsyncWrite1MB)->UseRealTime()->Repetitions(5)->DisplayAggregatesOnly();

// A 1 MiB copy into one of as many buffers as the writer keeps in flight,
// so the copy is not served from a cache-hot target.
void BM_Memcpy1MB(benchmark::State &state) {
  std::vector<std::vector<char>> targets(6, std::vector<char>(kMiB));
  size_t next = 0;
  for (auto _ : state) {
    std::vector<char> &target = targets[next++ % targets.size()];
    benchmark::DoNotOptimize(target.data());
    std::memcpy(target.data(), oneMiB().data(), kMiB);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}
BENCHMARK(BM_Memcpy1MB)->UseRealTime()->Repetitions(5)->DisplayAggregatesOnly();

// The processor that does the kernel's share of writing, for the throughput
// pair. A machine's processors need not be equally quick at it (one may
// field the disk's interrupts, or share its core with other work), and the
// buffer's writer thread runs on another processor than its caller, so left
// alone the two figures would measure different processors. Each repetition
// instead picks the writing processor for both, alternating between two.
class WritingProcessor {
public:
  /// `turns` counts the repetitions of one benchmark, so each alternates.
  explicit WritingProcessor(int &turns) {
    cpu_set_t all;
    if (pthread_getaffinity_np(pthread_self(), sizeof all, &all) != 0)
      return;
    original_ = all;
    for (int cpu = 0; cpu < CPU_SETSIZE && count_ < 2; ++cpu)
      if (CPU_ISSET(cpu, &all))
        pair_[count_++] = cpu;
    if (count_ == 2)
      writing_ = pair_[turns++ % 2];
  }
  ~WritingProcessor() {
    if (count_ == 2)
      pthread_setaffinity_np(pthread_self(), sizeof original_, &original_);
  }
  WritingProcessor(const WritingProcessor &) = delete;
  WritingProcessor &operator=(const WritingProcessor &) = delete;

  /// Runs the calling thread, and threads it starts from now on, there.
  void moveHere() { pinTo(writing_); }
  /// Runs the calling thread on the other processor of the pair.
  void moveAway() { pinTo(writing_ == pair_[0] ? pair_[1] : pair_[0]); }

private:
  void pinTo(int cpu) {
    if (count_ < 2)
      return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pthread_setaffinity_np(pthread_self(), sizeof one, &one);
  }

  cpu_set_t original_;
  int pair_[2] = {0, 0};
  int count_ = 0;
  int writing_ = 0;
};

constexpr int kThroughputPieces = 256;

// Runs `writeFile(path, processor)` once per repetition, each time into a new
// file: dropping the previous one's cached pages is no part of writing, and
// is done off the clock. The figure is the median of several short
// repetitions, so that one caught by the machine's own housekeeping (writing
// back, reclaiming memory) does not decide it.
template <class WriteFile>
void measureWriting(benchmark::State &state, const char *name, int &turns, WriteFile writeFile) {
  const std::string path = scratchPath(name);
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(path.c_str());
    WritingProcessor processor(turns);
    processor.moveHere();
    state.ResumeTiming();
    writeFile(path, processor);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kThroughputPieces * kMiB));
}

void throughputRepetitions(benchmark::internal::Benchmark *benchmark) {
  benchmark->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(16)
      ->DisplayAggregatesOnly();
}

void BM_AsyncWriteThroughput(benchmark::State &state) {
  static int turns = 0;
  measureWriting(state, "async256.bin", turns,
                 [](const std::string &path, WritingProcessor &processor) {
                   kvfbuf_async buffer(path.c_str(), kvWrite | kvBinary, false);
                   buffer.write(oneMiB().data(), kMiB); // starts the writer where it is
                   processor.moveAway();
                   for (int i = 1; i < kThroughputPieces; ++i)
                     buffer.write(oneMiB().data(), kMiB);
                   buffer.flush();
                 });
}
BENCHMARK(BM_AsyncWriteThroughput)->Apply(throughputRepetitions);

void BM_FwriteThroughput(benchmark::State &state) {
  static int turns = 0;
  measureWriting(state, "fwrite256.bin", turns, [](const std::string &path, WritingProcessor &) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    for (int i = 0; i < kThroughputPieces; ++i)
      std::fwrite(oneMiB().data(), 1, kMiB, file);
    std::fflush(file);
    std::fclose(file);
  });
}
BENCHMARK(BM_FwriteThroughput)->Apply(throughputRepetitions);

void BM_StreamGetlineMBps(benchmark::State &state) {
  const std::string &path = textFile();
  for (auto _ : state) {
    kvfstream stream(path.c_str(), kvRead | kvBinary);
    YString line;
    size_t lines = 0;
    while (stream.getline(&line))
      ++lines;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 64 * kMiB));
}
BENCHMARK(BM_StreamGetlineMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetlineMBps(benchmark::State &state) {
  const std::string &path = textFile();
  for (auto _ : state) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    char *line = nullptr;
    size_t capacity = 0;
    size_t lines = 0;
    while (::getline(&line, &capacity, file) > 0)
      ++lines;
    std::free(line);
    std::fclose(file);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 64 * kMiB));
}
BENCHMARK(BM_GetlineMBps)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

KV_BENCH_RATIO(BM_AsyncWrite1MB, BM_Memcpy1MB, 2.0);
KV_BENCH_RATIO(BM_AsyncWriteThroughput, BM_FwriteThroughput, 1.11);
KV_BENCH_RATIO(BM_StreamGetlineMBps, BM_GetlineMBps, 2.0);
