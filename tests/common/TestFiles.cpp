#include "common/TestFiles.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace kvtest {

std::string readFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return "<missing>";
  return file.readAll().toStdString();
}

std::string readFile(const std::string &path) { return readFile(QString::fromStdString(path)); }

void writeFile(const QString &path, const std::string &bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size()))
    ADD_FAILURE() << "cannot write " << path.toStdString();
}

void writeFile(const std::string &path, const std::string &bytes) {
  writeFile(QString::fromStdString(path), bytes);
}

TempFile::TempFile(const std::string &bytes, const char *name)
    : path_(dir_.filePath(QString::fromUtf8(name)).toStdString()) {
  writeFile(path_, bytes);
}

} // namespace kvtest
