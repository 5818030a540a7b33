// The ordered tree against GNU's policy-based red-black tree with order
// statistics and against std::multiset, on one million random keys.
#include "BenchRatios.h"

#include <kvsupport/containers/YTreeImpl.h>

#include <benchmark/benchmark.h>

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr int kKeys = 1000000;
constexpr int kTreeOrder = 8;

class BenchKey final : public YObject {
public:
  explicit BenchKey(int key) : key(key) {}
  int typeId() const override { return 1; }
  int equals(const YObject &other) const override {
    return key == static_cast<const BenchKey &>(other).key;
  }
  int lessThan(const YObject &other) const override {
    return key < static_cast<const BenchKey &>(other).key;
  }
  int key;
};

// Pairs make the keys unique, as the order-statistics tree needs for a
// multiset; the second member is the insertion serial.
using PbdsTree =
    __gnu_pbds::tree<std::pair<int, int>, __gnu_pbds::null_type, std::less<std::pair<int, int>>,
                     __gnu_pbds::rb_tree_tag, __gnu_pbds::tree_order_statistics_node_update>;

const std::vector<int> &keys() {
  static const std::vector<int> all = [] {
    std::mt19937 random(12345);
    std::vector<int> v(kKeys);
    for (int &k : v)
      k = static_cast<int>(random() % (4u * kKeys));
    return v;
  }();
  return all;
}

const std::vector<int> &probes() {
  static const std::vector<int> all = [] {
    std::mt19937 random(777);
    std::vector<int> v(kKeys);
    for (int &k : v)
      k = keys()[random() % kKeys];
    return v;
  }();
  return all;
}

YTreeImpl &builtTree() {
  static YTreeImpl *tree = [] {
    auto *t = new YTreeImpl(kTreeOrder);
    for (int k : keys())
      t->add(new BenchKey(k));
    return t;
  }();
  return *tree;
}

PbdsTree &builtPbds() {
  static PbdsTree *tree = [] {
    auto *t = new PbdsTree;
    int serial = 0;
    for (int k : keys())
      t->insert({k, serial++});
    return t;
  }();
  return *tree;
}

std::multiset<int> &builtMultiset() {
  static std::multiset<int> *set = new std::multiset<int>(keys().begin(), keys().end());
  return *set;
}

void BM_YTreeInsert(benchmark::State &state) {
  for (auto _ : state) {
    auto tree = std::make_unique<YTreeImpl>(kTreeOrder);
    for (int k : keys())
      tree->add(new BenchKey(k));
    benchmark::DoNotOptimize(tree->getItemsInContainer());
    state.PauseTiming();
    tree.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_PbdsTreeInsert(benchmark::State &state) {
  for (auto _ : state) {
    auto tree = std::make_unique<PbdsTree>();
    int serial = 0;
    for (int k : keys())
      tree->insert({k, serial++});
    benchmark::DoNotOptimize(tree->size());
    state.PauseTiming();
    tree.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_MultisetInsert(benchmark::State &state) {
  for (auto _ : state) {
    auto set = std::make_unique<std::multiset<int>>();
    for (int k : keys())
      set->insert(k);
    benchmark::DoNotOptimize(set->size());
    state.PauseTiming();
    set.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_YTreeFind(benchmark::State &state) {
  YTreeImpl &tree = builtTree();
  BenchKey probe(0);
  for (auto _ : state) {
    long found = 0;
    for (int k : probes()) {
      probe.key = k;
      found += tree.hasMember(probe);
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_PbdsTreeFind(benchmark::State &state) {
  PbdsTree &tree = builtPbds();
  for (auto _ : state) {
    long found = 0;
    for (int k : probes()) {
      // The first entry of key k, as a multiset find would give.
      auto it = tree.lower_bound({k, 0});
      found += it != tree.end() && it->first == k;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_MultisetFind(benchmark::State &state) {
  std::multiset<int> &set = builtMultiset();
  for (auto _ : state) {
    long found = 0;
    for (int k : probes())
      found += set.find(k) != set.end();
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_YTreeRank(benchmark::State &state) {
  YTreeImpl &tree = builtTree();
  BenchKey probe(0);
  for (auto _ : state) {
    long sum = 0;
    for (int k : probes()) {
      probe.key = k;
      sum += tree.rank(probe);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_PbdsTreeRank(benchmark::State &state) {
  PbdsTree &tree = builtPbds();
  for (auto _ : state) {
    long sum = 0;
    for (int k : probes())
      sum += static_cast<long>(tree.order_of_key({k, 0}));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

} // namespace

BENCHMARK(BM_YTreeInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PbdsTreeInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultisetInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YTreeFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PbdsTreeFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultisetFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YTreeRank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PbdsTreeRank)->Unit(benchmark::kMillisecond);

KV_BENCH_RATIO(BM_YTreeInsert, BM_PbdsTreeInsert, 1.5);
KV_BENCH_RATIO(BM_YTreeFind, BM_PbdsTreeFind, 1.5);
KV_BENCH_RATIO(BM_YTreeRank, BM_PbdsTreeRank, 1.5);
