#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/strings/PrintfArg.h"

#include <cstdint>

/// The formatting engine and the interface of its output sinks. `process`
/// walks a printf-style format, rebuilds each conversion specification,
/// converts the matching PrintfArg to what the conversion needs and hands the
/// piece to one of the sink's `printf_local` operations. A conversion without
/// an argument, or one the engine does not do, prints a placeholder in angle
/// brackets ("<arg-missing>", "<unsupported-format-type>",
/// "<unrecognised-format-type>") instead of failing.
///
/// Any format with any arguments gives a defined, bounded result: field
/// widths and precisions are limited to kMaxFieldSize, and a specification
/// reaches a sink only in a form the C library formats safely.
///
/// A sink is used by one thread at a time; separate sinks are independent.
class PrintfBuf {
public:
  /// The largest field width or precision passed on to a sink; larger ones
  /// (written in the format or given through '*') are reduced to it.
  static constexpr int kMaxFieldSize = 10000;

  /// Formats `format` with no arguments: every conversion prints
  /// "<arg-missing>", and the result is true only when there is none.
  bool printf(const char *format);
  /// Formats with one to four arguments; returns true when the format used
  /// no more argument positions than were given.
  bool printf(const char *format, const PrintfArg &a1);
  bool printf(const char *format, const PrintfArg &a1, const PrintfArg &a2);
  bool printf(const char *format, const PrintfArg &a1, const PrintfArg &a2, const PrintfArg &a3);
  bool printf(const char *format, const PrintfArg &a1, const PrintfArg &a2, const PrintfArg &a3,
              const PrintfArg &a4);
  /// Formats with every element of `args`, in order.
  bool printf(const char *format, YArray<PrintfArg> args);

  // The sink operations. The specification is a complete C format for one
  // value (flags, width, precision, "ll" for 64-bit integers, conversion);
  // `width` is its field width (0 when none), a size hint only.

  /// A 64-bit integer under "%lld", "%llx" and the like.
  virtual void printf_local(const char *spec, int64_t value, int width) = 0;
  /// A 32-bit integer or a character under "%d", "%x", "%c" and the like.
  virtual void printf_local(const char *spec, int value, int width) = 0;
  /// A double under "%e", "%f", "%g" and the like.
  virtual void printf_local(const char *spec, double value, int width) = 0;
  /// Text under "%s" (with flags, width, precision); `text` is never null.
  virtual void printf_local(const char *spec, const char *text, int width) = 0;
  /// Literal text or a placeholder, written verbatim (never interpreted).
  virtual void printf_local(const char *text) = 0;
  /// Called once at the end of every `process`.
  virtual void write() {}

protected:
  PrintfBuf() = default;
  PrintfBuf(const PrintfBuf &) = default;
  PrintfBuf &operator=(const PrintfBuf &) = default;
  /// Sinks are never deleted through this interface.
  ~PrintfBuf() = default;

  /// Formats `format` (null counts as empty) with the `count` arguments in
  /// `args` (a null entry counts as a missing argument). Stores the number of
  /// argument positions the format consumed in `*used` (when `used` is not
  /// null) and returns whether that number is at most `count`.
  bool process(const char *format, int *used, const PrintfArg *const *args, int count);
};
