#include "kvsupport/streams/MessageReporting.h"

#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/strings/StringPrintfBuf.h"
#include "kvsupport/support/KelvantaException.h"

#include <cstdarg>
#include <string>

YRef<MessageHandler> sp_GetDefaultMessageHandler() {
  // Looked up once: hosts register the function for the life of the process.
  static const auto hostHandler = reinterpret_cast<GetDefaultMessageHandlerFunction>(
      support_GetDynamicFunction(YString("getDefaultMessageHandler")));
  if (hostHandler) {
    YRef<MessageHandler> handler = hostHandler();
    if (handler)
      return handler;
  }
  static const YRef<MessageHandler> discarding(new NullMessageHandler());
  return discarding;
}

void kv_printf(const char *format, const PrintfArg &a1, const PrintfArg &a2, const PrintfArg &a3,
               const PrintfArg &a4) {
  sp_GetDefaultMessageHandler()->printf(format, a1, a2, a3, a4);
}

void kv_error(const char *format, const PrintfArg &a1, const PrintfArg &a2) {
  sp_GetDefaultMessageHandler()->error(format, a1, a2);
}

void kv_fprintf(std::FILE *file, const char *format, const PrintfArg &a1, const PrintfArg &a2,
                const PrintfArg &a3, const PrintfArg &a4) {
  sp_GetDefaultMessageHandler()->fprintf(file, format, a1, a2, a3, a4);
}

void kv_fprintf_array(std::FILE *file, const char *format, const YArray<PrintfArg> &args) {
  sp_GetDefaultMessageHandler()->fprintf(file, format, args);
}

void internal_error(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                    const PrintfArg &a3) {
  sp_GetDefaultMessageHandler()->unexpected(format, a1, a2, a3);
}

void check_error(const char *test, const char *module, int line) {
  sp_GetDefaultMessageHandler()->unexpected("Test %s failed in module %s, line %d", test, module,
                                            line);
}

void sp_Assert(const char *expression, const char *file, int line) {
  std::string message = std::string("Assert failed: ") + (expression ? expression : "") +
                        " in file " + (file ? file : "") + " line " + std::to_string(line);
  if (message.size() > 999)
    message.resize(999);
  throw KelvantaException(KelvantaException::InternalError, message.c_str());
}

void sp_WriteErrorList(YList<YString> *list, const char *format, const PrintfArg &a1,
                       const PrintfArg &a2, const PrintfArg &a3, const PrintfArg &a4) {
  if (!list)
    return;
  VarStringPrintfBuf buffer;
  buffer.printf(format ? format : "", a1, a2, a3, a4);
  list->prepend(YString(YString("*** ERROR *** ").concat(buffer.getBuffer())));
}

void sp_AddError(YList<YString> *list, const char *format, ...) {
  if (!list || !format)
    return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args); // cuts, always terminates
  va_end(args);
  for (const YString &known : *list)
    if (sp_stricmp(known.tocs(), text) == 0)
      return;
  list->prepend(YString(text));
}
