#include "kvsupport/ipc/Process.h"

#include "os/Process_p.h"

#include "kvsupport/streams/MessageReporting.h"
#include "kvsupport/streams/kvstream.h"
#include "kvsupport/strings/YString.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>

// The QProcess objects behind the spawn functions and KvProcess.
namespace kv::detail {

/// A QProcess whose child inherits no descriptor above 2 (Qt's own pipes
/// are put in place before this runs; the host's stray descriptors, and
/// those of other threads racing this fork, are marked close-on-exec).
class ChildProcess : public QProcess {
  Q_OBJECT
public:
  using QProcess::QProcess;
  /// The exit code, 128 + N when the child was killed by signal N.
  int exitCodeOrSignal() const;

protected:
  void setupChildProcess() override;
};

/// The command line's words, as the spawn functions read them.
QStringList splitCommandLine(const char *commandLine);

/// The start failure of a program named `program`: not found, not executable
/// or another reason.
int classifyStartFailure(const QString &program);

} // namespace kv::detail

/// The child of one sp_SpawnApplication call, alive until the child ends.
class SpawnProcessObjectQt4 : public kv::detail::ChildProcess {
  Q_OBJECT
public:
  explicit SpawnProcessObjectQt4(YRef<kvstream> output) : output_(output) {}
  QEventLoop loop;

public slots:
  void readStandardOut();
  void readStandardErr();
  void update();
  void processFinished(int exitCode, QProcess::ExitStatus status);

private:
  void forward(const QByteArray &bytes);
  YRef<kvstream> output_;
};

/// The child of a KvProcess; outlives its owner while the child runs.
class KvProcessHelper : public kv::detail::ChildProcess {
  Q_OBJECT
public:
  explicit KvProcessHelper(KvProcess *owner) : owner_(owner) {}
  KvProcess *owner_;
  QString program;
  QStringList arguments;

public slots:
  void readStandardOut();
  void readStandardErr();
  void processFinished(int exitCode, QProcess::ExitStatus status);
};

namespace {

constexpr int kStartTimeoutMs = 30000;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void setOut(unsigned *exitCode, int *processId, unsigned code, int pid) {
  if (exitCode)
    *exitCode = code;
  if (processId)
    *processId = pid;
}

// Whether the calling thread has a Qt event loop to run: a QEventLoop needs
// the application object, and its events belong to the thread it lives on.
bool canRunEventLoop() { return QCoreApplication::instance() != nullptr; }

QString resolveProgram(const QString &program) {
  if (program.contains(QLatin1Char('/')))
    return program;
  const QString path = QProcessEnvironment::systemEnvironment().value(QStringLiteral("PATH"));
  for (const QString &dir : path.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    QFileInfo candidate(dir + QLatin1Char('/') + program);
    if (candidate.exists())
      return candidate.filePath();
  }
  return program;
}

} // namespace

namespace kv::detail {

int ChildProcess::exitCodeOrSignal() const {
  if (state() != QProcess::NotRunning)
    return 0;
  return exitStatus() == QProcess::CrashExit ? 128 + exitCode() : exitCode();
}

void ChildProcess::setupChildProcess() { kv::os::markDescriptorsCloseOnExec(); }

QStringList splitCommandLine(const char *commandLine) {
  QStringList words;
  if (!commandLine)
    return words;
  const char *at = commandLine;
  for (;;) {
    while (isBlank(*at))
      ++at;
    if (*at == '\0')
      break;
    // A word, with double quotes grouping blanks into it ("a b"c is one word).
    QByteArray word;
    bool quoted = false;
    for (; *at != '\0' && (quoted || !isBlank(*at)); ++at) {
      if (*at == '"')
        quoted = !quoted;
      else
        word.append(*at);
    }
    words.append(QString::fromUtf8(word));
  }
  return words;
}

int classifyStartFailure(const QString &program) {
  QFileInfo file(resolveProgram(program));
  if (!file.exists())
    return SSP_NOT_FOUND;
  if (file.isFile() && file.isExecutable())
    return SSP_START_FAILED;
  return SSP_NOT_EXECUTABLE;
}

} // namespace kv::detail

