// kvtool strings: shows what the string type makes of each argument.
#include "Command.h"

#include <kvsupport/strings/YString.h>

#include <cstdio>

namespace kvtool {
namespace {

struct StringsOptions {
  char separator = ',';
  YString separatorText = ",";
  YString from;
  YString to;
  Args texts;
};

void printTokens(const char *label, const YList<YString> &tokens) {
  std::printf("%s\t%d", label, static_cast<int>(tokens.count()));
  for (const YString &token : tokens)
    std::printf("\t[%s]", token.tocs());
  std::printf("\n");
}

int run(const Args &args) {
  StringsOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    bool hasValue = i + 1 < args.size();
    if (arg == "--sep" && hasValue) {
      const std::string &value = args[++i];
      if (value.size() != 1)
        return usageError("strings", "--sep takes one character");
      options.separator = value[0];
    } else if (arg == "--sepstr" && hasValue) {
      options.separatorText = args[++i].c_str();
    } else if (arg == "--from" && hasValue) {
      options.from = args[++i].c_str();
    } else if (arg == "--to" && hasValue) {
      options.to = args[++i].c_str();
    } else if (arg.rfind("--", 0) == 0) {
      return usageError("strings", "unknown option " + arg);
    } else {
      options.texts.push_back(arg);
    }
  }
  if (options.texts.empty())
    return usageError("strings", "no text given");

  for (const std::string &argument : options.texts) {
    YString text(argument.c_str());
    std::printf("text\t%s\n", text.tocs());
    std::printf("hash\t%u\n", text.hashValue());
    YString upper(text), lower(text);
    std::printf("upper\t%s\n", upper.toupper().tocs());
    std::printf("lower\t%s\n", lower.tolower().tocs());
    if (!options.from.isEmpty()) {
      YString replaced(text);
      replaced.substituteAll(options.from, options.to);
      std::printf("substituted\t%s\n", replaced.tocs());
    }
    YList<YString> byChar, byText;
    YString::tokenize(&text, options.separator, &byChar);
    YString::tokenize(&text, options.separatorText, &byText);
    printTokens("tokens-char", byChar);
    printTokens("tokens-text", byText);
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"strings", "[--sep C] [--sepstr TEXT] [--from TEXT --to TEXT] TEXT...",
     "prints each text's hash, upper and lower case, substituteAll result and tokens", run});

} // namespace
} // namespace kvtool
