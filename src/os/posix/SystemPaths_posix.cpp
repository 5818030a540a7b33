// System folders on POSIX. The running executable is what /proc/self/exe
// links to: unlike argv[0] it needs no search of PATH and is right however
// the program was started.
#include "os/SystemPaths_p.h"

#include "os/posix/PosixCalls_p.h"

#include <string>

namespace kv::os {

YString executableDirectory() {
  std::string buffer(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (n < 0)
      return YString();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      break;
    }
    if (buffer.size() > (1u << 20))
      return YString();
    buffer.resize(buffer.size() * 2);
  }
  const size_t slash = buffer.rfind('/');
  if (slash == std::string::npos)
    return YString();
  return YString(slash == 0 ? "/" : buffer.substr(0, slash).c_str());
}

bool isDirectory(const char *path) {
  struct stat info;
  return path && *path && posix::statPath(path, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace kv::os
