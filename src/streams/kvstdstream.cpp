#include "kvsupport/streams/kvstdstream.h"

#include "kvsupport/streams/MessageReporting.h"

size_t kvstdbuf::write(const char *data, size_t size) {
  if (!handler_)
    return size;
  YString text(data, static_cast<int>(size));
  handler_->recordMessageType(messageType());
  handler_->output(messageType(), text);
  return size;
}

kvstdstream::kvstdstream() : kvstdstream(sp_GetDefaultMessageHandler()) {}
kvstdstream::kvstdstream(const YRef<MessageHandler> &handler) { setBuffer(new kvstdbuf(handler)); }

kvstdstream_html::kvstdstream_html() : kvstdstream_html(sp_GetDefaultMessageHandler()) {}
kvstdstream_html::kvstdstream_html(const YRef<MessageHandler> &handler) {
  setBuffer(new kvstdbuf_html(handler));
}