void SpawnProcessObjectQt4::forward(const QByteArray &bytes) {
  if (output_ && !bytes.isEmpty())
    output_->write(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Channels that are not forwarded go to the null device; with neither
// forwarded the process is not readable at all.
void SpawnProcessObjectQt4::readStandardOut() {
  if (isReadable())
    forward(readAllStandardOutput());
}
void SpawnProcessObjectQt4::readStandardErr() {
  if (isReadable())
    forward(readAllStandardError());
}

void SpawnProcessObjectQt4::update() {
  if (state() == QProcess::NotRunning)
    loop.quit();
}

void SpawnProcessObjectQt4::processFinished(int, QProcess::ExitStatus) {
  // Output still buffered goes to the stream before the end is reported.
  readStandardOut();
  readStandardErr();
  loop.quit();
}

SSPError sp_SpawnApplication(const char *commandLine, uint32_t flags, YRef<kvstream> output,
                             unsigned *exitCode, int *processId) {
  setOut(exitCode, processId, 0, -1);
  if (flags & SpawnNewConsole)
    return SSP_UNSUPPORTED;
  QStringList words = kv::detail::splitCommandLine(commandLine);
  if (words.isEmpty() || words.front().isEmpty())
    return SSP_NOT_FOUND;
  const QString program = words.takeFirst();

  auto *child = new SpawnProcessObjectQt4(output);
  // Channels that are not forwarded go to the null device: a pipe nobody
  // reads would fill and stop the child.
  if (flags & SpawnForwardStdout)
    QObject::connect(child, &QProcess::readyReadStandardOutput, child,
                     &SpawnProcessObjectQt4::readStandardOut);
  else
    child->setStandardOutputFile(QProcess::nullDevice());
  if (flags & SpawnForwardStderr)
    QObject::connect(child, &QProcess::readyReadStandardError, child,
                     &SpawnProcessObjectQt4::readStandardErr);
  else
    child->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), child,
                   &SpawnProcessObjectQt4::processFinished);

  child->start(program, words, QIODevice::ReadWrite);
  if (!child->waitForStarted(kStartTimeoutMs)) {
    child->kill();
    child->waitForFinished();
    delete child;
    return static_cast<SSPError>(kv::detail::classifyStartFailure(program));
  }
  if (flags & SpawnWait) {
    if (canRunEventLoop() && child->thread() == QThread::currentThread()) {
      if (child->state() != QProcess::NotRunning)
        child->loop.exec();
    } else {
      child->waitForFinished(-1);
    }
    child->processFinished(0, QProcess::NormalExit);
  }
  if (child->state() == QProcess::NotRunning) {
    setOut(exitCode, processId, static_cast<unsigned>(child->exitCodeOrSignal()), -1);
    delete child;
  } else {
    setOut(exitCode, processId, 0, static_cast<int>(child->processId()));
    QObject::connect(child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), child,
                     &QObject::deleteLater);
  }
  return SSP_OK;
}

