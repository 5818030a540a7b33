#include "kvsupport/strings/YString.h"
#include "strings/YStringLending_p.h"

#include "kvsupport/streams/kvbuf.h"
#include "kvsupport/streams/kvstream.h"
#include "os/VirtualMemory_p.h"

#include <algorithm>
#include <string>

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kCountBytes = sizeof(int32_t);

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (asciiLower(a[i]) != asciiLower(b[i]))
      return false;
  return true;
}

void *checkedMalloc(size_t bytes) {
  void *block = std::malloc(bytes);
  if (!block)
    throw std::bad_alloc();
  return block;
}

void *checkedRealloc(void *old, size_t bytes) {
  void *block = std::realloc(old, bytes);
  if (!block)
    throw std::bad_alloc();
  return block;
}

constexpr size_t kOutside = SIZE_MAX;

// Where `text` starts within the `length` bytes (and terminator) at `start`,
// or kOutside. Callers that may realloc `start` ask before the call and
// rebase from the offset after it: the old block is never looked at again.
// Worked out on addresses as integers, since ordering pointers into
// different objects means nothing.
size_t offsetWithin(const char *start, size_t length, const char *text) {
  size_t offset = reinterpret_cast<uintptr_t>(text) - reinterpret_cast<uintptr_t>(start);
  return offset <= length ? offset : kOutside;
}

} // namespace

char YString::ErrorChar = 0;

int sp_stricmp(const char *a, const char *b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(asciiLower(*a));
    int cb = static_cast<unsigned char>(asciiLower(*b));
    if (ca != cb || ca == 0)
      return ca - cb;
  }
}

int sp_strnicmp(const char *a, const char *b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    int ca = static_cast<unsigned char>(asciiLower(*a));
    int cb = static_cast<unsigned char>(asciiLower(*b));
    if (ca != cb || ca == 0)
      return ca - cb;
  }
  return 0;
}

// ---- blocks ----------------------------------------------------------------

// Its count is never written, so strings on different threads may share it
// freely.
YString::NullBlock YString::nullBlock_ = {1, {0, 0, 0, 0}};

YString::Block *YString::allocate(size_t length) {
  Block *block = static_cast<Block *>(checkedMalloc(kCountBytes + length + 1));
  block->refs = 1;
  return block;
}

YString::Block *YString::makeBlock(const char *text, size_t length) {
  if (length == 0)
    return nullBlockPointer();
  Block *block = allocate(length);
  std::memcpy(block->text(), text, length);
  block->text()[length] = '\0';
  return block;
}

void YString::releaseLent() noexcept {
  const int32_t offset = (block_->refs >> kLentOffsetShift & 0x3F) * 4;
  std::free(reinterpret_cast<char *>(block_) - offset);
}

YString kv::detail::YStringLending::adopt(char *allocation, size_t offset) {
  auto *block = reinterpret_cast<YString::Block *>(allocation + offset);
  block->refs =
      YString::kLentFlag | static_cast<int32_t>(offset / 4) << YString::kLentOffsetShift | 1;
  return YString(block);
}

void YString::adopt(Block *block) noexcept {
  release();
  block_ = block;
}

// Replaces the whole text, in place with realloc when the block is ours alone.
void YString::setText(const char *text, size_t length) {
  if (length == 0) {
    adopt(nullBlockPointer());
    return;
  }
  if (!ownsAlone()) {
    adopt(makeBlock(text, length));
    return;
  }
  // `text` may point into our own block: grow before moving, shrink after.
  size_t oldLength = std::strlen(block_->text());
  if (length > oldLength) {
    size_t offset = offsetWithin(block_->text(), oldLength, text);
    block_ = static_cast<Block *>(checkedRealloc(block_, kCountBytes + length + 1));
    if (offset != kOutside)
      text = block_->text() + offset;
  }
  std::memmove(block_->text(), text, length);
  block_->text()[length] = '\0';
  if (length < oldLength)
    block_ = static_cast<Block *>(checkedRealloc(block_, kCountBytes + length + 1));
}

// ---- construction ------------------------------------------------------------

YString::YString(const YString &other) noexcept : block_(other.block_) {
  if (!nullBlock())
    ++block_->refs;
}

