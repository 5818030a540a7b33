// The stream layer against the C library: the asynchronous writer's cost to
// the caller, the overlap of a producer's work with its writing, and line
// reading.
#include "BenchRatios.h"

#include <kvsupport/streams/kvfbuf_async.h>
#include <kvsupport/streams/kvfstream.h>
#include <kvsupport/strings/YString.h>

#include <QDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <time.h>
#include <unistd.h>
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

// ---- a producer beside its writing ------------------------------------------------
//
// Throughput alone, into the page cache, only shows the writer's own copy of
// the caller's bytes: the writer exists so that a producer goes on working
// while its earlier output is being written. Here each 1 MiB piece is first
// computed, then written; 128 pieces, then a flush. The computation is tuned
// in the same run to take about as long as writing one piece, so the
// synchronous figure is about twice the computing alone, and a writer that
// overlaps the two gets near half of it.

constexpr int kProducerPieces = 128;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The calling thread's processor time: the computation is tuned by the work
// it does, which stays the same when other programs take turns on the
// machine's processors.
double threadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The producer's piece: `rounds` steps of a multiply-xorshift mix per 64-bit
// word, the piece number as the seed. The steps do not compose into one, so
// the work grows with `rounds` whatever the compiler knows of it.
void computePiece(std::vector<uint64_t> &piece, int rounds, uint64_t seed) {
  benchmark::DoNotOptimize(rounds);
  for (size_t i = 0; i < piece.size(); ++i) {
    uint64_t x = seed * 0x9e3779b97f4a7c15ull + i;
    for (int r = 0; r < rounds; ++r) {
      x ^= x >> 29;
      x *= 0xbf58476d1ce4e5b9ull;
    }
    piece[i] = x;
  }
  benchmark::DoNotOptimize(piece.data());
  benchmark::ClobberMemory();
}

// The median time of writing one piece with fwrite (and, when `durable`,
// putting it on the device), the number of rounds that makes computing a
// piece take as long, and the processor time that computing then takes.
struct ProducerTuning {
  double writeSeconds = 0;
  double computeSeconds = 0;
  int rounds = 1;
};

ProducerTuning tuneProducer(bool durable) {
  ProducerTuning tuning;
  std::vector<uint64_t> piece(kMiB / sizeof(uint64_t));
  const std::string path = scratchPath(durable ? "tune_durable.bin" : "tune.bin");
  std::remove(path.c_str());
  std::FILE *file = std::fopen(path.c_str(), "wb");
  std::vector<double> times;
  for (int i = 0; i < (durable ? 16 : 32); ++i) {
    computePiece(piece, 1, static_cast<uint64_t>(i));
    Clock::time_point start = Clock::now();
    std::fwrite(piece.data(), 1, kMiB, file);
    if (durable) {
      std::fflush(file);
      ::fdatasync(::fileno(file));
    }
    times.push_back(secondsSince(start));
  }
  std::fclose(file);
  std::remove(path.c_str());
  tuning.writeSeconds = median(times);

  constexpr int kProbeRounds = 16;
  times.clear();
  for (int i = 0; i < 9; ++i) {
    double start = threadSeconds();
    computePiece(piece, kProbeRounds, static_cast<uint64_t>(i));
    times.push_back(threadSeconds() - start);
  }
  double perRound = median(times) / kProbeRounds;
  tuning.rounds = std::max(1, static_cast<int>(tuning.writeSeconds / perRound + 0.5));
  times.clear();
  for (int i = 0; i < 9; ++i) {
    double start = threadSeconds();
    computePiece(piece, tuning.rounds, static_cast<uint64_t>(i));
    times.push_back(threadSeconds() - start);
  }
  tuning.computeSeconds = median(times);
  return tuning;
}

// Tuned once per run, for both benchmarks of a pair.
const ProducerTuning &producerTuning(bool durable) {
  static const ProducerTuning plain = tuneProducer(false);
  if (!durable)
    return plain;
  static const ProducerTuning onDevice = tuneProducer(true);
  return onDevice;
}

