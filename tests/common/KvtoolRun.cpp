#include "common/KvtoolRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace kvtest {

KvtoolRun runKvtool(const std::vector<std::string> &arguments) {
  KvtoolRun run;
  const QString tool =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/kvtool/kvtool");
  if (!QFileInfo(tool).isExecutable())
    return run;
  QStringList list;
  for (const std::string &argument : arguments)
    list << QString::fromStdString(argument);
  QProcess process;
  process.start(tool, list);
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
    return run;
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

} // namespace kvtest
