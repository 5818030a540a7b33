// kvtool ini: reads and changes profile files as the library does, with
// the same locking, so it is safe beside running programs of the suite.
#include "Command.h"

#include <kvsupport/files/ProfileFile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kvtool {
namespace {

const char kName[] = "ini";

// Why the last change is not in the file, or empty when it is.
std::string unwrittenReason() {
  int error = 0;
  switch (sp_GetLastProfileWriteStatus(&error)) {
  case ProfileWritten:
  case ProfileUnchanged:
    return "";
  case ProfilePending:
    return "the file is locked by another program";
  case ProfileRefused:
    return "refused: a section, key or value that a profile file cannot hold";
  case ProfileFailed:
    return std::strerror(error);
  }
  return "not written";
}

int reportChange(const std::string &file) {
  const std::string reason = unwrittenReason();
  if (reason.empty())
    return ExitOk;
  std::fprintf(stderr, "kvtool ini: %s: %s\n", file.c_str(), reason.c_str());
  return ExitFailure;
}

int get(const Args &a) {
  YString value;
  if (!sp_GetPrivateProfileString(a[2].c_str(), a[3].c_str(), a[1].c_str(), &value))
    return ExitFailure;
  std::printf("%s\n", value.tocs());
  return ExitOk;
}

int list(const Args &a) {
  const YString file(a[1].c_str());
  if (a.size() == 2) {
    YList<YString> sections;
    if (!sp_GetProfileSectionNames(file, &sections))
      return ExitFailure;
    for (const YString &section : sections)
      std::printf("%s\n", section.tocs());
    return ExitOk;
  }
  YList<YString> keys;
  if (!sp_GetProfileKeyNames(file, YString(a[2].c_str()), &keys))
    return ExitFailure;
  std::vector<YString> sorted(keys.begin(), keys.end());
  const auto caseless = [](const YString &x, const YString &y) {
    return sp_stricmp(x.tocs(), y.tocs()) < 0;
  };
  std::sort(sorted.begin(), sorted.end(), caseless);
  sorted.erase(std::unique(sorted.begin(), sorted.end(),
                           [](const YString &x, const YString &y) {
                             return sp_stricmp(x.tocs(), y.tocs()) == 0;
                           }),
               sorted.end());
  for (const YString &key : sorted) {
    YString value;
    sp_GetPrivateProfileString(a[2].c_str(), key.tocs(), a[1].c_str(), &value);
    std::printf("%s=%s\n", key.tocs(), value.tocs());
  }
  return ExitOk;
}

int run(const Args &args) {
  Args a;
  bool options = true;
  for (const std::string &arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return usageError(kName, "unknown option " + arg);
    } else {
      a.push_back(arg);
    }
  }
  if (a.empty())
    return usageError(kName, "no action given");
  const std::string &action = a[0];
  const size_t n = a.size();
  const auto wrong = [&] { return usageError(kName, "wrong arguments for " + action); };
  if (action == "get")
    return n == 4 ? get(a) : wrong();
  if (action == "set") {
    if (n != 5)
      return wrong();
    sp_WritePrivateProfileString(a[1].c_str(), a[2].c_str(), a[3].c_str(), a[4].c_str());
    return reportChange(a[1]);
  }
  if (action == "delete") {
    if (n == 4) {
      sp_WritePrivateProfileString(a[1].c_str(), a[2].c_str(), a[3].c_str(), nullptr);
      return reportChange(a[1]);
    }
    if (n != 3)
      return wrong();
    const int removed =
        sp_DeletePrivateProfileSection(YString(a[1].c_str()), YString(a[2].c_str()));
    const int result = reportChange(a[1]);
    if (result == ExitOk)
      std::printf("%d\n", removed);
    return result;
  }
  if (action == "list")
    return n == 2 || n == 3 ? list(a) : wrong();
  if (action == "render") {
    if (n != 2)
      return wrong();
    std::fputs(sp_FormatProfileFile(YString(a[1].c_str())).tocs(), stdout);
    return ExitOk;
  }
  if (action == "info") {
    if (n != 2)
      return wrong();
    YString path, mutex;
    sp_GetProfileIdentity(YString(a[1].c_str()), &path, &mutex);
    std::printf("path\t%s\nmutex\t%s\ntimestamp\t%lld\n", path.tocs(), mutex.tocs(),
                sp_GetProfileTimeStamp(YString(a[1].c_str())));
    return ExitOk;
  }
  return usageError(kName, "unknown action " + action);
}

const CommandRegistration registration(
    {kName,
     "get FILE SECTION KEY | set FILE SECTION KEY VALUE | delete FILE SECTION [KEY] | "
     "list FILE [SECTION] | render FILE | info FILE",
     "reads and changes profile files under the same lock as the library's programs", run});

} // namespace
} // namespace kvtool
