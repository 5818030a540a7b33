#include "kvsupport/support/MD5.h"
#include "support/MD5_p.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

// From the test suite of RFC 1321, upper case.
const char kEmpty[] = "D41D8CD98F00B204E9800998ECF8427E",
           kAbc[] = "900150983CD24FB0D6963F7D28E17F72";

// Every check runs over OpenSSL and over Qt's fallback.
class MD5Test : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { kv::detail::useQtMd5(GetParam()); }
  void TearDown() override { kv::detail::useQtMd5(false); }
};

INSTANTIATE_TEST_SUITE_P(Providers, MD5Test, ::testing::Values(false, true));

TEST_P(MD5Test, ReferenceTextsAndPiecesAroundBlocks) {
  EXPECT_STREQ(sp_GetMD5(static_cast<const char *>(nullptr)).tocs(), "");

  // Cuts around the block size and the length field's place, and get() in
  // the middle: adding goes on after it.
  std::string text(300, '\0');
  std::mt19937 random(7);
  for (char &c : text)
    c = static_cast<char>('a' + random() % 26);
  for (size_t cut : {0u, 55u, 56u, 63u, 64u, 65u, 128u}) {
    MD5_Impl digest;
    digest.addBytes(text.data(), cut);
    EXPECT_STREQ(digest.get().tocs(), sp_GetMD5(text.substr(0, cut).c_str()).tocs()) << cut;
    digest.addString(text.c_str() + cut);
    EXPECT_STREQ(digest.get().tocs(), sp_GetMD5(text.c_str()).tocs()) << cut;
    digest.reinit();
    MD5_Impl moved(std::move(digest));
    moved.addString("abc");
    EXPECT_STREQ(moved.get().tocs(), kAbc);
  }
}

// A stream is read from its position to its end; a stream that cannot be
// read gives no digest.
TEST_P(MD5Test, StreamsFromTheirPositionAndReadErrors) {
  const std::string dir = kvtest::makeTempDir("kvmd5");
  const std::string path = dir + "/data", text = std::string(100000, 'x') + "abc";
  kvtest::writeFile(path, text);
  FILE *stream = std::fopen(path.c_str(), "rb");
  EXPECT_STREQ(sp_GetMD5(stream).tocs(), sp_GetMD5(text.c_str()).tocs());
  std::fseek(stream, -3, SEEK_END);
  EXPECT_STREQ(sp_GetMD5(stream).tocs(), kAbc);
  EXPECT_STREQ(sp_GetMD5(stream).tocs(), kEmpty) << "at the end: empty input";
  std::fclose(stream);

  EXPECT_STREQ(sp_GetMD5(static_cast<FILE *>(nullptr)).tocs(), "");
  for (FILE *bad : {std::fopen(path.c_str(), "ab"), std::fopen(dir.c_str(), "rb")}) {
    ASSERT_NE(bad, nullptr);
    EXPECT_STREQ(sp_GetMD5(bad).tocs(), "");
    std::fclose(bad);
  }
  kvtest::removeTree(dir);
}

} // namespace