YString::YString(YString &&other) noexcept : block_(other.block_) {
  other.block_ = nullBlockPointer();
}

YString::YString(const TempString &temp) noexcept : block_(temp.block_) {
  delete &const_cast<TempString &>(temp);
}

YString::YString(const char *text)
    : block_(text ? makeBlock(text, std::strlen(text)) : nullBlockPointer()) {}

YString::YString(const char *text, int count) : block_(nullBlockPointer()) {
  if (text && count > 0)
    *this = fromBytes(text, static_cast<size_t>(count));
}

YString YString::fromBytes(const char *bytes, size_t count, size_t *length) {
  // Pieces small enough to stay in the first-level cache between the search
  // for the NUL and the copy.
  constexpr size_t kPiece = 16 * 1024;
  size_t taken = 0;
  YString text;
  if (bytes && count <= kPiece) {
    taken = strnlen(bytes, count);
    text.block_ = makeBlock(bytes, taken);
  } else if (bytes) {
    Block *block = allocate(count);
    char *to = block->text();
    for (;;) {
      size_t piece = std::min(kPiece, count - taken);
      const void *nul = std::memchr(bytes + taken, '\0', piece);
      size_t run =
          nul ? static_cast<size_t>(static_cast<const char *>(nul) - (bytes + taken)) : piece;
      std::memcpy(to + taken, bytes + taken, run);
      taken += run;
      if (nul || taken == count)
        break;
    }
    if (taken == 0) {
      std::free(block);
    } else {
      // A NUL early in a large block leaves a short text: give the rest back.
      if (taken < count / 2)
        block = static_cast<Block *>(checkedRealloc(block, kCountBytes + taken + 1));
      block->text()[taken] = '\0';
      text.block_ = block;
    }
  }
  if (length)
    *length = taken;
  return text;
}

YString YString::fromSpan(const char *text, size_t length) {
  if (length == 0)
    return YString(nullBlockPointer());
  assert(text && std::memchr(text, '\0', length) == nullptr && "a span holds no terminator");
  Block *block = allocate(length);
  char *to = block->text();
  // Words cut by the readers are mostly a few bytes long: two overlapping
  // fixed-size moves copy them without a call into the C library.
  if (length >= 16) {
    std::memcpy(to, text, length);
  } else if (length >= 8) {
    std::memcpy(to, text, 8);
    std::memcpy(to + length - 8, text + length - 8, 8);
  } else if (length >= 4) {
    std::memcpy(to, text, 4);
    std::memcpy(to + length - 4, text + length - 4, 4);
  } else {
    to[0] = text[0];
    to[length / 2] = text[length / 2];
    to[length - 1] = text[length - 1];
  }
  to[length] = '\0';
  return YString(block);
}

namespace {
// Long enough for any 64-bit decimal and any "%.12g" text.
constexpr size_t kNumberTextSize = 40;
} // namespace

YString::YString(int value) : block_(nullBlockPointer()) {
  char text[kNumberTextSize];
  int n = std::snprintf(text, sizeof text, "%d", value);
  if (n > 0)
    block_ = makeBlock(text, static_cast<size_t>(n));
}

YString::YString(double value) : block_(nullBlockPointer()) {
  char text[kNumberTextSize];
  int n = std::snprintf(text, sizeof text, "%.12g", value);
  if (n > 0)
    block_ = makeBlock(text, static_cast<size_t>(n));
}

YString::YString(long long value) : block_(nullBlockPointer()) {
  char text[kNumberTextSize];
  int n = std::snprintf(text, sizeof text, "%lld", value);
  if (n > 0)
    block_ = makeBlock(text, static_cast<size_t>(n));
}

YString::YString(unsigned long long value) : block_(nullBlockPointer()) {
  char text[kNumberTextSize];
  int n = std::snprintf(text, sizeof text, "%llu", value);
  if (n > 0)
    block_ = makeBlock(text, static_cast<size_t>(n));
}

YString &YString::operator=(const YString &other) noexcept {
  // Take the new reference first: self-assignment stays safe.
  if (!other.nullBlock())
    ++other.block_->refs;
  Block *block = other.block_;
  release();
  block_ = block;
  return *this;
}

