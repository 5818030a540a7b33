#pragma once

#include "kvsupport/streams/kvstream.h"
#include "kvsupport/strings/Buf.h"
#include "kvsupport/strings/CharQueue.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>
#include <deque>
#include <string>

/// Reads a netlist as logical lines, keeping `*` comment lines: `+`
/// continuation lines are joined (comment lines between a line and its
/// continuation vanish), inline comments from `;` to the line end and lines
/// starting with `;` are dropped, and every other `*` line reaches the caller
/// as a line of its own. Keeps the raw text of every completed physical line
/// in a literal buffer. No dialects, headers or brace groups.
///
/// Carriage returns are dropped, as are NUL, the other control characters
/// except tab and line feed, and the byte 255. One thread at a time.
class NewSpiceStream : public kvstream {
public:
  /// Takes over `stream`'s buffer.
  explicit NewSpiceStream(kvstream &stream);
  /// Opens `path` for reading; a file that cannot be opened reads as empty.
  explicit NewSpiceStream(const char *path);
  ~NewSpiceStream() override;

  /// The next character of the logical-line stream (each line ended by a
  /// line feed, except possibly the last); -1 at the end.
  int get();
  /// Reads one logical line into *line without its line feed; *lineNumber
  /// (may be null) receives the 1-based physical line of its first
  /// character. False at the end of the input with nothing read.
  virtual bool gets(YString *line, int *lineNumber);

  /// Restarts on the same stream: state, end flag and counts cleared, no
  /// character limit.
  void init();
  /// Zeroes the line, character and literal counts.
  void clearCounts();

  /// Line feeds read.
  int getLineCount() const { return clampCount(lineCount_); }
  /// Characters read from the stream, carriage returns included.
  int getCharCount() const { return clampCount(charCount_); }
  /// The raw text of the completed physical lines read so far (comments
  /// included). Reading never empties it: the caller does, with
  /// flushLitBuffer.
  const Buf &getLitBuffer() const { return litBuffer_; }
  void flushLitBuffer() { litBuffer_.flush(); }
  YString getSourceFile() const { return sourceFile_; }

  /// A spare target for the line number of gets.
  static int dummyLineNum;

protected:
  /// The input ends once this many characters have been read.
  void setCharLimit(int64_t limit) { charLimit_ = limit < 0 ? 0 : limit; }

private:
  static int clampCount(int64_t count) {
    return count > 2147483647 ? 2147483647 : static_cast<int>(count);
  }
  inline int getChar();
  inline int take();
  inline int next();
  int lookAhead(int c);
  inline size_t takeRun(const bool *table, const char **run, bool afterPending, bool toLiteral);
  inline bool windowDecides(int64_t count) const;
  inline bool takeLineEnd();
  inline bool takeLineFeedAnd(char mark);
  inline bool takeInlineComment();
  inline void takeLineFeed();
  void queueRestOfLine();
  void fillOutputLitBuffer();

  int state_ = -1;
  int64_t lineCount_ = 0;
  int64_t charCount_ = 0;
  int64_t litCount_ = 0;
  Buf litBuffer_{80};
  Buf outputBuffer_{80};
  // Every character read, until its physical line moves to the literal
  // buffer; rawHead_ is the first one not moved yet.
  std::string raw_;
  size_t rawHead_ = 0;
  // The literal buffer ends inside the line being read: its start went there
  // ahead of the line feed that completes it.
  bool litLineOpen_ = false;
  // Characters read ahead (comment lines and the first character of the line
  // after them) and not yet handed out.
  std::string pending_;
  size_t pendingHead_ = 0;
  // The physical line numbers of the lines that start in pending_, in order;
  // pendingAtLineStart_ tells that the next pending character starts one.
  std::deque<int64_t> pendingLines_;
  bool pendingAtLineStart_ = false;
  // One character read ahead outside the queue (the first of the next line,
  // or the blank that stands for a `+`), handed out before it; its line.
  int pushed_ = -1;
  int64_t pushedLine_ = 0;
  void push(int c, int64_t line) {
    pushed_ = c;
    pushedLine_ = line;
  }
  // Physical line of the character next() returned last.
  int64_t currentLine_ = 1;
  YString sourceFile_;
  bool endReached_ = false;
  char commentChar_ = ';';
  int64_t charLimit_ = 2147483647;
};
