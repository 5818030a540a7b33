#include "kvsupport/netlist/LibraryIndex.h"

#include "kvsupport/netlist/Tokenizer.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfstream.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr const char kWordSeparators[] = " =(),\t";
// Enough of each line to hold its keyword and a name.
constexpr size_t kHeadLength = 2048;
constexpr int64_t kMaxOffset = INT_MAX;

class Indexer {
public:
  Indexer(const char *path, YVector<SymbolLoc> *entries) : path_(path), entries_(entries) {}

  void byte(int64_t offset, unsigned char c) {
    if (c == '\n') {
      endLine(offset + 1);
      ++lineNumber_;
      lineStart_ = offset + 1;
      head_.clear();
      return;
    }
    // The readers drop these bytes; the line's words are read without them.
    if (head_.size() < kHeadLength && (c == '\t' || (c >= 32 && c != 255)))
      head_.push_back(static_cast<char>(c));
  }

  void finish(int64_t size) {
    if (size > lineStart_)
      endLine(size);
    closeModel();
    if (depth_ > 0) {
      subckt_.end = static_cast<int>(size);
      entries_->append(subckt_);
    }
  }

private:
  void closeModel() {
    if (modelOpen_)
      entries_->append(model_);
    modelOpen_ = false;
  }

  SymbolLoc entry(SymbolKind kind, const YString &name, int64_t end) const {
    SymbolLoc loc;
    loc.path = path_;
    loc.name = name;
    loc.kind = kind;
    loc.start = static_cast<int>(lineStart_);
    loc.end = static_cast<int>(end);
    loc.line = lineNumber_ > INT_MAX ? INT_MAX : static_cast<int>(lineNumber_);
    return loc;
  }

  void endLine(int64_t end) {
    const char *p = head_.c_str();
    while (*p == ' ' || *p == '\t')
      ++p;
    if (*p == '\0' || *p == '*' || *p == ';')
      return; // blank and comment lines neither end nor extend a definition
    if (*p == '+') {
      if (modelOpen_)
        model_.end = static_cast<int>(end);
      return;
    }
    closeModel();
    YString keyword = sp_GetToken(&p, kWordSeparators, nullptr, nullptr, false);
    if (sp_stricmp(keyword.tocs(), ".ends") == 0) {
      if (depth_ > 0 && --depth_ == 0) {
        subckt_.end = static_cast<int>(end);
        entries_->append(subckt_);
      }
      return;
    }
    bool model = sp_stricmp(keyword.tocs(), ".model") == 0;
    bool subckt = sp_stricmp(keyword.tocs(), ".subckt") == 0;
    if (!model && !subckt)
      return;
    YString name = sp_GetToken(&p, kWordSeparators, nullptr, nullptr, false);
    if (subckt) {
      if (depth_++ == 0)
        subckt_ = entry(SYMBOL_SUBCKT, name, end);
      return;
    }
    if (depth_ == 0 && name.length() > 0) {
      model_ = entry(SYMBOL_MODEL, name, end);
      modelOpen_ = true;
    }
  }

  YString path_;
  YVector<SymbolLoc> *entries_;
  std::string head_;
  int64_t lineStart_ = 0;
  int64_t lineNumber_ = 1;
  int depth_ = 0;
  SymbolLoc subckt_;
  SymbolLoc model_;
  bool modelOpen_ = false;
};

} // namespace

bool sp_IndexLibrary(const char *path, YVector<SymbolLoc> *entries) {
  if (!path || !entries)
    return false;
  kvfstream file(path, kvRead | kvBinary);
  if (!file)
    return false;
  Indexer indexer(path, entries);
  char chunk[1 << 16];
  int64_t offset = 0;
  for (;;) {
    size_t count = file.read(chunk, sizeof chunk);
    if (count == 0)
      break;
    if (offset + static_cast<int64_t>(count) > kMaxOffset)
      count = static_cast<size_t>(kMaxOffset - offset);
    for (size_t i = 0; i < count; ++i)
      indexer.byte(offset + static_cast<int64_t>(i), static_cast<unsigned char>(chunk[i]));
    offset += static_cast<int64_t>(count);
    if (offset >= kMaxOffset)
      break;
  }
  indexer.finish(offset);
  return true;
}