YString &YString::operator=(const char *text) {
  setText(text ? text : "", text ? std::strlen(text) : 0);
  return *this;
}

YString &YString::assign(const char *text, size_t count) {
  return assignSpan(text, text ? strnlen(text, count) : 0);
}

YString &YString::assignSpan(const char *text, size_t length) {
  return assignSpans(text, length, nullptr, 0);
}

YString &YString::assignSpans(const char *head, size_t headLength, const char *tail,
                              size_t tailLength) {
  const size_t length = headLength + tailLength;
  if (length == 0) {
    adopt(nullBlockPointer());
    return *this;
  }
  assert(offsetWithin(block_->text(), std::strlen(block_->text()), head) == kOutside &&
         offsetWithin(block_->text(), std::strlen(block_->text()), tail) == kOutside &&
         "the text is not the string's own");
  const size_t needed = kCountBytes + length + 1;
  // Lines of a file differ in length: up to four times the text and a little
  // more is kept, a block far larger than that is given back rather than held
  // by a short text.
  const size_t capacity = ownsAlone() ? kv::os::heapBlockCapacity(block_) : 0;
  Block *block = capacity >= needed && capacity <= 4 * needed + 128 ? block_ : allocate(length);
  if (headLength > 0)
    std::memcpy(block->text(), head, headLength);
  if (tailLength > 0)
    std::memcpy(block->text() + headLength, tail, tailLength);
  block->text()[length] = '\0';
  if (block != block_)
    adopt(block);
  return *this;
}

YString &YString::operator&=(const char *text) {
  size_t added = text ? std::strlen(text) : 0;
  if (added == 0)
    return *this;
  size_t length = std::strlen(block_->text());
  if (ownsAlone()) {
    size_t offset = offsetWithin(block_->text(), length, text);
    block_ = static_cast<Block *>(checkedRealloc(block_, kCountBytes + length + added + 1));
    if (offset != kOutside)
      text = block_->text() + offset;
    std::memmove(block_->text() + length, text, added);
    block_->text()[length + added] = '\0';
    return *this;
  }
  Block *block = allocate(length + added);
  std::memcpy(block->text(), block_->text(), length);
  std::memcpy(block->text() + length, text, added);
  block->text()[length + added] = '\0';
  adopt(block);
  return *this;
}

YString &YString::operator&=(const YString &text) {
  YString keep(text); // appending a string to itself
  return *this &= keep.tocs();
}

// ---- access --------------------------------------------------------------------

int YString::length() const { return static_cast<int>(std::strlen(block_->text())); }

char &YString::operator[](int index) {
  int size = length();
  if (index < 0 || index > size) {
    ErrorChar = 0;
    return ErrorChar;
  }
  if (nullBlock()) {
    Block *block = allocate(0);
    block->text()[0] = '\0';
    block_ = block;
  } else {
    unique();
  }
  return block_->text()[index];
}

int YString::lastChar() const {
  size_t size = std::strlen(block_->text());
  return size ? static_cast<int>(static_cast<signed char>(block_->text()[size - 1])) : 0;
}

int YString::first(char c) const {
  const char *text = block_->text();
  const char *at = c ? std::strchr(text, c) : nullptr;
  return at ? static_cast<int>(at - text) : length();
}

bool YString::endsWithNumber() const {
  int last = lastChar();
  return last >= '0' && last <= '9';
}

char *YString::copy() const {
  size_t size = std::strlen(block_->text()) + 1;
  char *text = static_cast<char *>(checkedMalloc(size));
  std::memcpy(text, block_->text(), size);
  return text;
}

char *YString::detach() {
  char *text;
  if (ownsAlone()) {
    // Move the text down over the count: the block becomes the C string.
    size_t size = std::strlen(block_->text()) + 1;
    text = reinterpret_cast<char *>(block_);
    std::memmove(text, block_->text(), size);
  } else {
    text = copy();
    release();
  }
  block_ = nullBlockPointer();
  return text;
}

void YString::unique() {
  if (block_->refs == 1 || getRefCount() == 1 || isEmpty())
    return;
  Block *block = makeBlock(block_->text(), std::strlen(block_->text()));
  release();
  block_ = block;
}

