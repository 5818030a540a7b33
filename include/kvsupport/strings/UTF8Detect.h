#pragma once

/// What UTF8Detect has concluded about the bytes fed to it so far.
enum UTF8DetectEncoding : int {
  UTF8D_ASCII = 0,      ///< only bytes below 0x80
  UTF8D_UTF8 = 1,       ///< well-formed sequences of 2 to 4 bytes seen
  UTF8D_LONG_FORMS = 2, ///< a lead byte of a 5- or 6-byte sequence seen
  UTF8D_INVALID = 3     ///< a byte broke the UTF-8 pattern; final
};

/// A byte-by-byte classifier telling ASCII, UTF-8 and other 8-bit text
/// apart. It checks the pattern of lead and continuation bytes only (not
/// overlong forms or the code point range); a sequence cut off at the end of
/// the text is not reported.
class UTF8Detect {
public:
  UTF8Detect() = default;

  /// Feeds one byte (only the low 8 bits of `byte` count).
  void add(unsigned int byte);
  /// Feeds `count` bytes.
  void add(const char *bytes, int count);
  UTF8DetectEncoding getEncoding() const { return result_; }
  /// Starts a new character sequence (between independent texts); the
  /// result so far is kept.
  void reset() { state_ = kBetween; }

private:
  static constexpr int kBetween = 1;
  static constexpr int kInvalid = 99;

  UTF8DetectEncoding result_ = UTF8D_ASCII;
  int state_ = kBetween;
};
