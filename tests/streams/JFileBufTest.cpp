#include "kvsupport/streams/JFileBuf.h"
#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/YString.h"

#include "common/ChildProcess.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

TEST(JFileBufTest, LoadsWholeFilesInTextAndBinaryMode) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("script.txt").toStdString();
  std::ofstream(path, std::ios::binary) << "\r\nline one\r\nline two\r\n\x1a";
  JFileBuf binary(path.c_str(), false);
  ASSERT_NE(binary.get(), nullptr);
  EXPECT_EQ(binary.getSize(), 23u);
  EXPECT_EQ(std::string(binary.get(), binary.getSize()), "\r\nline one\r\nline two\r\n\x1a");
  JFileBuf text;
  ASSERT_NE(text.open(path.c_str(), true), nullptr);
  EXPECT_STREQ(text, "\nline one\nline two\n\x1a") << "text mode reads CR LF as LF, NUL-terminated";
  EXPECT_EQ(text.getSize(), 20u);
  EXPECT_EQ(text.open("/nonexistent/file", false), nullptr);
  EXPECT_EQ(text.get(), nullptr) << "a failed open releases the previous data";
  EXPECT_EQ(text.getSize(), 0u);
  EXPECT_EQ(text.open(nullptr, false), nullptr);
  std::ofstream(dir.filePath("empty").toStdString());
  EXPECT_EQ(text.open(dir.filePath("empty").toUtf8().constData(), false), nullptr);
}

// The host's built-in scripts, offered through "findBuiltInScript".
kvstream *findScript(const YString &name, const YString &unused) {
  if (name == "hello" && unused.isEmpty())
    return new kvstrstream("print hello\n");
  return nullptr;
}

TEST(JFileBufTest, InternalPathsAreServedByTheHost) {
  if (kvtest::childRole() != "scripts") {
    // The host function is looked up once per process: run it in a fresh one.
    EXPECT_EQ(kvtest::runChild("JFileBufTest.InternalPathsAreServedByTheHost", "scripts"), 0);
    return;
  }
  MakeDynamicFunction registration(&findScript, "findBuiltInScript");
  JFileBuf script;
  ASSERT_NE(script.open("internal:scripts/hello.kvs", true), nullptr);
  EXPECT_STREQ(script, "print hello\n");
  EXPECT_EQ(script.open("INTERNAL:missing", true), nullptr);
}

} // namespace
