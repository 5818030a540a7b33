#pragma once

#include "kvsupport/strings/YString.h"

class QByteArray;
class QString;

/// The text read as UTF-8.
QString toQs(const YString &text);
/// The UTF-8 encoding of `text`.
YString toYs(const QString &text);
/// The UTF-8 encoding of `text`, interned: the pointer stays valid for the
/// life of the process. Equal texts give the same pointer. Not thread-safe:
/// used from one thread.
const char *toCs(const QString &text);

/// Holds the UTF-8 encoding of a QString while it lives.
class Tocs {
public:
  explicit Tocs(const QString &text);
  ~Tocs();
  Tocs(const Tocs &) = delete;
  Tocs &operator=(const Tocs &) = delete;
  operator const char *() const;

private:
  QByteArray *bytes_;
};
