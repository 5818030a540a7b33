#pragma once

/// One text held both as UTF-8 and as wide characters (the platform's
/// wchar_t), for calls into wide-character interfaces. The form given is kept
/// exactly; the other is its conversion. Both are null when constructed from
/// a null pointer. A short-lived converter: not copyable.
class UTFString {
public:
  explicit UTFString(const char *utf8);
  explicit UTFString(const wchar_t *wide);
  ~UTFString();
  UTFString(const UTFString &) = delete;
  UTFString &operator=(const UTFString &) = delete;

  /// The UTF-8 text, or null.
  const char *get() const { return utf8_; }
  /// The wide text, or null.
  const wchar_t *getWide() const { return wide_; }

private:
  wchar_t *wide_ = nullptr;
  char *utf8_ = nullptr;
};
