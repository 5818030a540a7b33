#pragma once

#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/containers/YList.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

class TempString;
class kvstream;
namespace kv::detail {
struct YStringLending;
}

/// An abstract byte channel for YString::save and YString::restore.
class YStringStream {
public:
  virtual ~YStringStream() = default;
  /// Reads up to `size` bytes into `buffer`; returns the number read.
  virtual int read(void *buffer, int size) = 0;
  /// Writes `size` bytes; returns whether all were written.
  virtual bool write(const void *buffer, int size) = 0;
};

/// The library's string: one pointer to a heap block holding a 32-bit
/// reference count and the NUL-terminated text. Copies share the block;
/// every edit first makes the block the string's own (copy-on-write). There
/// is no length field: the length is found by scanning for the NUL. Texts
/// are 8-bit; at the Qt boundary they are UTF-8.
///
/// Empty strings made by construction, assignment, substring, readBlock,
/// restore, detach or shiftLeft share one static block that is never freed
/// and whose count is never written, so empty strings cost nothing and may
/// be made on any thread.
///
/// Sharing is not thread-safe: a string and every string sharing its block
/// belong to one thread at a time.
class YString {
public:
  /// The empty string. Making and dropping one is inline: the word readers
  /// return one for every delimiter they meet.
  YString() noexcept : block_(nullBlockPointer()) {}
  YString(const YString &other) noexcept;
  /// Takes the block from `other`, which becomes empty.
  YString(YString &&other) noexcept;
  /// Adopts the block of a TempString made by `concat` and deletes it.
  YString(const TempString &temp) noexcept;
  /// A copy of `text`; null or "" gives the empty string.
  YString(const char *text);
  /// The first `count` bytes of `text` (fewer when it ends sooner); null or
  /// count < 1 gives the empty string.
  YString(const char *text, int count);
  /// The `length` bytes at `text`, which must all be non-NUL: the string is
  /// built without scanning for a terminator, for readers that already know
  /// the extent of a word. Length 0 gives the empty string (text may then be
  /// null).
  static YString fromSpan(const char *text, size_t length);
  /// The text of the first `count` bytes of `bytes`, ending at the first
  /// NUL among them, with its length in *length (when not null). A large
  /// block is scanned and copied a piece at a time, each piece read from
  /// memory once.
  static YString fromBytes(const char *bytes, size_t count, size_t *length = nullptr);
  /// Decimal text, as "%d".
  explicit YString(int value);
  /// Text as "%.12g".
  explicit YString(double value);
  /// Signed decimal text.
  explicit YString(long long value);
  /// Unsigned decimal text.
  explicit YString(unsigned long long value);
  ~YString() { release(); }

  YString &operator=(const YString &other) noexcept;
  YString &operator=(YString &&other) noexcept {
    if (this != &other) {
      release();
      block_ = other.block_;
      other.block_ = nullBlockPointer();
    }
    return *this;
  }
  /// Replaces the text, reusing the block when the string owns it alone.
  YString &operator=(const char *text);
  /// Replaces the text with the first `count` bytes of `text` (fewer when a
  /// NUL comes sooner), as YString(text, count) would. A block the string
  /// owns alone is reused when it holds the text without much room to
  /// spare, so a string that readers fill line after line allocates only
  /// when the lines grow. `text` must not point into the string's block.
  YString &assign(const char *text, size_t count);
  /// Replaces the text with the `length` bytes at `text`, which hold no NUL
  /// (as fromSpan), reusing the string's own block as assign does.
  YString &assignSpan(const char *text, size_t length);
  /// Replaces the text with the `headLength` bytes at `head` followed by the
  /// `tailLength` bytes at `tail`, neither holding a NUL, as assignSpan does.
  YString &assignSpans(const char *head, size_t headLength, const char *tail, size_t tailLength);
  /// Appends.
  YString &operator&=(const YString &text);
  YString &operator&=(const char *text);

  // Access and information.

  /// The text; never null ("" for an empty string).
  const char *tocs() const { return block_->text(); }
  /// The number of bytes before the NUL (a scan).
  int length() const;
  bool isEmpty() const { return block_->text()[0] == '\0'; }
  /// Makes the block the string's own and returns the character at `index`
  /// for 0 <= index <= length (length is the NUL); any other index returns
  /// the shared error character, whose writes are discarded on the next call.
  char &operator[](int index);
  int getRefCount() const {
    return block_->refs >= kLentFlag ? block_->refs & kCountMask : block_->refs;
  }
  /// 4 + length: the bytes writeBlock writes.
  int getBlockBytes() const { return 4 + length(); }
  /// The last character, sign-extended; 0 for an empty string.
  int lastChar() const;
  /// The index of the first `c`, or the length when there is none.
  int first(char c) const;
  /// Whether the last character is a decimal digit.
  bool endsWithNumber() const;
  /// A malloc'ed copy of the text; the caller frees it.
  char *copy() const;
  /// Hands the text to the caller as a malloc'ed C string (the caller frees
  /// it) and leaves the string empty. A block owned alone is reused.
  char *detach();
  /// Makes the block the string's own (copies it when it is shared).
  void unique();