// ---- comparison, hashing, searching ----------------------------------------------

bool YString::operator==(const YString &other) const {
  return block_ == other.block_ || std::strcmp(tocs(), other.tocs()) == 0;
}

bool YString::operator==(const char *text) const {
  return std::strcmp(tocs(), text ? text : "") == 0;
}

bool YString::operator<(const YString &other) const {
  return std::strcmp(tocs(), other.tocs()) < 0;
}

int YString::hasPrefix(const char *prefix) const {
  if (!prefix || !*prefix)
    return 0;
  size_t n = std::strlen(prefix);
  return std::strncmp(tocs(), prefix, n) == 0 ? static_cast<int>(n) : 0;
}

bool YString::beginsWith(const YString &prefix) const {
  size_t n = std::strlen(prefix.tocs());
  return std::strncmp(tocs(), prefix.tocs(), n) == 0;
}

bool YString::endsWith(const YString &suffix) const {
  size_t n = std::strlen(suffix.tocs());
  size_t size = std::strlen(tocs());
  return n <= size && equalNoCase(tocs() + size - n, suffix.tocs(), n);
}

int YString::findIndex(const char *s, int from) const {
  if (!s)
    return -1;
  if (from < 0)
    from = 0;
  size_t n = std::strlen(s);
  size_t size = std::strlen(tocs());
  for (size_t p = static_cast<size_t>(from); p + n <= size; ++p)
    if (equalNoCase(tocs() + p, s, n))
      return static_cast<int>(p + n);
  return -1;
}

int YString::lastIndexOf(const char *s) const {
  if (!s)
    return -1;
  size_t n = std::strlen(s);
  size_t size = std::strlen(tocs());
  if (n > size)
    return -1;
  for (size_t p = size - n + 1; p-- > 0;)
    if (equalNoCase(tocs() + p, s, n))
      return static_cast<int>(p);
  return -1;
}