// Runs `produce(path, piece, rounds)` once per repetition into a new file;
// the old one is removed off the clock.
template <class Produce>
void measureProducer(benchmark::State &state, const char *name, bool durable, Produce produce) {
  const ProducerTuning &tuning = producerTuning(durable);
  const std::string path = scratchPath(name);
  std::vector<uint64_t> piece(kMiB / sizeof(uint64_t));
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(path.c_str());
    state.ResumeTiming();
    produce(path, piece, tuning.rounds);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kProducerPieces * kMiB));
  state.counters["write_us"] = tuning.writeSeconds * 1e6;
  state.counters["compute_us"] = tuning.computeSeconds * 1e6;
}

void producerRepetitions(benchmark::internal::Benchmark *benchmark) {
  benchmark->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(9)
      ->DisplayAggregatesOnly();
}

void durableRepetitions(benchmark::internal::Benchmark *benchmark) {
  benchmark->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(5)
      ->DisplayAggregatesOnly();
}

const char *bytesOf(const std::vector<uint64_t> &piece) {
  return reinterpret_cast<const char *>(piece.data());
}

void produceAsync(const std::string &path, std::vector<uint64_t> &piece, int rounds,
                  bool durable) {
  kvfbuf_async buffer(path.c_str(), kvWrite | kvBinary, false);
  for (int i = 0; i < kProducerPieces; ++i) {
    computePiece(piece, rounds, static_cast<uint64_t>(i));
    buffer.write(bytesOf(piece), kMiB);
    if (durable)
      buffer.syncData();
  }
  buffer.flush();
}

void produceFwrite(const std::string &path, std::vector<uint64_t> &piece, int rounds,
                   bool durable) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  for (int i = 0; i < kProducerPieces; ++i) {
    computePiece(piece, rounds, static_cast<uint64_t>(i));
    std::fwrite(bytesOf(piece), 1, kMiB, file);
    if (durable) {
      std::fflush(file);
      ::fdatasync(::fileno(file));
    }
  }
  std::fflush(file);
  std::fclose(file);
}

void BM_ProduceAndWriteAsync(benchmark::State &state) {
  measureProducer(state, "produce_async.bin", false,
                  [](const std::string &path, std::vector<uint64_t> &piece, int rounds) {
                    produceAsync(path, piece, rounds, false);
                  });
}
BENCHMARK(BM_ProduceAndWriteAsync)->Apply(producerRepetitions);

void BM_ProduceAndWriteFwrite(benchmark::State &state) {
  measureProducer(state, "produce_fwrite.bin", false,
                  [](const std::string &path, std::vector<uint64_t> &piece, int rounds) {
                    produceFwrite(path, piece, rounds, false);
                  });
}
BENCHMARK(BM_ProduceAndWriteFwrite)->Apply(producerRepetitions);

// Every piece must reach the device before the next is written (the writing
// side syncs after each), as for a log that has to survive a crash; the
// producer's piece is tuned to the time of writing and syncing one.
void BM_AsyncWriteDurable(benchmark::State &state) {
  measureProducer(state, "durable_async.bin", true,
                  [](const std::string &path, std::vector<uint64_t> &piece, int rounds) {
                    produceAsync(path, piece, rounds, true);
                  });
}
BENCHMARK(BM_AsyncWriteDurable)->Apply(durableRepetitions);

void BM_FwriteDurable(benchmark::State &state) {
  measureProducer(state, "durable_fwrite.bin", true,
                  [](const std::string &path, std::vector<uint64_t> &piece, int rounds) {
                    produceFwrite(path, piece, rounds, true);
                  });
}
BENCHMARK(BM_FwriteDurable)->Apply(durableRepetitions);

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
// The throughput pair (BM_AsyncWriteThroughput, BM_FwriteThroughput) is
// information: into the page cache the writer's copy can only add time.
KV_BENCH_RATIO(BM_ProduceAndWriteAsync, BM_ProduceAndWriteFwrite, 0.75);
KV_BENCH_RATIO(BM_AsyncWriteDurable, BM_FwriteDurable, 0.75);
KV_BENCH_RATIO(BM_StreamGetlineMBps, BM_GetlineMBps, 1.3);