SSPError sp_OldSpawnApplication(const char *commandLine, uint32_t flags, unsigned *exitCode,
                                int *processId) {
  setOut(exitCode, processId, 0, -1);
  const QStringList words = kv::detail::splitCommandLine(commandLine);
  std::vector<std::string> argv;
  for (const QString &word : words)
    argv.push_back(word.toStdString());
  kv::os::SpawnedChild child;
  switch (kv::os::spawnProgram(argv, (flags & SpawnNewConsole) == 0, &child)) {
  case kv::os::SpawnFailure::None:
    break;
  case kv::os::SpawnFailure::NotFound:
    return SSP_NOT_FOUND;
  case kv::os::SpawnFailure::NotExecutable:
    return SSP_NOT_EXECUTABLE;
  case kv::os::SpawnFailure::BadFormat:
    return SSP_BAD_FORMAT;
  case kv::os::SpawnFailure::Other:
    return SSP_START_FAILED;
  }
  if (!(flags & SpawnWait)) {
    setOut(exitCode, processId, 0, child.pid);
    kv::os::leaveChild(&child);
    return SSP_OK;
  }
  // Wait for the end while the thread's events are still handled: the
  // pidfd turns readable when the child ends.
  if (child.endHandle >= 0 && canRunEventLoop()) {
    QEventLoop loop;
    QSocketNotifier ended(child.endHandle, QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    loop.exec();
  }
  setOut(exitCode, processId, static_cast<unsigned>(kv::os::reapChild(&child)), -1);
  return SSP_OK;
}

int sp_ReapSpawnedChildren(bool waitForAll) { return kv::os::reapEndedChildren(waitForAll); }

void KvProcessHelper::readStandardOut() {
  if (!isReadable())
    return;
  const QByteArray bytes = readAllStandardOutput();
  if (!bytes.isEmpty())
    kv_printf("%s", YString(bytes.constData(), bytes.size()));
}

void KvProcessHelper::readStandardErr() {
  if (!isReadable())
    return;
  const QByteArray bytes = readAllStandardError();
  if (!bytes.isEmpty())
    kv_printf("%s", YString(bytes.constData(), bytes.size()));
}

void KvProcessHelper::processFinished(int, QProcess::ExitStatus) {
  if (owner_) {
    readStandardOut();
    readStandardErr();
    if (owner_->loop_)
      owner_->loop_->quit();
  } else {
    deleteLater();
  }
}

KvProcess::KvProcess(const char *commandLine, bool forwardStdout, bool forwardStderr)
    : helper_(new KvProcessHelper(this)), openMode_((forwardStdout || forwardStderr) ? 3 : 2) {
  QStringList words = kv::detail::splitCommandLine(commandLine);
  if (!words.isEmpty())
    helper_->program = words.takeFirst();
  helper_->arguments = words;
  if (forwardStdout)
    QObject::connect(helper_, &QProcess::readyReadStandardOutput, helper_,
                     &KvProcessHelper::readStandardOut);
  else
    helper_->setStandardOutputFile(QProcess::nullDevice());
  if (forwardStderr)
    QObject::connect(helper_, &QProcess::readyReadStandardError, helper_,
                     &KvProcessHelper::readStandardErr);
  else
    helper_->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(helper_, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), helper_,
                   &KvProcessHelper::processFinished);
}

KvProcess::~KvProcess() {
  delete loop_;
  if (helper_->state() != QProcess::NotRunning)
    helper_->owner_ = nullptr; // deletes itself when the child ends
  else
    delete helper_;
}

void KvProcess::addArgument(const char *argument) {
  if (!argument)
    return;
  if (helper_->program.isEmpty())
    helper_->program = QString::fromUtf8(argument);
  else
    helper_->arguments.append(QString::fromUtf8(argument));
}

bool KvProcess::start() {
  if (helper_->program.isEmpty() || helper_->state() != QProcess::NotRunning)
    return false;
  helper_->start(helper_->program, helper_->arguments,
                 openMode_ == 3 ? QIODevice::ReadWrite : QIODevice::WriteOnly);
  return helper_->waitForStarted(kStartTimeoutMs);
}

bool KvProcess::isRunning() const { return helper_->state() != QProcess::NotRunning; }

void KvProcess::kill() {
  if (isRunning())
    helper_->kill();
}

void KvProcess::waitProcess() {
  if (!isRunning())
    return;
  if (!canRunEventLoop() || helper_->thread() != QThread::currentThread()) {
    helper_->waitForFinished(-1);
    return;
  }
  if (!loop_)
    loop_ = new QEventLoop;
  loop_->exec();
}

int KvProcess::exitCode() const { return helper_->exitCodeOrSignal(); }

#include "Process.moc"