int YString::comparePath(const YString &other) const {
  int order = std::strcmp(tocs(), other.tocs()); // strcmp compares unsigned bytes
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

uint32_t YString::hashValue() const {
  uint32_t h = 0;
  for (const char *c = tocs(); *c; ++c)
    h = h * 0x1003Fu + static_cast<uint32_t>(static_cast<int>(asciiUpper(*c)));
  return h & 0x7FFFFFFFu;
}

uint32_t YString::pathHashValue() const {
  uint32_t h = 0;
  for (const char *c = tocs(); *c; ++c)
    h = h * 0x1003Fu + static_cast<uint32_t>(static_cast<int>(*c));
  return h & 0x7FFFFFFFu;
}

// ---- editing -------------------------------------------------------------------------

void YString::pad(unsigned int width, char fill) {
  size_t size = std::strlen(tocs());
  if (size >= width || fill == '\0')
    return;
  Block *block = allocate(width);
  std::memcpy(block->text(), tocs(), size);
  std::memset(block->text() + size, fill, width - size);
  block->text()[width] = '\0';
  adopt(block);
}

void YString::stripLeading(const char *set) {
  if (!set || isEmpty())
    return;
  size_t skip = std::strspn(tocs(), set);
  if (skip == 0)
    return;
  unique();
  char *text = block_->text();
  std::memmove(text, text + skip, std::strlen(text + skip) + 1);
}

void YString::stripTrailing(const char *set) {
  if (!set || isEmpty())
    return;
  size_t size = std::strlen(tocs());
  size_t keep = size;
  while (keep > 0 && std::strchr(set, tocs()[keep - 1]))
    --keep;
  if (keep == size)
    return;
  unique();
  block_->text()[keep] = '\0';
}

void YString::stripQuotes(const char *quotes, bool both) {
  if (!quotes || !quotes[0])
    return;
  char open = quotes[0];
  char close = quotes[1] ? quotes[1] : quotes[0];
  size_t size = std::strlen(tocs());
  if (size == 0)
    return;
  bool opens = tocs()[0] == open;
  bool closes = tocs()[size - 1] == close;
  if (both ? !(opens && closes) : !(opens || closes))
    return;
  size_t begin = opens ? 1 : 0;
  size_t end = size;
  if (end > begin && tocs()[end - 1] == close)
    --end;
  unique();
  char *text = block_->text();
  std::memmove(text, text + begin, end - begin);
  text[end - begin] = '\0';
}

YString YString::tolower() {
  if (!isEmpty()) {
    unique();
    for (char *c = block_->text(); *c; ++c)
      *c = asciiLower(*c);
  }
  return *this;
}

YString YString::toupper() {
  if (!isEmpty()) {
    unique();
    for (char *c = block_->text(); *c; ++c)
      *c = asciiUpper(*c);
  }
  return *this;
}

YString YString::convertDosToUnix() {
  if (std::strstr(tocs(), "\r\n")) {
    unique();
    char *out = block_->text();
    for (const char *in = out; *in; ++in)
      if (!(in[0] == '\r' && in[1] == '\n'))
        *out++ = *in;
    *out = '\0';
  }
  return *this;
}

// Copies the text into a new block while matching `from` byte-exactly. A
// match may begin only at or after `start`. When a partial match fails, the
// failing character is tried again as the start of a new match; the other
// characters of the partial match are not looked at again. Only the first
// complete match is replaced.
int YString::substitute(const YString &from, const YString &to, int start) {
  int size = length();
  if (start < 0 || start >= size)
    return 0;
  size_t fromLength = std::strlen(from.tocs());
  size_t toLength = std::strlen(to.tocs());
  if (fromLength == 0)
    return 0;

  const char *text = tocs();
  const char *pattern = from.tocs();
  size_t matched = 0;
  size_t matchStart = 0;
  bool found = false;
  for (size_t i = 0; i < static_cast<size_t>(size); ++i) {
    if (matched > 0 && text[i] != pattern[matched])
      matched = 0;
    if (text[i] == pattern[matched] && (matched > 0 || i >= static_cast<size_t>(start))) {
      if (++matched == fromLength) {
        matchStart = i + 1 - fromLength;
        found = true;
        break;
      }
    }
  }
  if (!found)
    return 0;

  size_t newLength = static_cast<size_t>(size) - fromLength + toLength;
  Block *block = allocate(newLength);
  std::memcpy(block->text(), text, matchStart);
  std::memcpy(block->text() + matchStart, to.tocs(), toLength);
  std::memcpy(block->text() + matchStart + toLength, text + matchStart + fromLength,
              static_cast<size_t>(size) - matchStart - fromLength);
  block->text()[newLength] = '\0';
  adopt(block);
  return static_cast<int>(matchStart + toLength);
}

void YString::substituteAll(const YString &from, const YString &to) {
  // Keep our own references: `from` or `to` may be this very string.
  YString pattern(from), replacement(to);
  int start = 0;
  while ((start = substitute(pattern, replacement, start)) != 0) {
  }
}

void YString::sprintf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  sprintf(format, args);
  va_end(args);
}

// Measures the result first, so the text is sized exactly however long it is.
void YString::sprintf(const char *format, va_list args) {
  if (!format || !*format) {
    adopt(nullBlockPointer());
    return;
  }
  va_list measure;
  va_copy(measure, args);
  int n = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (n <= 0) {
    adopt(nullBlockPointer());
    return;
  }
  Block *block = allocate(static_cast<size_t>(n));
  std::vsnprintf(block->text(), static_cast<size_t>(n) + 1, format, args);
  adopt(block);
}

// ---- extracting --------------------------------------------------------------------

YString YString::substring(int start, int count) const {
  long long size = length();
  long long begin = start < 0 ? 0 : start;
  long long end = static_cast<long long>(start) + count;
  if (end > size)
    end = size;
  if (begin >= size || end <= begin)
    return YString();
  YString result;
  result.block_ = makeBlock(tocs() + begin, static_cast<size_t>(end - begin));
  return result;
}

