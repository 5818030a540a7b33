// kvtool cross: every crossing of a level in exported waveform data, as the
// crossing search lists them (last crossing first), one "index<TAB>value"
// line each.
#include "Command.h"

#include <kvsupport/numerics/Interpolation.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kvtool {
namespace {

const char kName[] = "cross";

bool parseDouble(const std::string &text, double *out) {
  if (text.empty())
    return false;
  char *end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

bool parseInt(const std::string &text, int *out) {
  if (text.empty())
    return false;
  char *end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || value < INT_MIN || value > INT_MAX)
    return false;
  *out = static_cast<int>(value);
  return true;
}

bool isBlank(const char *p) {
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\f' || *p == '\v')
    ++p;
  return *p == '\0';
}

// Reads "searched result" pairs, one per line; blank lines and lines starting
// with '#' are skipped. On a malformed line prints where and answers false.
bool readColumns(const std::string &path, std::vector<double> *searched,
                 std::vector<double> *results) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "kvtool %s: cannot open %s\n", kName, path.c_str());
    return false;
  }
  std::string line;
  long lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.find('\0') != std::string::npos) {
      std::fprintf(stderr, "kvtool %s: %s:%ld: unexpected NUL byte\n", kName, path.c_str(),
                   lineNumber);
      return false;
    }
    const char *p = line.c_str();
    while (*p == ' ' || *p == '\t')
      ++p;
    if (*p == '#' || isBlank(p))
      continue;
    char *end = nullptr;
    double s = std::strtod(p, &end);
    bool ok = end != p;
    double r = 0.0;
    if (ok) {
      const char *second = end;
      r = std::strtod(second, &end);
      ok = end != second && isBlank(end);
    }
    if (!ok) {
      std::fprintf(stderr, "kvtool %s: %s:%ld: expected two numbers\n", kName, path.c_str(),
                   lineNumber);
      return false;
    }
    searched->push_back(s);
    results->push_back(r);
  }
  if (in.bad()) {
    std::fprintf(stderr, "kvtool %s: error reading %s\n", kName, path.c_str());
    return false;
  }
  return true;
}

int run(const Args &args) {
  InterpOpts opts;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    bool hasValue = i + 1 < args.size();
    if (arg == "--order" && hasValue) {
      if (!parseInt(args[++i], &opts.order))
        return usageError(kName, "--order takes an integer");
    } else if (arg == "--slope" && hasValue) {
      if (!parseInt(args[++i], &opts.slope))
        return usageError(kName, "--slope takes an integer (1 rising, -1 falling, 0 any)");
    } else if (arg == "--nearest" && hasValue) {
      opts.nearest = true;
      if (!parseDouble(args[++i], &opts.reference))
        return usageError(kName, "--nearest takes a number");
    } else if (arg == "--inverse") {
      opts.inverse = true;
    } else if (arg.rfind("--", 0) == 0) {
      return usageError(kName, "unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2)
    return usageError(kName, "expected FILE and LEVEL");
  double level;
  if (!parseDouble(positional[1], &level))
    return usageError(kName, "LEVEL must be a number");

  std::vector<double> searched, results;
  if (!readColumns(positional[0], &searched, &results))
    return ExitFailure;

  YList<double> values;
  YList<int64_t> indices;
  support_FindYFromX(&values, &indices, results.data(), searched.data(),
                     static_cast<int64_t>(searched.size()), level, opts);
  auto index = indices.begin();
  for (double value : values)
    std::printf("%lld\t%.15g\n", static_cast<long long>(*index++), value);
  return ExitOk;
}

const CommandRegistration registration(
    {kName, "[--order N] [--slope S] [--inverse] [--nearest REF] FILE LEVEL",
     "prints every crossing of LEVEL by the first column of FILE: interval index and the "
     "interpolated second column",
     run});

} // namespace
} // namespace kvtool