  // Comparison, hashing, searching.

  /// Byte-exact equality.
  bool operator==(const YString &other) const;
  bool operator!=(const YString &other) const { return !(*this == other); }
  bool operator==(const char *text) const;
  bool operator!=(const char *text) const { return !(*this == text); }
  /// Byte-wise ordering (unsigned bytes).
  bool operator<(const YString &other) const;
  /// The length of `prefix` when the text begins with it (byte-exact); 0 when
  /// it does not or when the prefix is empty.
  int hasPrefix(const char *prefix) const;
  int hasPrefix(const YString &prefix) const { return hasPrefix(prefix.tocs()); }
  /// Byte-exact; true for an empty prefix.
  bool beginsWith(const YString &prefix) const;
  /// Ignores ASCII case; true for an empty suffix.
  bool endsWith(const YString &suffix) const;
  /// Searches for `s` from position `from` (negative counts as 0) ignoring
  /// ASCII case; returns the position just after the first match, or -1.
  int findIndex(const char *s, int from = 0) const;
  /// The start of the last match of `s` ignoring ASCII case, or -1; the
  /// length for an empty `s`.
  int lastIndexOf(const char *s) const;
  /// Compares as paths: byte-wise here, where file names are case-sensitive
  /// (-1, 0 or 1).
  int comparePath(const YString &other) const;
  bool pathEqual(const YString &other) const { return comparePath(other) == 0; }
  /// The case-insensitive hash: h = h * 0x1003F + upper(c) over the signed
  /// bytes, then & 0x7FFFFFFF.
  uint32_t hashValue() const;
  uint32_t HashValue() const { return hashValue(); }
  /// The hash of a path: without case folding here.
  uint32_t pathHashValue() const;

  // Editing.

  /// Appends `fill` until the length reaches `width`.
  void pad(unsigned int width, char fill = ' ');
  /// Removes leading characters that occur in `set`.
  void stripLeading(const char *set);
  /// Removes trailing characters that occur in `set`.
  void stripTrailing(const char *set);
  /// Removes one opening quote `quotes[0]` and one closing quote `quotes[1]`
  /// (or `quotes[0]` again when only one is given). With `both`, only when
  /// the text starts and ends with them; otherwise when it does either.
  void stripQuotes(const char *quotes, bool both);
  /// ASCII case conversion in place; returns a copy of the result.
  YString tolower();
  YString toupper();
  /// Replaces every CR LF by LF in place; returns a copy of the result.
  YString convertDosToUnix();
  /// Replaces the first byte-exact occurrence of `from` that begins at or
  /// after `start` by `to`. Returns the position just after the inserted
  /// text, or 0 when nothing was replaced (see the algorithm in the source).
  int substitute(const YString &from, const YString &to, int start = 0);
  /// Repeats substitute, each time after the previous replacement.
  void substituteAll(const YString &from, const YString &to);
  /// Replaces the text with the C-library formatting of the arguments.
  void sprintf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  void sprintf(const char *format, va_list args) __attribute__((format(printf, 2, 0)));

  // Extracting.

  /// The characters from max(start, 0) up to min(start + count, length).
  YString substring(int start, int count) const;
  /// Returns the first `n` characters and removes them. When the text is
  /// shorter, the result is padded to `n` with `fill` (unless fill is 0) and
  /// the string becomes empty. n <= 0 returns a copy and changes nothing.
  YString shiftLeft(long long n, char fill = 0);
  /// Returns the next token delimited by characters of `delimiters` and
  /// keeps what follows its one closing delimiter; empty when none is left.
  YString strtok(const char *delimiters);
  /// Starts a concatenation: a heap TempString holding this text and `text`
  /// (null counts as empty). Pass it to a YString constructor or Destroy() it.
  TempString &concat(const char *text) const;
  /// Appends to `list` every non-empty run of characters between `separator`s.
  static YList<YString> *tokenize(const YString *text, char separator, YList<YString> *list);
  /// Splits at each occurrence of `separator`; empty tokens are kept except a
  /// trailing one.
  static YList<YString> *tokenize(const YString *text, YString separator, YList<YString> *list);

