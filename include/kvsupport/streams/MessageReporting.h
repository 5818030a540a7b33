#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/containers/YList.h"
#include "kvsupport/containers/YRef.h"
#include "kvsupport/strings/PrintfArg.h"
#include "kvsupport/strings/YString.h"

#include <cstdio>

class MessageHandler;

/// The host's handler offered through the dynamic function
/// "getDefaultMessageHandler".
using GetDefaultMessageHandlerFunction = YRef<MessageHandler> (*)();

/// The handler messages go to now: the host's (asked on every call through
/// "getDefaultMessageHandler", looked up once), or, when the host has none
/// or returns an empty reference, a process-wide handler that discards.
YRef<MessageHandler> sp_GetDefaultMessageHandler();

/// Plain text to the default handler.
void kv_printf(const char *format, const PrintfArg &a1 = PrintfArg(),
               const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
               const PrintfArg &a4 = PrintfArg());
/// An error to the default handler.
void kv_error(const char *format, const PrintfArg &a1 = PrintfArg(),
              const PrintfArg &a2 = PrintfArg());
/// The default handler's fprintf.
void kv_fprintf(std::FILE *file, const char *format, const PrintfArg &a1 = PrintfArg(),
                const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
                const PrintfArg &a4 = PrintfArg());
void kv_fprintf_array(std::FILE *file, const char *format, const YArray<PrintfArg> &args);
/// An unexpected (internal) error to the default handler.
void internal_error(const char *format, const PrintfArg &a1 = PrintfArg(),
                    const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg());
/// Reports "Test <test> failed in module <module>, line <line>" as unexpected.
void check_error(const char *test, const char *module, int line);
/// Throws KelvantaException code 8: "Assert failed: <expression> in file
/// <file> line <line>", cut to 999 characters.
[[noreturn]] void sp_Assert(const char *expression, const char *file, int line);
/// Formats and inserts "*** ERROR *** " and the text at the front of `list`.
void sp_WriteErrorList(YList<YString> *list, const char *format, const PrintfArg &a1 = PrintfArg(),
                       const PrintfArg &a2 = PrintfArg(), const PrintfArg &a3 = PrintfArg(),
                       const PrintfArg &a4 = PrintfArg());
/// Formats (at most 511 characters kept) and inserts the text at the front of
/// `list`, unless the list already holds it (compared without regard to case).
void sp_AddError(YList<YString> *list, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
