#include "kvsupport/streams/JFileBuf.h"

#include "kvsupport/files/PathName.h"
#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/streams/kvstream.h"
#include "kvsupport/strings/Utf8File.h"
#include "kvsupport/strings/YString.h"
#include "os/StdioFile_p.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kInternalPrefix[] = "INTERNAL:";
constexpr size_t kInternalPrefixLength = sizeof kInternalPrefix - 1;
constexpr int64_t kMaxFileSize = 0x7FFFFFFF;

// Looked up once, the first time any file is loaded.
JFileBuf::FindBuiltInScriptFunction findBuiltInScript() {
  static const auto function = reinterpret_cast<JFileBuf::FindBuiltInScriptFunction>(
      support_GetDynamicFunction(YString("findBuiltInScript")));
  return function;
}

// Null for no bytes: nothing was read.
char *copyToData(const std::string &bytes) {
  if (bytes.empty())
    return nullptr;
  char *data = new char[bytes.size() + 1];
  std::memcpy(data, bytes.data(), bytes.size());
  data[bytes.size()] = '\0';
  return data;
}

} // namespace

void JFileBuf::close() {
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
}

const char *JFileBuf::open(const char *path, bool textMode) {
  if (!path)
    return nullptr;
  if (findBuiltInScript() && sp_strnicmp(path, kInternalPrefix, kInternalPrefixLength) == 0)
    return loadBuiltInScript(path + kInternalPrefixLength);
  return loadFile(path, textMode);
}

// The host gets the script's base name; the bytes of the stream it returns
// become the data.
const char *JFileBuf::loadBuiltInScript(const char *name) {
  PathName parts;
  sp_SplitPath(YString(name), &parts);
  kvstream *script = findBuiltInScript()(parts.baseName, YString());
  if (!script)
    return nullptr;
  std::string bytes;
  for (int c; (c = script->get()) != -1 && *script;)
    bytes.push_back(static_cast<char>(c));
  delete script;
  close();
  data_ = copyToData(bytes);
  size_ = static_cast<unsigned int>(bytes.size());
  return data_;
}

const char *JFileBuf::loadFile(const char *path, bool textMode) {
  close();
  std::FILE *file = fopen_utf8(path, "rb");
  if (!file)
    return nullptr;
  int64_t size = kv::os::stdioFileSize(file);
  if (size < 0 || size >= kMaxFileSize) {
    std::fclose(file);
    return nullptr;
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  if (textMode) {
    // Text mode reads line ends as single newlines.
    size_t out = 0;
    for (size_t in = 0; in < bytes.size(); ++in)
      if (!(bytes[in] == '\r' && in + 1 < bytes.size() && bytes[in + 1] == '\n'))
        bytes[out++] = bytes[in];
    bytes.resize(out);
  }
  data_ = copyToData(bytes);
  size_ = static_cast<unsigned int>(bytes.size());
  return data_;
}