YString YString::shiftLeft(long long n, char fill) {
  if (n <= 0)
    return *this;
  long long size = length();
  if (size > n) {
    YString head(tocs(), static_cast<int>(n));
    unique();
    char *text = block_->text();
    std::memmove(text, text + n, static_cast<size_t>(size - n) + 1);
    return head;
  }
  YString head;
  if (fill != '\0' && size < n) {
    head = *this;
    head.pad(static_cast<unsigned int>(n), fill);
  } else {
    head = *this;
  }
  adopt(nullBlockPointer());
  return head;
}

YString YString::strtok(const char *delimiters) {
  if (!delimiters)
    delimiters = "";
  const char *text = tocs();
  const char *begin = text + std::strspn(text, delimiters);
  if (*begin == '\0') {
    adopt(nullBlockPointer());
    return YString();
  }
  size_t tokenLength = std::strcspn(begin, delimiters);
  YString token(begin, static_cast<int>(tokenLength));
  const char *rest = begin + tokenLength;
  if (*rest)
    ++rest; // the one delimiter that ended the token
  YString remainder(rest);
  *this = std::move(remainder);
  return token;
}

TempString &YString::concat(const char *text) const { return *new TempString(tocs(), text); }

YList<YString> *YString::tokenize(const YString *text, char separator, YList<YString> *list) {
  const char *at = text->tocs();
  while (*at) {
    while (*at && *at == separator)
      ++at;
    const char *begin = at;
    while (*at && *at != separator)
      ++at;
    if (at > begin)
      list->append(YString(begin, static_cast<int>(at - begin)));
  }
  return list;
}

YList<YString> *YString::tokenize(const YString *text, YString separator, YList<YString> *list) {
  const char *s = text->tocs();
  const char *sep = separator.tocs();
  size_t sepLength = std::strlen(sep);
  size_t size = std::strlen(s);
  size_t tokenStart = 0;
  size_t j = 0;
  for (size_t i = 0; i < size && sepLength > 0; ++i) {
    if (s[i] == sep[j]) {
      if (++j == sepLength) {
        size_t tokenEnd = i + 1 - sepLength;
        list->append(YString(s + tokenStart, static_cast<int>(tokenEnd - tokenStart)));
        tokenStart = i + 1;
        j = 0;
      }
    } else {
      j = 0;
    }
  }
  if (tokenStart < size)
    list->append(YString(s + tokenStart));
  return list;
}

// ---- serialisation -------------------------------------------------------------------

void YString::writeBlock(void **cursor) const {
  int32_t size = length();
  char *out = static_cast<char *>(*cursor);
  std::memcpy(out, &size, sizeof size);
  std::memcpy(out + sizeof size, tocs(), static_cast<size_t>(size));
  *cursor = out + sizeof size + size;
}

void YString::readBlock(void **cursor) {
  const char *in = static_cast<const char *>(*cursor);
  int32_t size;
  std::memcpy(&size, in, sizeof size);
  in += sizeof size;
  if (size <= 0) {
    adopt(nullBlockPointer());
    *cursor = const_cast<char *>(in);
    return;
  }
  adopt(makeBlock(in, strnlen(in, static_cast<size_t>(size))));
  *cursor = const_cast<char *>(in + size);
}

bool YString::save(YStringStream &stream) const {
  int32_t size = length();
  return stream.write(&size, sizeof size) && (size == 0 || stream.write(tocs(), size));
}

namespace {

// Reads exactly `size` bytes; false when the stream ends sooner.
bool readExactly(YStringStream &stream, char *buffer, int size) {
  while (size > 0) {
    int n = stream.read(buffer, size);
    if (n <= 0 || n > size)
      return false;
    buffer += n;
    size -= n;
  }
  return true;
}

} // namespace

bool YString::restore(YStringStream &stream) {
  int32_t size;
  if (!readExactly(stream, reinterpret_cast<char *>(&size), sizeof size))
    return false;
  if (size <= 0) {
    adopt(nullBlockPointer());
    return true;
  }
  // Read in bounded pieces, so a damaged length on a short stream fails
  // without first claiming gigabytes.
  constexpr int32_t kPiece = 1 << 16;
  Block *block = allocate(static_cast<size_t>(size < kPiece ? size : kPiece));
  int32_t done = 0;
  while (done < size) {
    int32_t piece = size - done < kPiece ? size - done : kPiece;
    block = static_cast<Block *>(
        checkedRealloc(block, kCountBytes + static_cast<size_t>(done) + piece + 1));
    if (!readExactly(stream, block->text() + done, piece)) {
      std::free(block);
      return false;
    }
    done += piece;
  }
  block->text()[size] = '\0';
  adopt(block);
  return true;
}

