// Shared-memory object names on POSIX: one flat namespace of the machine,
// with '/' forbidden inside a name and a length limit of NAME_MAX. The
// library's names (mutex names, shared block names) are arbitrary text, so
// they are escaped into that namespace one-to-one; the user id keeps the
// objects of different users apart, as a per-session namespace would.
#include "os/posix/ObjectName_p.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace kv::posix {
namespace {

// Room left for the escaped name within NAME_MAX (255) after the prefix.
constexpr size_t kMaxEscapedLength = 200;
constexpr size_t kKeptWhenHashed = 150;

bool keptAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '.' || c == '-';
}

uint64_t fnv1a(const char *text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c)
    hash = (hash ^ *c) * 0x100000001B3ull;
  return hash;
}

} // namespace

std::string objectName(const char *kind, const char *name) {
  std::string escaped;
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c) {
    if (keptAsIs(*c)) {
      escaped += static_cast<char>(*c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", *c);
      escaped += hex;
    }
  }
  if (escaped.size() > kMaxEscapedLength) {
    // '~' never appears in an escaped name, so a hashed name cannot equal
    // the escaped form of another; the kept part only helps people reading
    // a listing of the objects.
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(fnv1a(name)));
    escaped = escaped.substr(0, kKeptWhenHashed) + hash;
  }
  return "/kv" + std::string(kind) + "." + std::to_string(::geteuid()) + "." + escaped;
}

} // namespace kv::posix
