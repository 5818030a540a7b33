#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/strings/PrintfArg.h"
#include "kvsupport/strings/YString.h"

#include <cstdio>

/// The kinds of message a MessageHandler classifies, counts and prefixes.
enum MessageType : int {
  MT_ERROR = 0,      ///< "Error : %s\n", counted in the error count
  MT_WARNING = 1,    ///< "Warning : %s\n"
  MT_UNEXPECTED = 2, ///< "Unexpected error, please contact support : %s\n"
  MT_INFO = 3,       ///< "%s\n"
  MT_TEXT = 4,       ///< the text unchanged, counted as text
  MT_HTML = 5,       ///< the text unchanged, as HTML; counted as text
  MT_FATAL = 6       ///< "Fatal Error : %s\n"
};

/// Where the library's errors, warnings and text go. A reporting operation
/// formats its message, counts it, and hands it to output(), which adds the
/// standard prefix and passes the result to the sink, finalOutput().
/// Counters only grow. Handlers are shared through YRef<MessageHandler> and
/// used by one thread at a time.
class MessageHandler {
public:
  MessageHandler() = default;
  MessageHandler(const MessageHandler &) = default; ///< copies the counters
  MessageHandler &operator=(const MessageHandler &) = default;
  virtual ~MessageHandler() = default;

  /// A host handler may send its output to a file; false here.
  virtual bool redirectToFile(int mode, const YString &path) { return false; }

  void error(const char *format, const PrintfArg &a1 = PrintfArg(),
             const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
             const PrintfArg &a4 = PrintfArg());
  void warning(const char *format, const PrintfArg &a1 = PrintfArg(),
               const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg());
  void unexpected(const char *format, const PrintfArg &a1 = PrintfArg(),
                  const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg());
  void info(const char *format, const PrintfArg &a1 = PrintfArg(),
            const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
            const PrintfArg &a4 = PrintfArg());
  /// Plain text, no prefix, no newline added.
  void printf(const char *format, const PrintfArg &a1 = PrintfArg(),
              const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
              const PrintfArg &a4 = PrintfArg());
  /// Standard output becomes text, standard error an unprefixed error;
  /// any other file gets the text written to it (counted as text).
  void fprintf(std::FILE *file, const char *format, const PrintfArg &a1 = PrintfArg(),
               const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
               const PrintfArg &a4 = PrintfArg());
  void fprintf(std::FILE *file, const char *format, const YArray<PrintfArg> &args);
  /// Counts the text by type and outputs it with its prefix.
  void formattedOutput(MessageType type, const YString &text);
  /// Counts the text by type and passes it to the sink without a prefix.
  void rawOutput(MessageType type, const YString &text);
  /// Passes every line of `file` to printf with "%s\n"; nothing for null.
  void outputFile(std::FILE *file);

  bool hasErrors() const { return errorCount > 0 || fatalCount > 0 || unexpectedCount > 0; }
  bool hasFatal() const { return fatalCount > 0 || unexpectedCount > 0; }
  bool hasWarnings() const { return warningCount > 0; }

  int getErrorCount() const { return errorCount; }
  int getWarningCount() const { return warningCount; }
  int getFatalCount() const { return fatalCount; }
  int getUnexpectedCount() const { return unexpectedCount; }
  int getTextCount() const { return textCount; }
  int getInfoCount() const { return infoCount; }

  /// Counts one message of `type` (an unknown type counts nowhere).
  void recordMessageType(MessageType type);
  /// Formats `text` by type: the sink's input for output().
  static YString prefixed(MessageType type, const YString &text);

protected:
  /// The sink: receives the finished text.
  virtual void finalOutput(MessageType type, const YString &text) = 0;
  /// Adds the prefix of `type` and calls finalOutput. Never counts.
  virtual void output(MessageType type, const YString &text);

  int errorCount = 0;
  int warningCount = 0;
  int fatalCount = 0;
  int unexpectedCount = 0;
  int textCount = 0;
  int infoCount = 0;

private:
  friend class kvstdbuf;
  void report(MessageType type, const char *format, const PrintfArg &a1, const PrintfArg &a2,
              const PrintfArg &a3, const PrintfArg &a4);
  void writeTo(std::FILE *file, const YString &text);
};

/// Writes every message to a C file attached to it (not owned); each write
/// also counts as text.
class FileMessageHandler : public MessageHandler {
public:
  void attach(std::FILE *file) { file_ = file; }

protected:
  void finalOutput(MessageType type, const YString &text) override;

private:
  std::FILE *file_ = nullptr;
};

/// Keeps every message text it receives, in order.
class StringMessageHandler : public MessageHandler {
public:
  StringMessageHandler() : strings_(5) {}
  const YArray<YString> &getStrings() const { return strings_; }

protected:
  void finalOutput(MessageType type, const YString &text) override;

private:
  YArray<YString> strings_;
};

/// Discards every message (it still counts them).
class NullMessageHandler : public MessageHandler {
protected:
  void finalOutput(MessageType, const YString &) override {}
  void output(MessageType, const YString &) override {}
};
