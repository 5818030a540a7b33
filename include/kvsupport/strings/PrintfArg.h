#pragma once

#include <cstdint>

class QString;
class YString;

/// One typed argument of a formatted message: text, a 32-bit integer, a
/// 64-bit integer or a double, tagged so that the formatter can convert it to
/// whatever the conversion asks for. Messages take up to four of them; a
/// default-constructed argument stands for "no argument" and prints
/// "<arg-missing>".
class PrintfArg {
public:
  /// The tag values; the numbers are part of the interface.
  enum Type : int32_t {
    TextType = 0,        ///< `const char*` (possibly owned, see below)
    IntType = 1,         ///< 32-bit signed integer
    Int64Type = 2,       ///< 64-bit signed integer
    DoubleType = 3,      ///< double
    UnsupportedType = 4, ///< a value of a kind the formatter does not support
    MissingType = 5      ///< no argument
  };

  /// No argument (tag 5).
  PrintfArg() noexcept : type_(MissingType) { value_.i64 = 0; }
  /// Text; the caller's pointer is stored and must outlive the call. A null
  /// pointer prints "(null)" under "%s" and counts as 0 for numbers.
  PrintfArg(const char *text) noexcept : type_(TextType) { value_.text = text; }
  /// Text; the argument owns a copy of it.
  PrintfArg(const YString &text);
  /// Text; the argument owns a copy of its UTF-8 encoding.
  PrintfArg(const QString &text);
  PrintfArg(int value) noexcept : type_(IntType) {
    value_.i64 = 0;
    value_.i = value;
  }
  /// 64-bit integers (both spellings of the 64-bit type take this form).
  PrintfArg(long value) noexcept : type_(Int64Type) { value_.i64 = value; }
  PrintfArg(long long value) noexcept : type_(Int64Type) { value_.i64 = value; }
  /// Unsigned values are held as 64-bit integers (an unsigned 64-bit value
  /// above the signed range keeps its bits).
  PrintfArg(unsigned int value) noexcept : type_(Int64Type) { value_.i64 = value; }
  PrintfArg(unsigned long value) noexcept : type_(Int64Type) {
    value_.i64 = static_cast<int64_t>(value);
  }
  PrintfArg(unsigned long long value) noexcept : type_(Int64Type) {
    value_.i64 = static_cast<int64_t>(value);
  }
  PrintfArg(double value) noexcept : type_(DoubleType) { value_.d = value; }

  /// Duplicates the owned text; the copy refers to its own duplicate.
  PrintfArg(const PrintfArg &other);
  PrintfArg(PrintfArg &&other) noexcept;
  PrintfArg &operator=(const PrintfArg &other);
  PrintfArg &operator=(PrintfArg &&other) noexcept;
  ~PrintfArg();

  /// An argument that carries only a tag and no value. Tag 4 stands for a
  /// kind the formatter cannot print ("<unsupported>" under "%s"); a tag
  /// outside 0 to 5 is treated as damaged ("<error>" under "%s"). Meant for
  /// hosts that forward arguments of their own kinds.
  static PrintfArg withTag(int32_t tag) noexcept;

  int32_t getType() const { return type_; }
  /// The text of a tag-0 argument (may be null); null for other tags.
  const char *getText() const { return type_ == TextType ? value_.text : nullptr; }
  int getInt() const { return value_.i; }
  int64_t getInt64() const { return value_.i64; }
  double getDouble() const { return value_.d; }

private:
  int32_t type_;
  char *owned_ = nullptr;
  union {
    const char *text;
    int i;
    int64_t i64;
    double d;
  } value_;
};
