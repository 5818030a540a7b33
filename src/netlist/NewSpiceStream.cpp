#include "kvsupport/netlist/NewSpiceStream.h"

#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfstream.h"
#include "netlist/PlainScan_p.h"

#include <algorithm>
#include <cstddef>

int NewSpiceStream::dummyLineNum = 0;

namespace {

// Which bytes reach the reader: tab, line feed and 32 to 254.
// `plain`: readable characters other than line feed and the comment
// character, which need no decision of the state machine inside a line's
// content; `skippable`: readable characters other than line feed, inside a
// comment.
struct CharTable {
  bool readable[256];
  bool plain[256];
  bool skippable[256];
  constexpr CharTable() : readable(), plain(), skippable() {
    for (int c = 0; c < 256; ++c) {
      readable[c] = c == '\t' || c == '\n' || (c >= 32 && c <= 254);
      skippable[c] = readable[c] && c != '\n';
      plain[c] = skippable[c] && c != ';';
    }
  }
};
constexpr CharTable kChars;

bool isBlank(int c) { return c == ' ' || c == '\t'; }

} // namespace

NewSpiceStream::NewSpiceStream(kvstream &stream) { kvstream::transferBuffer(&stream, this); }

NewSpiceStream::NewSpiceStream(const char *path) : sourceFile_(path) {
  kvfstream file(path, kvRead);
  // Netlists are read from start to end: a larger C buffer saves system calls.
  if (auto *buffer = dynamic_cast<kvfbuf *>(file.rdbuf()))
    buffer->setStdioBufferSize(1 << 16);
  kvstream::transferBuffer(&file, this);
}

NewSpiceStream::~NewSpiceStream() = default;

// One character of the input, counted; carriage returns and unreadable bytes
// dropped. The end of the stream or of the character limit yields one line
// feed that completes an unfinished last line, then -1. Every character
// handed out goes to the raw queue.
inline int NewSpiceStream::getChar() {
  if (endReached_)
    return -1;
  for (;;) {
    // The limit is checked before reading, so that no byte beyond it is taken.
    int c = charCount_ >= charLimit_ || !rdbuf() ? -1 : kvstream::get();
    if (c == -1) {
      endReached_ = true;
      if (raw_.size() > rawHead_ ? raw_.back() != '\n' : litLineOpen_)
        raw_.push_back('\n');
      return '\n';
    }
    c &= 0xFF; // string buffers hand out bytes sign-extended
    ++charCount_;
    if (!kChars.readable[c])
      continue;
    if (c == '\n')
      ++lineCount_;
    raw_.push_back(static_cast<char>(c));
    return c;
  }
}

// The next character for the state machine: read-ahead characters first.
inline int NewSpiceStream::take() {
  if (pushed_ != -1) {
    int c = pushed_;
    pushed_ = -1;
    currentLine_ = pushedLine_;
    return c;
  }
  if (pendingHead_ < pending_.size()) {
    char c = pending_[pendingHead_++];
    if (pendingAtLineStart_ && !pendingLines_.empty()) {
      currentLine_ = pendingLines_.front();
      pendingLines_.pop_front();
    }
    pendingAtLineStart_ = c == '\n';
    if (pendingHead_ == pending_.size()) {
      pending_.clear();
      pendingHead_ = 0;
    }
    return static_cast<unsigned char>(c);
  }
  int c = getChar();
  if (c != '\n')
    currentLine_ = lineCount_ + 1;
  return c;
}

// Moves the completed physical lines of the raw queue to the literal buffer.
void NewSpiceStream::fillOutputLitBuffer() {
  size_t last = raw_.rfind('\n');
  if (last == std::string::npos || last < rawHead_)
    return;
  size_t end = last + 1;
  // Beyond what a Buf can hold, its growth throws MemoryException.
  size_t length = end - rawHead_;
  litBuffer_.append(raw_.data() + rawHead_,
                    length > 2147483647u ? 2147483647 : static_cast<int>(length));
  litCount_ += static_cast<int64_t>(end - rawHead_);
  litLineOpen_ = false;
  rawHead_ = end;
  if (rawHead_ == raw_.size()) {
    raw_.clear();
    rawHead_ = 0;
  } else if (rawHead_ > 4096 && rawHead_ > raw_.size() / 2) {
    raw_.erase(0, rawHead_);
    rawHead_ = 0;
  }
}

