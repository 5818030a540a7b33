#pragma once

#include "kvsupport/containers/YRef.h"
#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/streams/kvbuf.h"
#include "kvsupport/streams/kvstream.h"

/// A buffer whose writes become text messages of a handler: each write
/// counts one text message and reaches the handler's output as MT_TEXT.
/// Reading gives nothing.
class kvstdbuf : public kvbuf {
public:
  explicit kvstdbuf(const YRef<MessageHandler> &handler) : handler_(handler) {}
  bool eof() override { return false; }
  bool fail() override { return false; }
  int get() override { return 0; }
  size_t read(char *, size_t) override { return 0; }
  size_t write(const char *data, size_t size) override;
  explicit operator bool() override { return true; }

protected:
  virtual MessageType messageType() const { return MT_TEXT; }

private:
  YRef<MessageHandler> handler_;
};

/// As kvstdbuf, with the messages marked as HTML (MT_HTML).
class kvstdbuf_html : public kvstdbuf {
public:
  using kvstdbuf::kvstdbuf;

protected:
  MessageType messageType() const override { return MT_HTML; }
};

/// A stream whose output becomes text messages of a handler (by default the
/// default message handler).
class kvstdstream : public kvstream {
public:
  kvstdstream();
  explicit kvstdstream(const YRef<MessageHandler> &handler);
};

/// As kvstdstream, with HTML messages.
class kvstdstream_html : public kvstream {
public:
  kvstdstream_html();
  explicit kvstdstream_html(const YRef<MessageHandler> &handler);
};
