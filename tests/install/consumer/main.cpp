// A program outside the project that uses the installed library.
#include <kvsupport/strings/YString.h>

#include <cstdio>

int main() {
  YString text("Kelvanta");
  YString joined(text.concat(" support"));
  if (joined.hashValue() != YString("KELVANTA SUPPORT").hashValue())
    return 1;
  std::printf("%s\n", joined.tocs());
  return 0;
}
