#include "kvsupport/streams/MessageHandler.h"

#include "kvsupport/strings/StringPrintfBuf.h"

#include <string>

namespace {

YString format4(const char *format, const PrintfArg &a1, const PrintfArg &a2, const PrintfArg &a3,
                const PrintfArg &a4) {
  VarStringPrintfBuf buffer;
  buffer.printf(format ? format : "", a1, a2, a3, a4);
  return YString(buffer.getBuffer());
}

} // namespace

void MessageHandler::recordMessageType(MessageType type) {
  switch (type) {
  case MT_ERROR:
    ++errorCount;
    break;
  case MT_WARNING:
    ++warningCount;
    break;
  case MT_UNEXPECTED:
    ++unexpectedCount;
    break;
  case MT_INFO:
    ++infoCount;
    break;
  case MT_TEXT:
  case MT_HTML:
    ++textCount;
    break;
  case MT_FATAL:
    ++fatalCount;
    break;
  }
}

YString MessageHandler::prefixed(MessageType type, const YString &text) {
  const char *prefix;
  const char *suffix = "\n";
  switch (type) {
  case MT_ERROR:
    prefix = "Error : ";
    break;
  case MT_WARNING:
    prefix = "Warning : ";
    break;
  case MT_UNEXPECTED:
    prefix = "Unexpected error, please contact support : ";
    break;
  case MT_INFO:
    prefix = "";
    break;
  case MT_TEXT:
  case MT_HTML:
    return text;
  case MT_FATAL:
    prefix = "Fatal Error : ";
    break;
  default:
    return YString();
  }
  return YString(YString(prefix).concat(text.tocs()).concat(suffix));
}

void MessageHandler::output(MessageType type, const YString &text) {
  finalOutput(type, prefixed(type, text));
}

void MessageHandler::report(MessageType type, const char *format, const PrintfArg &a1,
                            const PrintfArg &a2, const PrintfArg &a3, const PrintfArg &a4) {
  YString text = format4(format, a1, a2, a3, a4);
  recordMessageType(type);
  output(type, text);
}

void MessageHandler::error(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                           const PrintfArg &a3, const PrintfArg &a4) {
  report(MT_ERROR, format, a1, a2, a3, a4);
}

void MessageHandler::warning(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                             const PrintfArg &a3) {
  report(MT_WARNING, format, a1, a2, a3, PrintfArg());
}

void MessageHandler::unexpected(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                                const PrintfArg &a3) {
  report(MT_UNEXPECTED, format, a1, a2, a3, PrintfArg());
}

void MessageHandler::info(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                          const PrintfArg &a3, const PrintfArg &a4) {
  report(MT_INFO, format, a1, a2, a3, a4);
}

void MessageHandler::printf(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                            const PrintfArg &a3, const PrintfArg &a4) {
  report(MT_TEXT, format, a1, a2, a3, a4);
}

void MessageHandler::writeTo(std::FILE *file, const YString &text) {
  if (file == stdout) {
    ++textCount;
    finalOutput(MT_TEXT, text);
  } else if (file == stderr) {
    ++errorCount;
    finalOutput(MT_ERROR, text);
  } else {
    ++textCount;
    if (file)
      std::fwrite(text.tocs(), 1, static_cast<size_t>(text.length()), file);
  }
}

void MessageHandler::fprintf(std::FILE *file, const char *format, const PrintfArg &a1,
                             const PrintfArg &a2, const PrintfArg &a3, const PrintfArg &a4) {
  writeTo(file, format4(format, a1, a2, a3, a4));
}

void MessageHandler::fprintf(std::FILE *file, const char *format, const YArray<PrintfArg> &args) {
  VarStringPrintfBuf buffer;
  buffer.printf(format ? format : "", args);
  writeTo(file, YString(buffer.getBuffer()));
}

void MessageHandler::formattedOutput(MessageType type, const YString &text) {
  recordMessageType(type);
  output(type, text);
}

void MessageHandler::rawOutput(MessageType type, const YString &text) {
  recordMessageType(type);
  finalOutput(type, text);
}

void MessageHandler::outputFile(std::FILE *file) {
  if (!file)
    return;
  std::string line;
  char piece[4096];
  while (std::fgets(piece, sizeof piece, file)) {
    line += piece;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      printf("%s\n", line.c_str());
      line.clear();
    }
  }
  if (!line.empty())
    printf("%s\n", line.c_str());
}

void FileMessageHandler::finalOutput(MessageType, const YString &text) {
  if (!file_)
    return;
  ++textCount;
  std::fwrite(text.tocs(), 1, static_cast<size_t>(text.length()), file_);
}

void StringMessageHandler::finalOutput(MessageType, const YString &text) { strings_.add(text); }
