// Logical paths: the input's first line is a path, each further line a user
// location "NAME=PATH" or an option "$NAME=VALUE" (up to 16 of each). The
// path is translated with and without the locations and made logical, all
// through the pure core: every translation ends within one step per name,
// grows by no more than the values it used, and making then translating
// gives the cleaned path back.
#include "support/LogicalPaths_p.h"

#include "kvsupport/files/PathName.h"

#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using Table = std::map<std::string, YString>; // names upper-cased

std::string upper(const YString &name) { return YString(name).toupper().tocs(); }

struct Input {
  YString path;
  Table locations, options;
  size_t valueBytes = 0;
};

Input parse(const uint8_t *data, size_t size) {
  Input in;
  std::string text(reinterpret_cast<const char *>(data), size);
  for (char &c : text)
    if (c == '\0')
      c = ' ';
  size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (first) {
      in.path = YString(line.c_str());
      first = false;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
      continue;
    const bool option = !line.empty() && line[0] == '$';
    Table &table = option ? in.options : in.locations;
    const std::string name = line.substr(option ? 1 : 0, equals - (option ? 1 : 0));
    if (table.size() >= 16 || name.empty())
      continue;
    const YString value(line.substr(equals + 1).c_str());
    if (table.emplace(upper(YString(name.c_str())), value).second)
      in.valueBytes += static_cast<size_t>(value.length());
  }
  return in;
}

bool translate(const Input &in, const YString &path, bool withLocations, YString *result) {
  kv::support::LogicalPathExpansion state;
  const bool done = kv::support::translateLogicalPath(
      path,
      [&](const YString &name) -> const YString * {
        if (!withLocations)
          return nullptr;
        auto it = in.locations.find(upper(name));
        return it == in.locations.end() ? nullptr : &it->second;
      },
      [&](const YString &name) {
        auto it = in.options.find(upper(name));
        return it == in.options.end() ? YString() : it->second;
      },
      state, false, result);
  const size_t names = in.locations.size() + in.options.size();
  kvfuzz::check(state.maxDepth <= static_cast<int>(names) + 1, "depth within the names");
  kvfuzz::check(static_cast<size_t>(result->length()) <=
                    static_cast<size_t>(path.length()) + in.valueBytes,
                "no growth beyond the values");
  return done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096)
    return 0;
  const Input in = parse(data, size);
  YString result;
  translate(in, in.path, true, &result);
  translate(in, in.path, false, &result);

  std::vector<kv::support::MakeCandidate> candidates;
  for (const auto &location : in.locations) {
    YString translated;
    translate(in, YString(("%" + location.first + "%").c_str()), true, &translated);
    if (kv::support::isMakeCandidate(location.first.c_str(), translated))
      candidates.emplace_back(location.first.c_str(), translated);
  }
  const YString cleaned = sp_ConvertLocalToUnix(sp_CleanPath(in.path));
  YString made;
  if (!cleaned.isEmpty() && kv::support::makeLogicalPath(cleaned, candidates, &made)) {
    YString back;
    kvfuzz::check(translate(in, made, true, &back), "a made path expands");
    kvfuzz::check(back == cleaned, "making then translating gives the cleaned path");
  }
  return 0;
}
