#include "kvsupport/netlist/SpiceStream.h"

#include "kvsupport/netlist/Tokenizer.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfstream.h"
#include "netlist/PlainScan_p.h"

#include <cstring>

int SpiceStream::dummyLineNum = 0;

namespace {

// Which bytes reach the reader: tab, line feed and 32 to 254. Everything
// else (NUL, the other control characters, 255) is dropped where it is read.
// `plain`: content characters that need no decision of the state machine
// (readable, and neither line feed, brace nor either inline comment
// character), taken in runs; per dialect, as the comment character differs.
struct CharTable {
  bool readable[256];
  bool plainNative[256];
  bool plainHspice[256];
  constexpr CharTable() : readable(), plainNative(), plainHspice() {
    for (int c = 0; c < 256; ++c) {
      readable[c] = c == '\t' || c == '\n' || (c >= 32 && c <= 254);
      bool plain = readable[c] && c != '\n' && c != '{' && c != '}';
      plainNative[c] = plain && c != ';';
      plainHspice[c] = plain && c != '$';
    }
  }
};
constexpr CharTable kChars;

const bool *plainTable(SpiceLanguage language) {
  return language == SPICE_HSPICE ? kChars.plainHspice : kChars.plainNative;
}

constexpr const char kHeaderSeparators[] = " =(),\t";
constexpr int kMaxHeaderChars = 199;

bool isBlank(int c) { return c == ' ' || c == '\t'; }

} // namespace

SpiceStream::SpiceStream(kvstream &stream) { kvstream::transferBuffer(&stream, this); }

SpiceStream::SpiceStream(const char *path, SpiceLanguage language)
    : language_(language), sourceFile_(path) {
  kvfstream file(path, kvRead);
  // Netlists are read from start to end: a larger C buffer saves system calls.
  if (auto *buffer = dynamic_cast<kvfbuf *>(file.rdbuf()))
    buffer->setStdioBufferSize(1 << 16);
  kvstream::transferBuffer(&file, this);
}

SpiceStream::~SpiceStream() = default;

// One character from the stream with carriage returns and unreadable bytes
// dropped, counting characters and line feeds. A pushed-back character comes
// first, uncounted (it was counted when it was read).
inline int SpiceStream::readRaw() {
  if (pushback_ != -1) {
    int c = pushback_;
    pushback_ = -1;
    return c;
  }
  if (state_ >= 6 || !rdbuf())
    return -1;
  for (;;) {
    int c = kvstream::get();
    if (c == -1)
      return -1;
    // String buffers hand out bytes sign-extended.
    c &= 0xFF;
    ++charCount_;
    if (c == '\n') {
      ++lineCount_;
      return c;
    }
    if (kChars.readable[c])
      return c;
    // Carriage returns, NUL, control characters and 255 never reach the reader.
  }
}

void SpiceStream::accept() {
  lastAcceptedLine_ = lineCount_;
  lastAcceptedChar_ = charCount_;
}

void SpiceStream::echoLineFeed() {
  if (suppressEmptyLines_ && lineBuffer_.getLength() > 0 && lineBuffer_.lastChar() == '\n')
    return;
  lineBuffer_.add('\n');
}

// Called with the comment character `c` just read, in state 0 (outside a
// logical line) or 5 (between the lines of one). Reads one character ahead
// and leaves it as the pushback; after "*#" reads the header's words.
void SpiceStream::detectStarHash(int c, bool outsideLine) {
  int next = readRaw();
  pushback_ = next;
  if (c != '*' || next != '#')
    return;
  pushback_ = -1; // the '#' is taken
  lineBuffer_.add('#');
  char header[kMaxHeaderChars + 1];
  int length = 0;
  int last = -1;
  for (int i = 0; i < kMaxHeaderChars; ++i) {
    last = readRaw();
    if (last == -1 || last == '\n')
      break;
    header[length++] = static_cast<char>(last);
  }
  // The last character read is handed back to the state machine, which echoes
  // or skips it as the state says; the ones before it are echoed here.
  header[length] = '\0';
  pushback_ = last;
  int echoed = last == -1 || last == '\n' ? length : length - 1;
  for (int i = 0; i < echoed; ++i)
    lineBuffer_.add(header[i]);

  const char *cursor = header;
  YString words[kMaxHeaderChars];
  int count = 0;
  for (;;) {
    YString word = sp_GetToken(&cursor, kHeaderSeparators, nullptr, nullptr, false);
    if (word.length() == 0)
      break;
    words[count++] = word;
  }
  if (count == 0)
    return;
  if (outsideLine) {
    if (sp_stricmp(words[0].tocs(), "KELVANTA") == 0) {
      language_ = SPICE_NATIVE;
      for (int i = 1; i + 1 < count; ++i) {
        if (sp_stricmp(words[i].tocs(), "sep") != 0)
          continue;
        if (words[i + 1].length() == 1)
          separator_ = words[i + 1];
        else if (sp_stricmp(words[i + 1].tocs(), "none") == 0)
          separator_ = YString();
      }
    } else if (sp_stricmp(words[0].tocs(), "HSPICE") == 0) {
      language_ = SPICE_HSPICE;
      separator_ = YString();
    } else if (sp_stricmp(words[0].tocs(), "PSPICE") == 0) {
      language_ = SPICE_PSPICE;
      separator_ = YString();
    }
  }
  if (sp_stricmp(words[0].tocs(), "hierarchy") == 0)
    hierarchy_ = true;
}

