#pragma once

#include "kvsupport/streams/kvstream.h"

class kvstrbuf;

/// A stream over an in-memory text (a kvstrbuf).
class kvstrstream : public kvstream {
public:
  kvstrstream();
  /// Reads the C text; null gives an empty stream.
  explicit kvstrstream(const char *text);
  /// Reads the first `size` bytes of `text`.
  kvstrstream(const char *text, int size);

  int getNumBytes() const;
  /// The whole text written or given.
  const char *getString() const;
  /// Empties the text.
  void flush();
  void makeBuffer() override;

private:
  kvstrbuf *stringBuffer() const;
};
