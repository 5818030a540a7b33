// Internal header, not API: names of POSIX shared-memory objects made from
// the library's own names.
#pragma once

#include <string>

namespace kv::posix {

/// The shared-memory object name ("/kv<kind>.<uid>.<name>") under which the
/// library's `name` lives for the current user. Every process of the user
/// maps one name to one object: bytes outside [A-Za-z0-9_.-] are written
/// as %XX, and a name too long for the system keeps its first part and a
/// hash of the whole.
std::string objectName(const char *kind, const char *name);

} // namespace kv::posix