  // Serialisation.

  /// Writes a 32-bit native length and the bytes at *cursor and advances it.
  void writeBlock(void **cursor) const;
  /// Reads that record at *cursor and advances past it.
  void readBlock(void **cursor);
  /// Writes the 32-bit length, then the bytes; false as soon as a write fails.
  bool save(YStringStream &stream) const;
  /// Reads a record written by save; false when the stream ends early (the
  /// text is unchanged then).
  bool restore(YStringStream &stream);
  /// Writes a 16-bit length, min(length, 32767), and that many bytes.
  bool save(kvstream &stream) const;
  /// Writes a 32-bit length and the bytes.
  bool saveLong(kvstream &stream) const;
  /// Reads a record of save(kvstream&); 0 at end of input or when the length
  /// exceeds a non-zero `maximum`, else 1.
  int restore(kvstream &stream, int maximum);
  /// Reads a record of saveLong; 0 at end of input, else 1.
  int restoreLong(kvstream &stream);

private:
  friend class TempString;
  friend struct kv::detail::YStringLending;

  // A lent block lies a few bytes into a larger allocation that it keeps
  // alive (a record received whole, whose text is taken without a copy).
  // Its count carries kLentFlag and, in bits 24 to 29, that offset in
  // 4-byte units; its references stay below 2^24. It is never owned alone,
  // so it is never reallocated or edited in place.
  static constexpr int32_t kLentFlag = 0x40000000;
  static constexpr int kLentOffsetShift = 24;
  static constexpr int32_t kCountMask = 0x00FFFFFF;

  struct Block {
    int32_t refs;
    char *text() { return reinterpret_cast<char *>(this) + sizeof(int32_t); }
    const char *text() const { return reinterpret_cast<const char *>(this) + sizeof(int32_t); }
  };

  /// Takes over `block` (count already set).
  explicit YString(Block *block) noexcept : block_(block) {}

  // The empty text every empty string shares (see the class comment).
  struct NullBlock {
    int32_t refs;
    char text[4];
  };
  static NullBlock nullBlock_;
  static Block *nullBlockPointer() { return reinterpret_cast<Block *>(&nullBlock_); }
  static Block *allocate(size_t length);
  static Block *makeBlock(const char *text, size_t length);
  bool nullBlock() const { return block_ == nullBlockPointer(); }
  bool ownsAlone() const { return block_->refs == 1 && !nullBlock(); }
  void release() noexcept {
    if (nullBlock())
      return;
    const int32_t left = --block_->refs;
    if (left == 0)
      std::free(block_);
    else if (left >= kLentFlag && (left & kCountMask) == 0)
      releaseLent();
  }
  void releaseLent() noexcept;
  void adopt(Block *block) noexcept;
  void setText(const char *text, size_t length);

  static char ErrorChar;
  Block *block_;
};

/// The companion of YString::concat: a heap object owning one block with
/// slack, to which further pieces are appended in place. A YString
/// constructed from it adopts the block; otherwise call Destroy().
class TempString {
public:
  /// Appends `text` in place (null does nothing); returns itself.
  TempString &concat(const char *text);
  int len() const;
  const char *theString() const { return block_->text(); }
  /// Releases the block and deletes this object.
  void Destroy();
  /// Bytes held by tracked strings; none are tracked, so 0.
  static int GetNumJStringBytes() { return 0; }

private:
  friend class YString;
  TempString() = default;
  /// The first text followed by the second (null counts as empty).
  TempString(const char *first, const char *second);
  ~TempString() = default;

  /// The block size for `length` bytes of text: rounded up in 16-byte steps
  /// with room to spare, so short appends need no reallocation.
  static size_t slackSize(size_t length);

  YString::Block *block_ = nullptr;
  size_t length_ = 0;   // bytes of text
  size_t capacity_ = 0; // bytes of the block
};

/// Free-standing ASCII case-insensitive comparisons (<0, 0, >0).
int sp_stricmp(const char *a, const char *b);
int sp_strnicmp(const char *a, const char *b, size_t n);

/// Tables keyed by YString look keys up without regard to ASCII case.
template <> struct YHashTraits<YString> {
  static uint32_t hash(const YString &key) { return key.hashValue(); }
  static bool equal(const YString &a, const YString &b) {
    return sp_stricmp(a.tocs(), b.tocs()) == 0;
  }
};