// A character of a line's content that the state machine passes on as it is.
bool SpiceStream::isPlainContent(int c) const { return plainTable(language_)[c & 0xFF]; }

// Within a line's content, takes the run of plain characters the stream's
// read window shows, as the state machine would one by one: echoed and
// accepted. `high` collects whether any is above 127. Returns the run's
// length and sets *run to it: it stays in the read window, for the caller to
// copy to the output, until the next character is read.
inline __attribute__((always_inline)) int SpiceStream::takeContentRun(bool *high,
                                                                      const char **run) {
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (start == end)
    return 0;
  const bool *plain = plainTable(language_);
  const char *limit = end - start > 1 << 20 ? start + (1 << 20) : end;
  unsigned char bits = 0;
  const char *p =
      kv::netlist::skipPlainBlocks(start, limit, language_ == SPICE_HSPICE ? '$' : ';', &bits);
  while (p != limit && plain[static_cast<unsigned char>(*p)]) {
    bits |= static_cast<unsigned char>(*p);
    ++p;
  }
  int count = static_cast<int>(p - start);
  if (count == 0)
    return 0;
  lineBuffer_.append(start, count);
  skipWindow(static_cast<size_t>(count));
  charCount_ += count;
  accept();
  if (bits & 0x80)
    *high = true;
  *run = start;
  return count;
}

// In a line's content, with nothing pushed back: when the read window shows
// the line feed and the first character of a new ordinary line, takes both
// as the state machine would one by one: the line feed ends the line, the
// character waits as the pushback. False, with nothing taken, otherwise.
inline __attribute__((always_inline)) bool SpiceStream::takeLineEnd() {
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (!kv::netlist::lineFeedBeforeOrdinaryLine(start, end, getInlineCommentChar()))
    return false;
  const auto next = static_cast<unsigned char>(start[1]);
  skipWindow(2);
  ++charCount_;
  ++lineCount_;
  accept();
  echoLineFeed();
  ++charCount_;
  pushback_ = next;
  return true;
}

// Inside a comment line, skips to its line feed as far as the read window
// shows: those characters are only counted.
void SpiceStream::skipCommentRun() {
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (start == end)
    return;
  const void *newline = std::memchr(start, '\n', static_cast<size_t>(end - start));
  size_t count = newline ? static_cast<size_t>(static_cast<const char *>(newline) - start)
                         : static_cast<size_t>(end - start);
  skipWindow(count);
  charCount_ += static_cast<int64_t>(count);
}

// Inside an inline comment, echoes the readable characters before the line
// feed as far as the read window shows them.
void SpiceStream::echoCommentRun() {
  const char *end = nullptr;
  const char *start = peekWindow(&end);
  if (start == end)
    return;
  if (end - start > 1 << 20)
    end = start + (1 << 20);
  unsigned char bits = 0;
  const char *p = kv::netlist::skipPlainBlocks(start, end, '\n', &bits, false);
  while (p != end && *p != '\n' && kChars.readable[static_cast<unsigned char>(*p)])
    ++p;
  int count = static_cast<int>(p - start);
  lineBuffer_.append(start, count);
  skipWindow(static_cast<size_t>(count));
  charCount_ += count;
}

// The line-building state machine.
inline int SpiceStream::next() {
  const int comment = getInlineCommentChar();
  for (;;) {
    if (state_ == 2 && pushback_ == -1)
      skipCommentRun();
    else if (state_ == 4 && pushback_ == -1)
      echoCommentRun();
    int c = readRaw();
    switch (state_) {
    case 0: // start of a physical line outside any logical line
      if (isBlank(c) || c == '\n')
        continue;
      if (c == -1) {
        state_ = 7;
        return -1;
      }
      if (c == '*' || c == comment) {
        detectStarHash(c, true);
        state_ = 2;
        continue;
      }
      lineBuffer_.add(static_cast<char>(c));
      accept();
      state_ = 3;
      return c;
    case 2: // comment line
      if (c == '\n') {
        state_ = 0;
      } else if (c == -1) {
        state_ = 7;
        return -1;
      }
      continue;
    case 3: // content
      if (c == '\n') {
        accept();
        state_ = 5;
        echoLineFeed();
        continue;
      }
      if (c == -1) {
        accept();
        state_ = 6;
        return '\n';
      }
      lineBuffer_.add(static_cast<char>(c));
      if (c == comment) {
        state_ = 4;
        continue;
      }
      accept();
      return c;
    case 4: // inline comment, or a comment line inside a continued line
      if (c == '\n') {
        state_ = 5;
        echoLineFeed();
        continue;
      }
      if (c == -1) {
        state_ = 6;
        return '\n';
      }
      lineBuffer_.add(static_cast<char>(c));
      continue;
    case 5: // after a line: does the next physical line continue it?
      if (c == '*' || c == comment) {
        lineBuffer_.add(static_cast<char>(c));
        detectStarHash(c, false);
        state_ = 4;
        continue;
      }
      if (c == '\n') {
        echoLineFeed();
        continue;
      }
      if (c == '+') {
        lineBuffer_.add('+');
        state_ = 3;
        return ' ';
      }
      if (c == -1) {
        state_ = 6;
        return '\n';
      }
      if (isBlank(c))
        continue;
      pushback_ = c;
      state_ = 3;
      return '\n';
    case 6:
    case 7:
    default:
      state_ = 7;
      return -1;
    }
  }
}

