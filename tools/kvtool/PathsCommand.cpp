// kvtool paths: shows how path names are split, cleaned and related.
#include "Command.h"

#include <kvsupport/files/PathName.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &args) {
  YString base;
  bool haveBase = false;
  Args paths;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--base" && i + 1 < args.size()) {
      base = args[++i].c_str();
      haveBase = true;
    } else if (args[i].rfind("--", 0) == 0) {
      return usageError("paths", "unknown option " + args[i]);
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.empty())
    return usageError("paths", "no path given");

  for (const std::string &argument : paths) {
    const YString path(argument.c_str());
    PathName parts;
    sp_SplitPath(path, &parts);
    std::printf("path\t%s\n", path.tocs());
    std::printf("drive\t%s\n", parts.drive.tocs());
    std::printf("directory\t%s\n", parts.directory.tocs());
    std::printf("basename\t%s\n", parts.baseName.tocs());
    std::printf("extension\t%s\n", parts.extension.tocs());
    std::printf("clean\t%s\n", sp_CleanPath(path).tocs());
    std::printf("relative-path\t%s\n", sp_IsRelativePath(path) ? "yes" : "no");
    if (haveBase)
      std::printf("from-base\t%s\n", sp_RelativePath(path, base).tocs());
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"paths", "[--base DIR] PATH...",
     "prints each path's drive, directory, base name, extension, clean form and, with --base, "
     "the path relative to DIR",
     run});

} // namespace
} // namespace kvtool
