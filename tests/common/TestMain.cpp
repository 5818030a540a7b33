// Entry point of every test binary. A Qt application object exists for the
// whole run (event loops, timers, codecs), on the offscreen platform so that
// nothing ever waits for a display.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
