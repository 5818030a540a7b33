#include "common/KvtoolRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace kvtest {

KvtoolRun runKvtool(const QStringList &arguments, const std::string &input) {
  KvtoolRun run;
  const QString tool =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/kvtool/kvtool");
  if (!QFileInfo(tool).isExecutable())
    return run;
  QProcess process;
  process.start(tool, arguments);
  process.write(input.data(), static_cast<qint64>(input.size()));
  process.closeWriteChannel();
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
    return run;
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

} // namespace kvtest
