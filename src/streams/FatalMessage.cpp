#include "kvsupport/streams/FatalMessage.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cstdio>
#include <mutex>

namespace {

// The event that carries a fatal message to the GUI thread.
class FatalMessageEvent : public QEvent {
public:
  static QEvent::Type eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  explicit FatalMessageEvent(const QString &text) : QEvent(eventType()), text(text) {}
  QString text;
};

// Lives on the application's thread and shows the messages posted to it.
class FatalMessageReceiver : public QObject {
public:
  bool event(QEvent *event) override {
    if (event->type() != FatalMessageEvent::eventType())
      return QObject::event(event);
    sp_FatalMessage(static_cast<FatalMessageEvent *>(event)->text.toUtf8().constData());
    return true;
  }
};

// Made on first use, from whichever thread posts first, and handed to the
// application's thread; a child of the application object, which releases it.
FatalMessageReceiver *receiver() {
  static std::mutex creation;
  static QPointer<FatalMessageReceiver> instance;
  std::lock_guard<std::mutex> lock(creation);
  QCoreApplication *application = QCoreApplication::instance();
  if (!instance && application) {
    instance = new FatalMessageReceiver();
    instance->moveToThread(application->thread());
    instance->setParent(application);
  }
  return instance.data();
}

} // namespace

void sp_FatalMessage(const char *text) {
  const QString message = QString::fromUtf8(text ? text : "");
  if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
    std::fprintf(stderr, "Fatal Error : %s\n", message.toUtf8().constData());
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Fatal"), message, QMessageBox::Ok);
  box.setWindowIcon(QApplication::windowIcon());
  box.exec();
}

void sp_ThreadFatalMessage(const char *text) {
  const QString message = QString::fromUtf8(text ? text : "");
  FatalMessageReceiver *target = receiver();
  if (!target) {
    std::fprintf(stderr, "Fatal Error : %s\n", message.toUtf8().constData());
    return;
  }
  QCoreApplication::postEvent(target, new FatalMessageEvent(message));
}