int SpiceStream::get(bool literal) {
  if (!literal)
    return next();
  int c = readRaw();
  // The end is sticky in literal mode too, so eof() tells of it.
  state_ = c == -1 ? 7 : 0;
  if (c != -1)
    lineBuffer_.add(static_cast<char>(c));
  return c;
}

bool SpiceStream::gets(YString *line, int *lineNumber, bool *lineEncrypted, bool *hasHighChars) {
  outputBuffer_.flush();
  hierarchy_ = false;
  bool encrypted = false;
  bool high = false;
  bool first = true;
  // A brace group is collected apart, inner braces as parentheses.
  int depth = 0;
  Buf &group = groupBuffer_;
  // The line's last run when the line ends right after it: still in the read
  // window, it goes to the line without passing through the output buffer.
  const char *lastRun = nullptr;
  int lastRunLength = 0;
  int c;
  for (;;) {
    if (!first && depth == 0 && state_ == 3 && pushback_ == -1 && !literalMode_) {
      const char *run = nullptr;
      int count = takeContentRun(&high, &run);
      if (takeLineEnd()) {
        if (lineIsEncrypted())
          encrypted = true;
        lastRun = run;
        lastRunLength = count;
        c = '\n';
        break;
      }
      outputBuffer_.append(run, count);
    }
    if (first && state_ == 3 && pushback_ != -1 && !literalMode_ && isPlainContent(pushback_)) {
      // The first character of an ordinary line, read ahead where the last
      // line ended: next() would echo, accept and hand it out as it is.
      c = pushback_;
      pushback_ = -1;
      lineBuffer_.add(static_cast<char>(c));
      accept();
    } else {
      c = get(literalMode_);
    }
    if (c == -1)
      break;
    if (first) {
      first = false;
      if (lineNumber)
        *lineNumber = clampCount(lineCount_ + 1);
    }
    if (lineIsEncrypted())
      encrypted = true;
    if (c == '\n')
      break;
    if (c > 127)
      high = true;
    if (depth == 0) {
      if (c == '{') {
        depth = 1;
        group.flush();
      } else {
        outputBuffer_.add(static_cast<char>(c));
      }
      continue;
    }
    if (c == '{') {
      ++depth;
      group.add('(');
    } else if (c != '}') {
      group.add(static_cast<char>(c));
    } else if (--depth > 0) {
      group.add(')');
    } else {
      YString result;
      if (evaluate(group, &result)) {
        outputBuffer_.append(result.tocs());
      } else {
        outputBuffer_.add('{');
        outputBuffer_.append(group);
        outputBuffer_.add('}');
      }
    }
  }
  if (lineEncrypted)
    *lineEncrypted = encrypted;
  if (hasHighChars)
    *hasHighChars = high;
  // The raw reader lets no NUL through: the output is the line's whole text.
  if (line)
    line->assignSpans(outputBuffer_, static_cast<size_t>(outputBuffer_.getLength()), lastRun,
                      static_cast<size_t>(lastRunLength));
  return c == '\n' || outputBuffer_.getLength() > 0;
}

bool SpiceStream::evaluate(const char *, YString *) { return false; }

void SpiceStream::readTitle() {
  for (;;) {
    int c = readRaw();
    if (c == -1 || c == '\n')
      return;
    lineBuffer_.add(static_cast<char>(c));
  }
}

void SpiceStream::init() {
  state_ = 0;
  pushback_ = -1;
  lineCount_ = charCount_ = lastAcceptedLine_ = lastAcceptedChar_ = 0;
  clearCount();
  literalMode_ = false;
  suppressEmptyLines_ = true;
  hierarchy_ = false;
  separator_ = "$";
}

void SpiceStream::clearCounts() {
  lineCount_ = charCount_ = lastAcceptedChar_ = 0;
  clearCount();
}

void SpiceStream::copyBuffer(const YString &text) {
  lineBuffer_.flush();
  lineBuffer_.append(text.tocs());
}

int SpiceStream::getCharCount() const {
  return encryptionAllowed() ? kvstream::getCharCount() : clampCount(charCount_);
}
