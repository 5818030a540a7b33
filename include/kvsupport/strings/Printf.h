#pragma once

#include "kvsupport/strings/PrintfArg.h"

#include <cstdarg>
#include <cstdio>

/// Formats into the caller's `buffer` of `size` bytes through a
/// StringPrintfBuf: the text is always NUL-terminated within the buffer and
/// pieces that do not fit are left out whole. Each form passes its full
/// arity, so an argument left at its default prints "<arg-missing>". Returns
/// true when the format used no more argument positions than the form takes.
bool sp_sprintf(char *buffer, int size, const char *format);
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1);
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2);
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2,
                PrintfArg a3);
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2,
                PrintfArg a3, PrintfArg a4);

/// Formats to `file` through a FilePrintfBuf (a null file writes nothing);
/// the result as for sp_sprintf. Write errors are not detected.
bool sp_fprintf(FILE *file, const char *format);
bool sp_fprintf(FILE *file, const char *format, PrintfArg a1);
bool sp_fprintf(FILE *file, const char *format, PrintfArg a1, PrintfArg a2);
bool sp_fprintf(FILE *file, const char *format, PrintfArg a1, PrintfArg a2, PrintfArg a3);
bool sp_fprintf(FILE *file, const char *format, PrintfArg a1, PrintfArg a2, PrintfArg a3,
                PrintfArg a4);

/// An estimate of the length of the C-library formatting of `format` with
/// `args` (not consumed: the walk uses a copy). Each conversion adds the
/// length of its text ('s', 'S'), at least its precision or 50 (floating),
/// 50 (integers, 'n'), 1 ('c'), 32 ('p') or 10 ('C'), and the total is then
/// raised to the field width; other characters add 1 each and "%%" adds
/// nothing. Only the flags '*', '+', '-' and '0' are known and length
/// modifiers are not read, so the arguments must match the format's
/// conversions one for one, as for vsnprintf. A null format gives 0.
int sp_EstimatePrintfBufferSize(const char *format, va_list args);