// Records on a kvstream: a 16-bit length (texts cut to 32767 bytes) or a
// 32-bit one, in native byte order, then the bytes.

namespace {

constexpr int kShortRecordLimit = 32767;

bool atEndOfInput(kvstream &stream) {
  kvbuf *buffer = stream.rdbuf();
  return !buffer || !*buffer || stream.eof();
}

// Reads `size` bytes of text; false when the stream ends sooner.
bool readText(kvstream &stream, int64_t size, YString *text) {
  if (size <= 0) {
    *text = YString();
    return true;
  }
  std::string bytes;
  constexpr int64_t kPiece = 1 << 16; // a damaged length on a short stream fails early
  while (static_cast<int64_t>(bytes.size()) < size) {
    size_t piece =
        static_cast<size_t>(std::min<int64_t>(kPiece, size - static_cast<int64_t>(bytes.size())));
    size_t at = bytes.size();
    bytes.resize(at + piece);
    if (stream.read(&bytes[at], piece) != piece)
      return false;
  }
  *text = YString(bytes.c_str(), static_cast<int>(bytes.size()));
  return true;
}

} // namespace

bool YString::save(kvstream &stream) const {
  int length16 = std::min(length(), kShortRecordLimit);
  int16_t size = static_cast<int16_t>(length16);
  return stream.write(reinterpret_cast<const char *>(&size), sizeof size) == sizeof size &&
         stream.write(tocs(), static_cast<size_t>(length16)) == static_cast<size_t>(length16);
}

bool YString::saveLong(kvstream &stream) const {
  int32_t size = length();
  return stream.write(reinterpret_cast<const char *>(&size), sizeof size) == sizeof size &&
         stream.write(tocs(), static_cast<size_t>(size)) == static_cast<size_t>(size);
}

int YString::restore(kvstream &stream, int maximum) {
  if (atEndOfInput(stream))
    return 0;
  int16_t size;
  if (stream.read(reinterpret_cast<char *>(&size), sizeof size) != sizeof size)
    return 0;
  if (maximum != 0 && size > maximum)
    return 0;
  return readText(stream, size, this) ? 1 : 0;
}

int YString::restoreLong(kvstream &stream) {
  if (atEndOfInput(stream))
    return 0;
  int32_t size;
  if (stream.read(reinterpret_cast<char *>(&size), sizeof size) != sizeof size)
    return 0;
  return readText(stream, size, this) ? 1 : 0;
}

// ---- TempString --------------------------------------------------------------------

size_t TempString::slackSize(size_t length) { return ((length + 5) / 16 + 1) * 16; }

TempString::TempString(const char *first, const char *second) {
  size_t a = first ? std::strlen(first) : 0;
  size_t b = second ? std::strlen(second) : 0;
  length_ = a + b;
  capacity_ = slackSize(length_);
  block_ = static_cast<YString::Block *>(checkedMalloc(capacity_));
  block_->refs = 1;
  if (a)
    std::memcpy(block_->text(), first, a);
  if (b)
    std::memcpy(block_->text() + a, second, b);
  block_->text()[length_] = '\0';
}

TempString &TempString::concat(const char *text) {
  size_t added = text ? std::strlen(text) : 0;
  if (added == 0)
    return *this;
  size_t length = length_ + added;
  if (kCountBytes + length + 1 > capacity_) {
    size_t offset = offsetWithin(block_->text(), length_, text);
    capacity_ = slackSize(length);
    block_ = static_cast<YString::Block *>(checkedRealloc(block_, capacity_));
    if (offset != kOutside)
      text = block_->text() + offset;
  }
  std::memmove(block_->text() + length_, text, added);
  block_->text()[length] = '\0';
  length_ = length;
  return *this;
}

int TempString::len() const { return static_cast<int>(length_); }

void TempString::Destroy() {
  std::free(block_);
  delete this;
}
