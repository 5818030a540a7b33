// MD5 digests against OpenSSL used directly: a page-cached 64 MiB file read
// in 16 KiB pieces, and one 64-byte text.
#include "BenchRatios.h"

#include <kvsupport/support/MD5.h>

#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t kFileSize = size_t{64} << 20;

const std::string &digestFile() {
  static const std::string path = [] {
    const std::string name =
        (QDir::tempPath() +
         QStringLiteral("/kvbench_md5_%1.bin").arg(QCoreApplication::applicationPid()))
            .toStdString();
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<char>(i * 2654435761u >> 13);
    std::FILE *file = std::fopen(name.c_str(), "wb");
    for (size_t done = 0; done < kFileSize; done += block.size())
      std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
    static const int cleanup = std::atexit([] { std::remove(digestFile().c_str()); });
    (void)cleanup;
    return name;
  }();
  return path;
}

void BM_Md5File(benchmark::State &state) {
  for (auto _ : state) {
    std::FILE *file = std::fopen(digestFile().c_str(), "rb");
    benchmark::DoNotOptimize(sp_GetMD5(file));
    std::fclose(file);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_OpenSslMd5File(benchmark::State &state) {
  const EVP_MD *md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  EVP_MD_CTX *context = EVP_MD_CTX_new();
  std::vector<char> piece(16384);
  for (auto _ : state) {
    std::FILE *file = std::fopen(digestFile().c_str(), "rb");
    EVP_DigestInit_ex(context, md5, nullptr);
    size_t got;
    while ((got = std::fread(piece.data(), 1, piece.size(), file)) > 0)
      EVP_DigestUpdate(context, piece.data(), got);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    benchmark::DoNotOptimize(digest);
    std::fclose(file);
  }
  EVP_MD_CTX_free(context);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

const char kText[] = "R1 out 0 4k7 ; a resistor line of sixty-four bytes, for digests!";
static_assert(sizeof kText == 65, "64 bytes and the terminator");

void BM_Md5Text(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(sp_GetMD5(kText));
}

void BM_OpenSslMd5Text(benchmark::State &state) {
  const EVP_MD *md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  for (auto _ : state) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(kText, sizeof kText - 1, digest, &size, md5, nullptr);
    benchmark::DoNotOptimize(digest);
  }
}

} // namespace

BENCHMARK(BM_OpenSslMd5File)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Md5File)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenSslMd5Text);
BENCHMARK(BM_Md5Text);
// At least 95% of OpenSSL's throughput: at most 1/0.95 of its time.
KV_BENCH_RATIO(BM_Md5File, BM_OpenSslMd5File, 1.0 / 0.95);
KV_BENCH_RATIO(BM_Md5Text, BM_OpenSslMd5Text, 1.5);
