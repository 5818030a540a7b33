// Entry point of every test binary. A Qt application object exists for the
// whole run (event loops, timers, codecs), on the offscreen platform so that
// nothing ever waits for a display. Binaries whose tests show widgets ask
// for a QApplication (see TestApplication.h).
#include "common/TestApplication.h"

#include <QApplication>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

namespace kvtest {

static bool gWidgets = false;

bool requestWidgetApplication() {
  gWidgets = true;
  return true;
}

bool widgetApplicationRequested() { return gWidgets; }

} // namespace kvtest

// The offscreen platform plugin never frees the screens it announces; those
// are Qt's, not ours, and are not reported.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n"
         "leak:QWindowSystemInterface::handleScreenAdded\n"
         "leak:QPlatformScreen::QPlatformScreen\n";
}

// A QThread learns that its thread has finished through Qt's own mutex,
// which ThreadSanitizer cannot see into (Qt is not built for it): the
// finished thread's last wake-up of the QThread's wait condition then looks
// unordered with the QThread's destruction. Qt's wait condition only.
extern "C" const char *__tsan_default_suppressions() {
  return "race:QWaitCondition::~QWaitCondition\n";
}

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QCoreApplication> app;
  if (kvtest::widgetApplicationRequested())
    app = std::make_unique<QApplication>(argc, argv);
  else
    app = std::make_unique<QCoreApplication>(argc, argv);
  return RUN_ALL_TESTS();
}
