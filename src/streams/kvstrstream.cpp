#include "kvsupport/streams/kvstrstream.h"

#include "kvsupport/streams/kvstrbuf.h"

kvstrstream::kvstrstream() { setBuffer(new kvstrbuf()); }
kvstrstream::kvstrstream(const char *text) { setBuffer(new kvstrbuf(text)); }
kvstrstream::kvstrstream(const char *text, int size) { setBuffer(new kvstrbuf(text, size)); }

// After transferBuffer the stream may hold another kind of buffer, or none.
kvstrbuf *kvstrstream::stringBuffer() const { return dynamic_cast<kvstrbuf *>(rdbuf()); }

int kvstrstream::getNumBytes() const {
  kvstrbuf *buffer = stringBuffer();
  return buffer ? buffer->getNumBytes() : 0;
}

const char *kvstrstream::getString() const {
  kvstrbuf *buffer = stringBuffer();
  return buffer ? buffer->getString() : "";
}

void kvstrstream::flush() {
  if (kvstrbuf *buffer = stringBuffer())
    buffer->flush();
}

void kvstrstream::makeBuffer() { setBuffer(new kvstrbuf()); }