void NewSpiceStream::queueRestOfLine() {
  for (;;) {
    const char *run = nullptr;
    size_t count = takeRun(kChars.skippable, &run, false, false);
    if (count > 0)
      pending_.append(run, count);
    int c = getChar();
    if (c == -1)
      return;
    pending_.push_back(static_cast<char>(c));
    if (c == '\n')
      return;
  }
}

// State 1: a `*` line follows a completed line. The comment lines (and blank
// lines) up to the next line are read ahead. A `+` there continues the
// completed line and the comment lines vanish; anything else ends it, and the
// `*` lines are replayed as lines of their own before the new line. Lines
// starting with the comment character are dropped. Returns the line feed that
// ends the completed line, or -2 to read on.
int NewSpiceStream::lookAhead(int c) {
  pendingLines_.clear();
  pendingAtLineStart_ = true;
  pendingLines_.push_back(currentLine_);
  pending_.push_back(static_cast<char>(c));
  queueRestOfLine();
  for (;;) {
    c = getChar();
    if (isBlank(c) || c == '\n')
      continue;
    if (c == '*') {
      pendingLines_.push_back(lineCount_ + 1);
      pending_.push_back('*');
      queueRestOfLine();
      continue;
    }
    if (c == commentChar_) {
      while (c != '\n' && c != -1)
        c = getChar();
      continue;
    }
    if (c == '+') {
      fillOutputLitBuffer();
      pending_.clear();
      pendingHead_ = 0;
      pendingLines_.clear();
      pendingAtLineStart_ = false;
      push(' ', currentLine_);
      state_ = 2;
      return -2;
    }
    if (c != -1) {
      pendingLines_.push_back(lineCount_ + 1);
      pending_.push_back(static_cast<char>(c));
    }
    state_ = 3;
    return '\n';
  }
}

// Takes the run of characters of class `table` that the stream's read window
// shows (within the character limit), as getChar would one by one: counted
// and kept in the raw queue. Returns the run, or an empty one; it stays in
// the read window until the next character is read.
//
// With `toLiteral` (a line's content, nothing read ahead) the run goes
// straight to the literal buffer, after what the raw queue holds of its
// line: the line feed that completes the line follows it there, before
// gets returns.
inline __attribute__((always_inline)) size_t
NewSpiceStream::takeRun(const bool *table, const char **run, bool afterPending, bool toLiteral) {
  if (endReached_ || (afterPending && (pushed_ != -1 || pendingHead_ != pending_.size())))
    return 0;
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (start == end)
    return 0;
  int64_t room = charLimit_ - charCount_;
  if (end - start > room)
    end = start + room;
  if (end - start > 1 << 20)
    end = start + (1 << 20);
  const char *p = start;
  if (table == kChars.plain)
    p = kv::netlist::skipPlainBlocks(start, end, commentChar_, nullptr, false);
  else if (table == kChars.skippable)
    p = kv::netlist::skipPlainBlocks(start, end, '\n', nullptr, false);
  while (p != end && table[static_cast<unsigned char>(*p)])
    ++p;
  size_t count = static_cast<size_t>(p - start);
  if (count == 0)
    return 0;
  // What the raw queue holds of the line is short: mostly its first character.
  const auto rawLeft = raw_.cbegin() + static_cast<std::ptrdiff_t>(rawHead_);
  if (toLiteral && std::find(rawLeft, raw_.cend(), '\n') == raw_.cend()) {
    for (auto at = rawLeft; at != raw_.cend(); ++at)
      litBuffer_.add(*at);
    litBuffer_.append(start, static_cast<int>(count));
    litCount_ += static_cast<int64_t>(raw_.size() - rawHead_ + count);
    litLineOpen_ = true;
    raw_.clear();
    rawHead_ = 0;
  } else {
    raw_.append(start, count);
  }
  skipWindow(count);
  charCount_ += static_cast<int64_t>(count);
  *run = start;
  return count;
}

