#pragma once

#include "kvsupport/streams/kvstream.h"
#include "kvsupport/strings/Buf.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>

/// Netlist dialects. `*#` header comments switch between them.
enum SpiceLanguage : int { SPICE_NATIVE = 0, SPICE_PSPICE = 1, SPICE_HSPICE = 2 };

/// Reads a netlist as logical lines: comment lines and inline comments are
/// dropped, `+` continuation lines joined, blank lines skipped. Keeps the line
/// and character positions that error messages name, recognises the `*#`
/// header comments (dialect, separator, hierarchy mark) and hands brace
/// expressions `{...}` to an overridable hook.
///
/// Characters are taken from the stream one at a time; carriage returns are
/// dropped (so a file with carriage returns only as line ends reads as one
/// long line), and so are NUL, the other control characters except tab and
/// line feed, and the byte 255. One thread at a time.
class SpiceStream : public kvstream {
public:
  /// Takes over `stream`'s buffer (the stream gets a fresh one of its kind).
  /// Native dialect, no source file.
  explicit SpiceStream(kvstream &stream);
  /// Opens `path` for reading; a file that cannot be opened reads as empty.
  SpiceStream(const char *path, SpiceLanguage language);
  ~SpiceStream() override;

  /// The next character of the logical-line stream: each logical line with
  /// comments removed, each continuation `+` replaced by a blank and one line
  /// feed at its end; -1 at the end. With `literal` the next character is
  /// returned unprocessed (and echoed), and the line-building state restarts.
  int get(bool literal);
  /// Reads one logical line into *line, without its line feed. *lineNumber
  /// receives the 1-based physical line of its first character;
  /// *lineEncrypted whether any of its characters came from an encrypted
  /// line; *hasHighChars whether any is above 127. Each pointer may be null.
  /// Brace groups go through evaluate(). False only at the end of the input
  /// with nothing read (*line is then empty).
  virtual bool gets(YString *line, int *lineNumber, bool *lineEncrypted, bool *hasHighChars);
  /// Evaluates the text of a brace group (inner braces turned into
  /// parentheses) into *result; false leaves the group in the line as read.
  /// The default evaluates nothing.
  virtual bool evaluate(const char *expression, YString *result);

  /// Reads the first physical line into the line buffer unprocessed
  /// (carriage returns and unreadable characters dropped) and counts it: a
  /// netlist's first line is its title.
  void readTitle();
  void setLiteralMode(bool on) { literalMode_ = on; }
  /// The line buffer then keeps runs of line feeds.
  void dontSuppressEmptyLines() { suppressEmptyLines_ = false; }
  /// Restarts reading on the same stream: state, pushback and every count
  /// (the stream's too) cleared, literal mode off, empty lines suppressed,
  /// separator "$". The dialect stays.
  void init();
  /// Zeroes the line and character counts (the stream's too) and the last
  /// accepted character; the last accepted line stays.
  void clearCounts();

  /// Replaces the line buffer's text.
  void copyBuffer(const YString &text);
  /// Empties the line buffer. Reading never empties it: it holds everything
  /// read (comments and line feeds included) until the caller flushes it.
  void flushBuffer() { lineBuffer_.flush(); }
  const Buf *getBuffer() const { return &lineBuffer_; }

  /// Non-zero once the end has been reached.
  int eof() const { return state_ == 7; }
  /// Line feeds read.
  int getLineCount() const { return clampCount(lineCount_); }
  /// The line count when the last content character (or the line end that
  /// completed a line) was handed out.
  int getLastAcceptedLineCount() const { return clampCount(lastAcceptedLine_); }
  /// The character count at that moment.
  int getLastAcceptedCharCount() const { return clampCount(lastAcceptedChar_); }
  /// Characters read, carriage returns included; with a decryption interface
  /// installed, the stream's own count.
  int getCharCount() const;
  /// `$` in the HSPICE dialect, `;` otherwise.
  char getInlineCommentChar() const { return language_ == SPICE_HSPICE ? '$' : ';'; }
  SpiceLanguage getLanguage() const { return language_; }
  bool isHspiceMode() const { return language_ == SPICE_HSPICE; }
  /// A `*#hierarchy` header was met while reading the current logical line.
  bool isHierarchy() const { return hierarchy_; }
  /// The separator named by a header ("$" unless a header changed it).
  const char *getSeparator() const { return separator_.tocs(); }
  YString getSourceFile() const { return sourceFile_; }

  /// A spare target for the line number of gets.
  static int dummyLineNum;

private:
  static int clampCount(int64_t count) {
    return count > 2147483647 ? 2147483647 : static_cast<int>(count);
  }
  inline int readRaw();
  inline int next();
  void echoLineFeed();
  void accept();
  void detectStarHash(int c, bool outsideLine);
  bool isPlainContent(int c) const;
  int takeContentRun(bool *high, const char **run);
  bool takeLineEnd();
  void skipCommentRun();
  void echoCommentRun();

  int pushback_ = -1;
  // Counts are kept wide so that inputs beyond 2 GiB cannot overflow them;
  // the accessors answer them clamped to int. Each count sits apart from its
  // accepted copy: accepting right after counting then moves the two one by
  // one, never as one wide load of values just stored separately, which the
  // processor cannot forward from its store buffer.
  int64_t lineCount_ = 0;
  int64_t lastAcceptedLine_ = 0;
  int64_t charCount_ = 0;
  int state_ = 0;
  int64_t lastAcceptedChar_ = 0;
  bool literalMode_ = false;
  bool suppressEmptyLines_ = true;
  bool hierarchy_ = false;
  SpiceLanguage language_ = SPICE_NATIVE;
  Buf lineBuffer_{80};
  Buf outputBuffer_{80};
  Buf groupBuffer_{80}; // the text of the brace group being read
  YString separator_{"$"};
  YString sourceFile_;
};
