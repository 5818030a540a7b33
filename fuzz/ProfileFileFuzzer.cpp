// Profile files from arbitrary bytes. The bytes are read as a profile file,
// every listed key of every listed section is looked up, and the file is
// formatted as a write would write it. Reading that text back must give the
// same sections in the same order and the same keys, each value normalised
// once more (blanks trimmed, one pair of enclosing quotes removed), except
// that values of keys beginning with '[' are written quoted and so come
// back exactly.
#include "kvsupport/files/ProfileFile.h"

#include "FuzzSupport.h"
#include "files/ProfileFile_p.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using kvfuzz::check;

std::string upper(const char *text) {
  std::string folded(text);
  for (char &c : folded)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  return folded;
}

std::string normalised(std::string value) {
  const size_t from = value.find_first_not_of(" \t");
  if (from == std::string::npos)
    return "";
  value = value.substr(from, value.find_last_not_of(" \t") - from + 1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return value;
}

struct Contents {
  std::vector<std::string> sections;
  std::map<std::string, std::multimap<std::string, std::string>> keys; // by upper-cased section
};

// Reads `bytes` afresh: a new cache, so that nothing is taken from before.
Contents read(const std::string &path, const std::string &bytes) {
  kv::files::closeInifile();
  check(kvfuzz::writeScratchFile("profile.ini", bytes), "scratch file");
  Contents contents;
  const YString file(path.c_str());
  YList<YString> sections;
  if (!sp_GetProfileSectionNames(file, &sections))
    return contents;
  for (const YString &section : sections) {
    contents.sections.push_back(section.tocs());
    YList<YString> keys;
    check(sp_GetProfileKeyNames(file, section, &keys), "listed section has keys");
    auto &entries = contents.keys[upper(section.tocs())];
    for (const YString &key : keys) {
      YString value;
      check(sp_GetPrivateProfileString(section.tocs(), key.tocs(), path.c_str(), &value),
            "listed key is found");
      entries.emplace(upper(key.tocs()), value.tocs());
    }
  }
  return contents;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &path = kvfuzz::scratchFile("profile.ini");
  const Contents first = read(path, std::string(reinterpret_cast<const char *>(data), size));
  const std::string formatted = sp_FormatProfileFile(YString(path.c_str())).tocs();
  const Contents second = read(path, formatted);
  check(first.sections == second.sections, "same sections in the same order");
  check(first.keys.size() == second.keys.size(), "same sections with keys");
  for (const auto &section : first.keys) {
    auto other = second.keys.find(section.first);
    check(other != second.keys.end(), "section kept");
    check(other->second.size() == section.second.size(), "same number of keys");
    for (auto a = section.second.begin(), b = other->second.begin(); a != section.second.end();
         ++a, ++b) {
      check(a->first == b->first, "same keys");
      const std::string expected = a->first[0] == '[' ? a->second : normalised(a->second);
      check(b->second == expected, "value normalised once more");
    }
  }
  kv::files::closeInifile();
  return 0;
}