// Whether the read window can be decided here rather than one character at
// a time: nothing read ahead and at least `count` characters left.
inline bool NewSpiceStream::windowDecides(int64_t count) const {
  return !endReached_ && pushed_ == -1 && pendingHead_ == pending_.size() &&
         charLimit_ - charCount_ >= count;
}

// Takes the line feed at the front of the read window: it completes the line.
inline __attribute__((always_inline)) void NewSpiceStream::takeLineFeed() {
  skipWindow(1);
  ++charCount_;
  ++lineCount_;
  if (rawHead_ == raw_.size()) {
    // The line is in the literal buffer already: only its line feed is missing.
    litBuffer_.add('\n');
    ++litCount_;
    litLineOpen_ = false;
    raw_.clear();
    rawHead_ = 0;
  } else {
    raw_.push_back('\n');
    fillOutputLitBuffer();
  }
}

// In a line's content or its inline comment: when the read window shows the
// line feed and the first character of a new ordinary line, takes both as
// the state machine would one by one, the line feed completing the line and
// the character kept for the next. False, with nothing taken, otherwise.
inline __attribute__((always_inline)) bool NewSpiceStream::takeLineEnd() {
  if (!windowDecides(2))
    return false;
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (!kv::netlist::lineFeedBeforeOrdinaryLine(start, end, commentChar_))
    return false;
  const auto next = static_cast<unsigned char>(start[1]);
  takeLineFeed();
  skipWindow(1);
  ++charCount_;
  raw_.push_back(static_cast<char>(next));
  currentLine_ = lineCount_ + 1;
  push(next, currentLine_);
  return true;
}

// As takeLineEnd, for a line feed and `mark` (a `+` or a `*`), which is
// taken and left for the caller to decide on.
inline __attribute__((always_inline)) bool NewSpiceStream::takeLineFeedAnd(char mark) {
  if (!windowDecides(2))
    return false;
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (end - start < 2 || start[0] != '\n' || start[1] != mark)
    return false;
  takeLineFeed();
  skipWindow(1);
  ++charCount_;
  raw_.push_back(mark);
  currentLine_ = lineCount_ + 1;
  return true;
}

// In a line's content: when the read window shows the comment character,
// takes it and the comment's run, and the state is the inline comment's.
inline __attribute__((always_inline)) bool NewSpiceStream::takeInlineComment() {
  if (!windowDecides(1))
    return false;
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (start == end || *start != commentChar_)
    return false;
  skipWindow(1);
  ++charCount_;
  raw_.push_back(commentChar_);
  const char *run = nullptr;
  takeRun(kChars.skippable, &run, true, true);
  state_ = 5;
  return true;
}

// The line-building state machine.
inline int NewSpiceStream::next() {
  for (;;) {
    if (state_ == 4 || state_ == 5) {
      const char *run = nullptr;
      takeRun(kChars.skippable, &run, true, false);
    }
    if (pendingHead_ == pending_.size() && pushed_ == -1) {
      if (state_ == 3)
        state_ = 2;
      else if (state_ == 6)
        state_ = 5;
    }
    int c = take();
    if (c == -1) {
      fillOutputLitBuffer(); // blank and comment lines after the last line
      return -1;
    }
    switch (state_) {
    case -1: // start of the input
      if (isBlank(c) || c == '\n' || c == commentChar_)
        continue;
      state_ = 2;
      return c;
    case 0: // after a completed physical line
      if (isBlank(c) || c == '\n')
        continue;
      if (c == '+') {
        push(' ', currentLine_);
        state_ = 2;
        continue;
      }
      if (c == '*') {
        int result = lookAhead(c);
        if (result == -2)
          continue;
        return result;
      }
      if (c == commentChar_) {
        state_ = 4;
        continue;
      }
      push(c, currentLine_); // it starts the next line
      state_ = 2;
      return '\n';
    case 2: // content
      if (c == '\n') {
        fillOutputLitBuffer();
        state_ = 0;
        continue;
      }
      if (c == commentChar_) {
        state_ = 5;
        continue;
      }
      return c;
    case 3: // replaying read-ahead lines
      if (c == '\n') {
        fillOutputLitBuffer();
        return c;
      }
      if (c == commentChar_) {
        state_ = 6;
        continue;
      }
      return c;
    case 4: // a line starting with the comment character
      if (c == '\n')
        state_ = 0;
      continue;
    case 5: // inline comment
      if (c == '\n') {
        fillOutputLitBuffer();
        state_ = 0;
      }
      continue;
    case 6: // inline comment in a replayed line
    default:
      if (c == '\n') {
        fillOutputLitBuffer();
        state_ = 3;
        return c;
      }
      continue;
    }
  }
}

