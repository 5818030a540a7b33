#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/streams/FatalMessage.h"
#include "kvsupport/streams/JFileBuf.h"
#include "kvsupport/streams/MessageReporting.h"
#include "kvsupport/streams/kvstdstream.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/support/KelvantaException.h"

#include "common/ChildProcess.h"
#include "common/TestApplication.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// The message box test needs a widget application.
const bool kWidgets = kvtest::requestWidgetApplication();

std::vector<std::string> texts(const StringMessageHandler &handler) {
  std::vector<std::string> all;
  for (int64_t i = 0; i < handler.getStrings().size(); ++i)
    all.emplace_back(handler.getStrings()[i].tocs());
  return all;
}

// Each kind is counted and prefixed (copies keep the counters); standard
// output and error become messages, other files are written, and a file
// handler writes each message to its file once attached.
TEST(MessageHandlerTest, EachKindIsCountedPrefixedAndRouted) {
  StringMessageHandler handler;
  handler.error("bad value %d", 3);
  handler.warning("check %s", "R1");
  handler.formattedOutput(MT_FATAL, YString("gone"));
  handler.formattedOutput(MT_HTML, YString("<b>x</b>"));
  handler.formattedOutput(static_cast<MessageType>(42), YString("lost"));
  handler.unexpected("u %d", 1);
  handler.fprintf(stderr, "err %s", "x");
  std::FILE *file = std::tmpfile();
  YArray<PrintfArg> args;
  args.add(PrintfArg("seven"));
  handler.fprintf(file, "%s\n", args);
  EXPECT_EQ(texts(handler),
            (std::vector<std::string>{
                "Error : bad value 3\n", "Warning : check R1\n", "Fatal Error : gone\n", "<b>x</b>",
                "", "Unexpected error, please contact support : u 1\n", "err x"}));
  const StringMessageHandler copy(handler);
  const int counts[] = {copy.getErrorCount(), copy.getWarningCount(), copy.getInfoCount(),
                        copy.getTextCount(),  copy.getFatalCount(),   copy.getUnexpectedCount()};
  EXPECT_EQ(std::vector<int>(counts, counts + 6), (std::vector<int>{2, 1, 0, 2, 1, 1}));
  FileMessageHandler toFile;
  toFile.error("not attached");
  toFile.attach(file);
  toFile.warning("attached");
  std::rewind(file);
  StringMessageHandler lines;
  lines.outputFile(file);
  EXPECT_EQ(texts(lines), (std::vector<std::string>{"seven\n", "Warning : attached\n"}));
  std::fclose(file);
  // A standard stream turns each write into a message; without a host
  // handler messages go to one that discards them but counts.
  YRef<MessageHandler> shared(new StringMessageHandler());
  kvstdstream_html(shared) << "<i>y</i>" << 5;
  EXPECT_EQ(shared->getTextCount(), 2);
  kv_error("nobody hears %s", "this");
  EXPECT_TRUE(sp_GetDefaultMessageHandler()->hasErrors());
}

// The host's handler and built-in scripts, offered through
// "getDefaultMessageHandler" and "findBuiltInScript". The test switches the
// handler per call like a host capturing a command's output.
YRef<MessageHandler> gHostHandler;
YRef<MessageHandler> hostHandler() { return gHostHandler; }
kvstream *findScript(const YString &name, const YString &unused) {
  if (name == "hello" && unused.isEmpty())
    return new kvstrstream("print hello\n");
  return nullptr;
}

TEST(MessageHandlerTest, HostFunctionsServeMessagesAndScripts) {
  if (kvtest::childRole() != "host") {
    // The host functions are looked up once per process: run it in a fresh one.
    EXPECT_EQ(kvtest::runChild("MessageHandlerTest.HostFunctionsServeMessagesAndScripts", "host"),
              0);
    return;
  }
  MakeDynamicFunction handlerFunction(reinterpret_cast<void *>(&hostHandler),
                                      "getDefaultMessageHandler");
  MakeDynamicFunction scriptFunction(&findScript, "findBuiltInScript");
  JFileBuf script;
  ASSERT_NE(script.open("internal:scripts/hello.kvs", true), nullptr);
  EXPECT_STREQ(script, "print hello\n");
  auto *capture = new StringMessageHandler();
  gHostHandler = YRef<MessageHandler>(capture);
  YRef<MessageHandler> keep = gHostHandler;
  kv_printf("%s=%d", "n", 4);
  check_error("p != 0", "a.cpp", 12);
  EXPECT_EQ(texts(*capture), (std::vector<std::string>{"n=4", "Unexpected error, please contact "
                                                              "support : Test p != 0 failed in "
                                                              "module a.cpp, line 12\n"}));
  gHostHandler = YRef<MessageHandler>();
  kv_printf("falls back to the discarding handler");
  EXPECT_EQ(capture->getTextCount(), 1);
}

std::string assertText(const char *expression, const char *file) {
  try {
    sp_Assert(expression, file, 12);
  } catch (const KelvantaException &e) {
    EXPECT_EQ(e.getCode(), 8);
    return e.getMessage();
  }
  return "no exception";
}

// Asserts throw the library exception; error lists grow at the front without
// repeats (in any case); both texts are cut safely to their buffers.
TEST(MessageHandlerTest, ErrorListsGrowAtTheFrontWithoutRepeats) {
  EXPECT_EQ(assertText("p != 0", "a.cpp"), "Assert failed: p != 0 in file a.cpp line 12");
  YList<YString> list;
  sp_AddError(&list, "Missing node %s", "N1");
  sp_AddError(&list, "missing NODE %s", "n1");
  sp_WriteErrorList(&list, "listed %s", "too");
  ASSERT_EQ(list.size(), 2);
  EXPECT_STREQ(list.first().tocs(), "*** ERROR *** listed too");
  sp_AddError(&list, "%s", std::string(5000, 'z').c_str());
  EXPECT_EQ(list.first().length(), 511) << "cut safely to the 512-byte buffer";
}

TEST(MessageHandlerTest, FatalMessagesAreShownOnTheGuiThread) {
  ASSERT_TRUE(kWidgets && qobject_cast<QApplication *>(QCoreApplication::instance()));
  QString shownTitle, shownText;
  // Closes whatever message box is up, noting what it showed.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
      shownTitle = box->windowTitle();
      shownText = box->text();
      box->accept();
    }
  });
  closer.start(5);
  sp_FatalMessage("disk gone");
  EXPECT_EQ(shownTitle + ":" + shownText, QStringLiteral("Fatal:disk gone"));

  shownText.clear();
  std::thread worker([] { sp_ThreadFatalMessage("from a worker"); });
  worker.join();
  EXPECT_TRUE(shownText.isEmpty()) << "nothing is shown off the GUI thread";
  QCoreApplication::processEvents(); // delivers the posted message; the timer closes its box
  EXPECT_EQ(shownText, QStringLiteral("from a worker"));
}

} // namespace
