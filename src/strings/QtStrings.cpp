#include "kvsupport/strings/QtStrings.h"

#include <QByteArray>
#include <QString>

#include <cstring>

QString toQs(const YString &text) { return QString::fromUtf8(text.tocs()); }

YString toYs(const QString &text) {
  QByteArray utf8 = text.toUtf8();
  return YString(utf8.constData(), utf8.size());
}

namespace {

// The interned texts of toCs are hashed over their signed bytes without case
// folding and compared byte for byte up to the NUL.
struct InternedTextTraits {
  static uint32_t hash(const QByteArray &text) {
    uint32_t h = 0;
    for (const char *c = text.constData(); *c; ++c)
      h = h * 0x1003Fu + static_cast<uint32_t>(static_cast<int>(*c));
    return h & 0x7FFFFFFFu;
  }
  static bool equal(const QByteArray &a, const QByteArray &b) {
    return std::strcmp(a.constData(), b.constData()) == 0;
  }
};

struct Nothing {};
using InternTable = YHashTable<QByteArray, Nothing, InternedTextTraits>;

InternTable &internedTexts() {
  static InternTable table(101, 2.0); // lives until process exit; entries never leave
  return table;
}

} // namespace

const char *toCs(const QString &text) {
  QByteArray utf8 = text.toUtf8();
  InternTable &table = internedTexts();
  // Nodes never move and keys are never changed, so the bytes of the stored
  // key stay where they are for the life of the process.
  if (!table.contains(utf8))
    table.insert(utf8, Nothing{});
  return table.findKey(utf8)->constData();
}

Tocs::Tocs(const QString &text) : bytes_(new QByteArray(text.toUtf8())) {}
Tocs::~Tocs() { delete bytes_; }
Tocs::operator const char *() const { return bytes_->constData(); }
