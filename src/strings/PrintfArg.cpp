#include "kvsupport/strings/PrintfArg.h"

#include "kvsupport/strings/YString.h"
#include "kvsupport/support/KelvantaException.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

char *duplicate(const char *text, size_t length) {
  char *copy = static_cast<char *>(std::malloc(length + 1));
  if (!copy)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in PrintfArg");
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

} // namespace

PrintfArg::PrintfArg(const YString &text) : type_(TextType) {
  const char *bytes = text.tocs();
  owned_ = duplicate(bytes, std::strlen(bytes));
  value_.text = owned_;
}

PrintfArg::PrintfArg(const QString &text) : type_(TextType) {
  QByteArray utf8 = text.toUtf8();
  owned_ = duplicate(utf8.constData(), static_cast<size_t>(utf8.size()));
  value_.text = owned_;
}

PrintfArg::PrintfArg(const PrintfArg &other) : type_(other.type_), value_(other.value_) {
  if (other.owned_) {
    owned_ = duplicate(other.owned_, std::strlen(other.owned_));
    value_.text = owned_;
  }
}

PrintfArg::PrintfArg(PrintfArg &&other) noexcept
    : type_(other.type_), owned_(other.owned_), value_(other.value_) {
  // The value of an owning argument points at the owned text, which moves
  // along with it; the source keeps its tag and a null text.
  other.owned_ = nullptr;
  if (type_ == TextType && owned_)
    other.value_.text = nullptr;
}

PrintfArg &PrintfArg::operator=(const PrintfArg &other) {
  if (this != &other) {
    PrintfArg copy(other);
    *this = std::move(copy);
  }
  return *this;
}

PrintfArg &PrintfArg::operator=(PrintfArg &&other) noexcept {
  if (this != &other) {
    std::free(owned_);
    type_ = other.type_;
    owned_ = other.owned_;
    value_ = other.value_;
    other.owned_ = nullptr;
    if (type_ == TextType && owned_)
      other.value_.text = nullptr;
  }
  return *this;
}

PrintfArg::~PrintfArg() { std::free(owned_); }

PrintfArg PrintfArg::withTag(int32_t tag) noexcept {
  PrintfArg arg;
  arg.type_ = tag;
  return arg;
}