int NewSpiceStream::get() { return next(); }

bool NewSpiceStream::gets(YString *line, int *lineNumber) {
  outputBuffer_.flush();
  bool first = true;
  int c;
  for (;;) {
    if (!first && state_ == 3 && pendingHead_ < pending_.size()) {
      // A replayed line: its plain characters straight from the queue.
      const char *from = pending_.data() + pendingHead_;
      const char *end = pending_.data() + pending_.size();
      const char *p = kv::netlist::skipPlainBlocks(from, end, commentChar_, nullptr, false);
      while (p != end && kChars.plain[static_cast<unsigned char>(*p)])
        ++p;
      pendingHead_ += static_cast<size_t>(p - from);
      outputBuffer_.append(from, static_cast<int>(p - from));
      if (pendingHead_ == pending_.size()) {
        pending_.clear();
        pendingHead_ = 0;
      }
    }
    if (state_ == 3 && pendingHead_ == pending_.size() && pushed_ == -1)
      state_ = 2; // replayed all, as next() would find
    if (!first && state_ == 2) {
      const char *run = nullptr;
      size_t count = takeRun(kChars.plain, &run, true, true);
      if (count > 0)
        currentLine_ = lineCount_ + 1;
      if (takeLineEnd()) {
        // The run is still in the read window: the line is what was gathered
        // and the run, copied once.
        if (line)
          line->assignSpans(outputBuffer_, static_cast<size_t>(outputBuffer_.getLength()), run,
                            count);
        return true;
      }
      if (count > 0)
        outputBuffer_.append(run, static_cast<int>(count));
      if (takeInlineComment() && takeLineEnd()) {
        state_ = 2;
        c = '\n';
        break;
      }
      if (takeLineFeedAnd('+')) {
        state_ = 2;
        outputBuffer_.add(' '); // the blank that stands for the `+`
        continue;
      }
      if (takeLineFeedAnd('*')) {
        if (lookAhead('*') == '\n') {
          c = '\n';
          break;
        }
        continue; // the comment lines vanished before a `+`
      }
    }
    if (state_ == 2 && pushed_ != -1 && pushed_ != '\n' && pushed_ != commentChar_ &&
        pendingHead_ == pending_.size()) {
      // The first character of a line's content, read ahead: next() would
      // hand it out as it is.
      c = pushed_;
      pushed_ = -1;
      currentLine_ = pushedLine_;
    } else {
      c = next();
    }
    if (c == -1)
      break;
    if (first) {
      first = false;
      if (lineNumber)
        *lineNumber = clampCount(currentLine_);
    }
    if (c == '\n')
      break;
    outputBuffer_.add(static_cast<char>(c));
  }
  // Unreadable bytes, NUL among them, never reach the output: it is the
  // line's whole text.
  if (line)
    line->assignSpan(outputBuffer_, static_cast<size_t>(outputBuffer_.getLength()));
  return c == '\n' || outputBuffer_.getLength() > 0;
}

void NewSpiceStream::init() {
  state_ = -1;
  endReached_ = false;
  commentChar_ = ';';
  lineCount_ = charCount_ = litCount_ = 0;
  charLimit_ = 2147483647;
  raw_.clear();
  rawHead_ = 0;
  litLineOpen_ = false;
  pending_.clear();
  pendingHead_ = 0;
  pendingLines_.clear();
  pendingAtLineStart_ = false;
  pushed_ = -1;
  currentLine_ = 1;
}

void NewSpiceStream::clearCounts() { lineCount_ = charCount_ = litCount_ = 0; }
