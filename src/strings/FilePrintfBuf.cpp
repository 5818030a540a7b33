#include "kvsupport/strings/FilePrintfBuf.h"

// The specifications come from PrintfBuf::process, which only passes
// well-formed conversions that match the type of the value.

void FilePrintfBuf::printf_local(const char *spec, int64_t value, int) {
  if (file_)
    std::fprintf(file_, spec, static_cast<long long>(value));
}

void FilePrintfBuf::printf_local(const char *spec, int value, int) {
  if (file_)
    std::fprintf(file_, spec, value);
}

void FilePrintfBuf::printf_local(const char *spec, double value, int) {
  if (file_)
    std::fprintf(file_, spec, value);
}

void FilePrintfBuf::printf_local(const char *spec, const char *text, int) {
  if (file_)
    std::fprintf(file_, spec, text ? text : "(null)");
}

void FilePrintfBuf::printf_local(const char *text) {
  if (file_ && text)
    std::fputs(text, file_);
}
