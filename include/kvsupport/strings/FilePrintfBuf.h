#pragma once

#include "kvsupport/strings/PrintfBuf.h"

#include <cstdio>

/// A formatting sink that writes each piece to a C stdio stream. Write errors
/// are left in the stream's error indicator, not reported. A null stream
/// swallows everything.
class FilePrintfBuf : public PrintfBuf {
public:
  explicit FilePrintfBuf(FILE *file) : file_(file) {}

  FILE *getFile() const { return file_; }

  void printf_local(const char *spec, int64_t value, int width) override;
  void printf_local(const char *spec, int value, int width) override;
  void printf_local(const char *spec, double value, int width) override;
  void printf_local(const char *spec, const char *text, int width) override;
  void printf_local(const char *text) override;

private:
  FILE *file_;
};
