#include "kvsupport/support/MD5.h"
#include "support/MD5_p.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// The test suite of RFC 1321, upper case.
const struct {
  const char *text;
  const char *digest;
} kReference[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890"
     "123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

// Every check runs over OpenSSL and over Qt's fallback.
class MD5Test : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { kv::detail::useQtMd5(GetParam()); }
  void TearDown() override { kv::detail::useQtMd5(false); }
};

INSTANTIATE_TEST_SUITE_P(Providers, MD5Test, ::testing::Values(false, true));

TEST_P(MD5Test, ReferenceTextsWholeInPiecesAndAroundBlocks) {
  for (const auto &r : kReference) {
    EXPECT_STREQ(sp_GetMD5(r.text).tocs(), r.digest) << r.text;
    const std::string text = r.text;
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      MD5_Impl digest;
      digest.addString(text.substr(0, cut).c_str());
      digest.addString(text.substr(cut).c_str());
      EXPECT_STREQ(digest.get().tocs(), r.digest) << r.text << " cut at " << cut;
    }
  }
  EXPECT_STREQ(sp_GetMD5(static_cast<const char *>(nullptr)).tocs(), "");

  // Cuts around the block size and the length field's place, and get() in
  // the middle: adding goes on after it.
  std::string text(300, '\0');
  std::mt19937 random(7);
  for (char &c : text)
    c = static_cast<char>('a' + random() % 26);
  for (size_t cut : {55u, 56u, 63u, 64u, 65u, 128u}) {
    MD5_Impl digest;
    digest.addBytes(text.data(), cut);
    EXPECT_STREQ(digest.get().tocs(), sp_GetMD5(text.substr(0, cut).c_str()).tocs()) << cut;
    digest.addBytes(text.data() + cut, text.size() - cut);
    EXPECT_STREQ(digest.get().tocs(), sp_GetMD5(text.c_str()).tocs()) << cut;
    digest.reinit();
    EXPECT_STREQ(digest.get().tocs(), kReference[0].digest);
    MD5_Impl moved(std::move(digest));
    moved.addString("abc");
    EXPECT_STREQ(moved.get().tocs(), kReference[2].digest);
  }
}

TEST_P(MD5Test, StreamsFromTheirPositionAndReadErrors) {
  const std::string dir = kvtest::makeTempDir("kvmd5");
  const std::string path = dir + "/data";
  kvtest::writeFile(path, "0123456789abc");
  FILE *stream = std::fopen(path.c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  std::fseek(stream, 10, SEEK_SET);
  EXPECT_STREQ(sp_GetMD5(stream).tocs(), kReference[2].digest);
  EXPECT_STREQ(sp_GetMD5(stream).tocs(), kReference[0].digest) << "at the end: empty input";
  std::fclose(stream);

  MD5_Impl digest;
  EXPECT_FALSE(digest.addFile(nullptr));
  EXPECT_STREQ(sp_GetMD5(static_cast<FILE *>(nullptr)).tocs(), "");
  FILE *writeOnly = std::fopen(path.c_str(), "ab");
  FILE *directory = std::fopen(dir.c_str(), "rb");
  for (FILE *bad : {writeOnly, directory}) {
    ASSERT_NE(bad, nullptr);
    EXPECT_STREQ(sp_GetMD5(bad).tocs(), "");
    std::fclose(bad);
  }
  kvtest::removeTree(dir);
}

TEST_P(MD5Test, PipeOf64MiBMatchesPieces) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::string block(1 << 20, '\0');
  for (size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<char>(i * 131 + (i >> 9));
  MD5_Impl expected;
  std::thread writer([&] {
    for (int i = 0; i < 64; ++i) {
      block[0] = static_cast<char>(i); // every piece differs
      for (size_t done = 0; done < block.size();) {
        const ssize_t n = write(ends[1], block.data() + done, block.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
      }
      expected.addBytes(block.data(), block.size());
    }
    close(ends[1]);
  });
  FILE *reading = fdopen(ends[0], "rb");
  const YString digest = sp_GetMD5(reading);
  writer.join();
  std::fclose(reading);
  EXPECT_EQ(digest.length(), 32);
  EXPECT_STREQ(digest.tocs(), expected.get().tocs());
}

} // namespace
