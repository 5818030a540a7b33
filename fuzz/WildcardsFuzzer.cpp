// Wildcards and natural order on arbitrary texts. The input is up to three
// NUL-separated texts: a pattern, a text and a third name. Checks: the
// filter test equals a memoised reading of its recursive definition; the
// direct glob matcher and QRegExp agree, and positions lie in the text; the
// natural order is reflexive, antisymmetric and transitive.
#include "kvsupport/netlist/Wildcards.h"

#include "netlist/Wildcards_p.h"

#include "FuzzSupport.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kvfuzz::check;

// The filter test exactly as defined, each (pattern, text) position decided once.
class FilterReference {
public:
  FilterReference(const std::string &text, const std::string &pattern, bool caseSensitive)
      : t_(text), p_(pattern), caseSensitive_(caseSensitive),
        memo_((pattern.size() + 1) * (text.size() + 1), -1) {}
  bool matches() { return p_ == "*" || match(0, 0); }

private:
  static unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
  bool same(char a, char b) const {
    auto x = static_cast<unsigned char>(a), y = static_cast<unsigned char>(b);
    return caseSensitive_ ? x == y : fold(x) == fold(y);
  }
  bool match(size_t pi, size_t ti) {
    signed char &memo = memo_[pi * (t_.size() + 1) + ti];
    if (memo < 0)
      memo = decide(pi, ti) ? 1 : 0;
    return memo == 1;
  }
  bool decide(size_t pi, size_t ti) {
    if (ti == t_.size())
      return p_.find_first_not_of('*', pi) == std::string::npos;
    if (pi == p_.size())
      return false;
    switch (p_[pi]) {
    case '*': {
      size_t rest = p_.find_first_not_of('*', pi);
      if (rest == std::string::npos)
        return true;
      for (size_t k = ti; k < t_.size(); ++k)
        if (match(rest, k))
          return true;
      return false;
    }
    case '?':
      return match(pi + 1, ti + 1);
    case '\\':
      return pi + 1 < p_.size() && same(p_[pi + 1], t_[ti]) && match(pi + 2, ti + 1);
    default:
      return same(p_[pi], t_[ti]) && match(pi + 1, ti + 1);
    }
  }
  const std::string &t_, &p_;
  bool caseSensitive_;
  std::vector<signed char> memo_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 600)
    return 0; // QRegExp's own time grows fast with length; the rest is linear
  std::string parts[3];
  int part = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      if (++part == 3)
        break;
      continue;
    }
    parts[part] += static_cast<char>(data[i]);
  }
  const std::string &pattern = parts[0], &text = parts[1], &third = parts[2];

  for (bool caseSensitive : {false, true}) {
    FilterReference reference(text, pattern, caseSensitive);
    check(sp_FilterString(text.c_str(), pattern.c_str(), caseSensitive) == reference.matches(),
          "filter test equals its definition");
  }

  int direct = kv::netlist::globMatchDirect(pattern.c_str(), text.c_str());
  int viaRegExp = kv::netlist::globMatchByRegExp(pattern.c_str(), text.c_str());
  if (direct != kv::netlist::kNotDirect)
    check(direct == viaRegExp, "direct glob matcher agrees with QRegExp");
  int position = sp_GlobMatch(pattern.c_str(), text.c_str());
  check(position >= -1 && position <= static_cast<int>(text.size()), "glob position in text");
  int regexp = sp_RegexpMatch(pattern.c_str(), text.c_str());
  check(regexp >= -1 && regexp <= static_cast<int>(text.size()), "regexp position in text");

  const char *names[3] = {pattern.c_str(), text.c_str(), third.c_str()};
  int order[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      order[i][j] = sp_CompareStrings(names[i], names[j]);
      check(order[i][j] >= -1 && order[i][j] <= 1, "order is -1, 0 or 1");
    }
  for (int i = 0; i < 3; ++i) {
    check(order[i][i] == 0, "reflexive");
    for (int j = 0; j < 3; ++j) {
      check(order[i][j] == -order[j][i], "antisymmetric");
      for (int k = 0; k < 3; ++k)
        if (order[i][j] <= 0 && order[j][k] <= 0)
          check(order[i][k] <= 0 && (order[i][k] < 0 || (order[i][j] == 0 && order[j][k] == 0)),
                "transitive");
    }
  }
  return 0;
}
