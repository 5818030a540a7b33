// Transceiver endpoints on POSIX: each is a listening AF_UNIX stream socket
// in a private directory of the user, named by the endpoint's handle, with
// its title (the transceiver's name) in a file beside it so that a peer can
// find it by name without connecting. SOCK_STREAM rather than SEQPACKET:
// a record of a sequenced-packet socket must fit the socket buffer in one
// piece (about 208 KiB), while records here may be 256 MiB. Traffic is cut
// into frames (see ipc/MessageFrame_p.h).
//
// Every endpoint holds a FileLock on its socket path for its whole life, so
// a leftover socket is told from a live one without guessing: only when a
// connect is refused and the lock can be taken is the endpoint stale, and
// its files are removed under that lock.
//
// A connection ends when the peer process ends (the kernel closes its
// socket), which replaces any polling of the peer's process. Synchronous
// sends wait in poll(2) on this thread's endpoints only and handle sent
// records and handshakes that arrive meanwhile, as a thread waiting in a
// window-message send handles the messages sent to it; posted records wait
// in a queue for the thread's event loop.
#include "os/PlatformData_p.h"

#include "ipc/MessageFrame_p.h"
#include "ipc/PeerProblems_p.h"
#include "os/posix/PosixCalls_p.h"

#include "kvsupport/files/FileLock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <dirent.h>
#include <sys/un.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>

namespace kv::os {
namespace {

using kv::ipc::Frame;
using kv::ipc::FrameHeader;

constexpr size_t kPostQueueLimit = 16u << 20;
constexpr int kMaxTitleBytes = 255;

std::atomic<long> peerUidForTesting{-1};

void reportProblem(const std::string &what) { kv::ipc::reportPeerProblem(what); }

std::string socketPath(const std::string &dir, int handle) {
  return dir + "/" + std::to_string(handle);
}

bool fillAddress(const std::string &path, sockaddr_un *address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path)
    return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool peerUidOk(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
    return false;
  long uid = peerUidForTesting.load();
  if (uid < 0)
    uid = static_cast<long>(credentials.uid);
  return uid == static_cast<long>(::geteuid());
}

std::string readTitle(const std::string &path) {
  int fd = posix::openFile(path.c_str(), O_RDONLY);
  if (fd < 0)
    return std::string();
  char buffer[kMaxTitleBytes];
  ssize_t n = posix::retryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); });
  posix::closeFile(fd);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Replaced whole by a rename, so a reader never sees half a title.
void writeTitle(const std::string &path, const std::string &title) {
  std::string temporary = path + ".new";
  int fd = posix::openFile(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0)
    return;
  size_t length = std::min(title.size(), static_cast<size_t>(kMaxTitleBytes));
  bool ok =
      length == 0 || posix::writeAll(fd, title.data(), length) == static_cast<ssize_t>(length);
  posix::closeFile(fd);
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0)
    posix::unlinkPath(temporary.c_str());
}

enum class ConnectOutcome { Connected, Refused, Failed };

ConnectOutcome connectTo(const std::string &path, int *fdOut) {
  *fdOut = -1;
  sockaddr_un address;
  if (!fillAddress(path, &address))
    return ConnectOutcome::Failed;
  int fd = posix::openLocalSocket();
  if (fd < 0)
    return ConnectOutcome::Failed;
  if (posix::connectSocket(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    int error = errno;
    posix::closeFile(fd);
    return error == ECONNREFUSED ? ConnectOutcome::Refused : ConnectOutcome::Failed;
  }
  *fdOut = fd;
  return ConnectOutcome::Connected;
}

// A refused connect alone proves nothing (the endpoint may be between bind
// and listen); with its lock free, nobody holds the endpoint any more.
bool removeIfStale(const std::string &dir, int handle) {
  const std::string path = socketPath(dir, handle);
  FileLock lock;
  if (!lock.lock(YString(path.c_str())))
    return false;
  posix::unlinkPath(path.c_str());
  posix::unlinkPath((path + ".title").c_str());
  return true; // the lock file goes with the lock
}

bool parseHandle(const char *name, int *handle) {
  if (*name < '1' || *name > '9')
    return false;
  long value = 0;
  for (const char *at = name; *at; ++at) {
    if (*at < '0' || *at > '9' || value > 0x7FFFFFFF / 10)
      return false;
    value = value * 10 + (*at - '0');
  }
  if (value > 0x7FFFFFFF)
    return false;
  *handle = static_cast<int>(value);
  return true;
}

struct EndpointEntry {
  int handle;
  timespec made;
};

// The endpoints of the directory (sockets named by a handle), newest first.
std::vector<EndpointEntry> endpointEntries(const std::string &dir) {
  std::vector<EndpointEntry> entries;
  DIR *listing = ::opendir(dir.c_str());
  if (!listing)
    return entries;
  while (dirent *entry = ::readdir(listing)) {
    int handle;
    if (!parseHandle(entry->d_name, &handle))
      continue;
    struct stat info;
    if (posix::statLink(socketPath(dir, handle).c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
      continue;
    entries.push_back({handle, info.st_mtim});
  }
  ::closedir(listing);
  std::sort(entries.begin(), entries.end(), [](const EndpointEntry &a, const EndpointEntry &b) {
    if (a.made.tv_sec != b.made.tv_sec)
      return a.made.tv_sec > b.made.tv_sec;
    if (a.made.tv_nsec != b.made.tv_nsec)
      return a.made.tv_nsec > b.made.tv_nsec;
    return a.handle > b.handle;
  });
  return entries;
}

// One connection: its socket, what has been read of its incoming frames and
// what still waits to be written. Shared with the handlers running on it,
// so that an answer owed can still be written after the transceiver went.
struct Connection {
  explicit Connection(int descriptor) : fd(descriptor) {
    // Room for a large frame in one piece where the system allows it (it
    // caps the size at its own maximum): fewer wake-ups of both ends.
    int bytes = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    // How long a waiting write (flushQueue with `wait`) may block before
    // the writer looks at its incoming traffic again.
    timeval limit{0, 2000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
  ~Connection() {
    dropNotifiers();
    if (fd >= 0)
      posix::closeFile(fd);
  }
  void dropNotifiers() {
    delete readNotifier;
    delete writeNotifier;
    readNotifier = nullptr;
    writeNotifier = nullptr;
  }
  size_t queued() const { return queuedBytes; }
  // Copies the bytes still borrowed from a synchronous sender, whose buffer
  // is about to go.
  void ownBorrowed() {
    for (OutChunk &chunk : out)
      if (chunk.data != chunk.owned.data() && chunk.at < chunk.size) {
        chunk.owned.assign(chunk.data + chunk.at, chunk.size - chunk.at);
        chunk.data = chunk.owned.data();
        chunk.size = chunk.owned.size();
        chunk.at = 0;
      }
  }

  // Bytes waiting to be written: owned copies (posted frames, answers), or,
  // for a synchronous send, the sender's own buffer, which stays valid while
  // it waits: a large frame is then never copied.
  struct OutChunk {
    std::string owned;
    const char *data = nullptr;
    size_t size = 0;
    size_t at = 0;
  };
  void queueCopy(const char *bytes, size_t size) {
    OutChunk chunk;
    chunk.owned.assign(bytes, size);
    chunk.data = chunk.owned.data();
    chunk.size = size;
    out.push_back(std::move(chunk));
    out.back().data = out.back().owned.data(); // after the move
    queuedBytes += size;
  }
  void queueBorrowed(const char *bytes, size_t size) {
    OutChunk chunk;
    chunk.data = bytes;
    chunk.size = size;
    out.push_back(std::move(chunk));
    queuedBytes += size;
  }

  int fd;
  kv::ipc::FrameDecoder decoder;
  std::deque<OutChunk> out;
  size_t queuedBytes = 0;
  bool ended = false;      // end of stream, an error, or closed by us
  bool handshaken = false; // a connect record opened it
  uint64_t peerHandle = 0;
  QSocketNotifier *readNotifier = nullptr;
  QSocketNotifier *writeNotifier = nullptr;
};

using ConnectionRef = std::shared_ptr<Connection>;

// Writes what the socket takes of the queue; false when the connection broke.
// With `wait` (a synchronous send with nothing else to do) one write may
// wait briefly for room: a writer that only wrote when poll(2) reported the
// socket writable would wait each time until three quarters of the socket's
// buffer had drained, and large frames would crawl.
bool flushQueue(Connection &c, bool wait = false) {
  while (c.queued() > 0 && !c.ended) {
    iovec pieces[16];
    int count = 0;
    for (auto at = c.out.begin(); at != c.out.end() && count < 16; ++at)
      pieces[count++] = {const_cast<char *>(at->data + at->at), at->size - at->at};
    ssize_t n = wait ? posix::sendPiecesWaiting(c.fd, pieces, count)
                     : posix::sendPieces(c.fd, pieces, count);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        break;
      c.ended = true;
      break;
    }
    wait = false;
    size_t done = static_cast<size_t>(n);
    c.queuedBytes -= done;
    while (done > 0) {
      Connection::OutChunk &front = c.out.front();
      size_t take = std::min(done, front.size - front.at);
      front.at += take;
      done -= take;
      if (front.at == front.size)
        c.out.pop_front();
    }
  }
  if (c.writeNotifier)
    c.writeNotifier->setEnabled(c.queued() > 0 && !c.ended);
  return !c.ended;
}

// Reads to EAGAIN; false at the end of the stream or on an error.
bool readAvailable(Connection &c) {
  char scratch[65536];
  while (!c.ended && !c.decoder.bad()) {
    size_t directSize = 0;
    char *direct = c.decoder.directSpace(&directSize);
    iovec pieces[2];
    int count = 0;
    if (direct)
      pieces[count++] = {direct, directSize};
    pieces[count++] = {scratch, sizeof scratch};
    ssize_t n = posix::readVector(c.fd, pieces, count);
    if (n == 0) {
      c.ended = true;
      return false;
    }
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        return true;
      c.ended = true;
      return false;
    }
    size_t got = static_cast<size_t>(n);
    if (direct) {
      size_t inDirect = std::min(got, directSize);
      c.decoder.commitDirect(inDirect);
      got -= inDirect;
    }
    if (got > 0)
      c.decoder.append(scratch, got);
  }
  return !c.ended;
}

enum class Queued { Sent, Full, Broken };

// Writes a frame whose payload is `body` (pieces one after the other), or
// queues what the socket does not take now. With `limitQueue` (posts) a
// frame that would take the queue past its limit is refused, unless the
// queue is empty. With `borrow` the payload is not copied: the caller keeps
// it valid until the frame is written or it calls ownBorrowed.
Queued writeFrame(Connection &c, const FrameHeader &header, const iovec *body, int bodyCount,
                  bool limitQueue, bool borrow = false) {
  if (c.ended)
    return Queued::Broken;
  unsigned char head[kv::ipc::kFrameHeaderBytes];
  kv::ipc::encodeFrameHeader(header, head);
  size_t total = sizeof head + header.length;
  size_t sent = 0;
  if (c.queued() > 0) {
    if (limitQueue && c.queued() + total > kPostQueueLimit)
      return Queued::Full;
  } else {
    iovec pieces[1 + kMaxRecordPieces] = {{head, sizeof head}};
    int count = 1;
    for (int i = 0; i < bodyCount; ++i)
      if (body[i].iov_len > 0)
        pieces[count++] = body[i];
    ssize_t n = posix::sendPieces(c.fd, pieces, count);
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        c.ended = true;
        return Queued::Broken;
      }
      n = 0;
    }
    sent = static_cast<size_t>(n);
    if (sent == total)
      return Queued::Sent;
  }
  if (sent < sizeof head) {
    c.queueCopy(reinterpret_cast<char *>(head) + sent, sizeof head - sent);
    sent = 0;
  } else {
    sent -= sizeof head;
  }
  // What is left of the body, piece by piece.
  for (int i = 0; i < bodyCount; ++i) {
    const char *bytes = static_cast<const char *>(body[i].iov_base);
    const size_t size = body[i].iov_len;
    if (sent >= size) {
      sent -= size;
      continue;
    }
    if (borrow)
      c.queueBorrowed(bytes + sent, size - sent);
    else
      c.queueCopy(bytes + sent, size - sent);
    sent = 0;
  }
  if (c.writeNotifier)
    c.writeNotifier->setEnabled(true);
  return flushQueue(c) ? Queued::Sent : Queued::Broken;
}

Queued writeFrame(Connection &c, const FrameHeader &header, const void *payload, bool limitQueue,
                  bool borrow = false) {
  const iovec body{const_cast<void *>(payload), header.length};
  return writeFrame(c, header, &body, 1, limitQueue, borrow);
}

// Not a member: it runs after handlers, which may have deleted the endpoint.
void answer(const ConnectionRef &c, const Frame &frame, bool handled) {
  if (!(frame.header.flags & kv::ipc::kFrameAnswerWanted))
    return;
  FrameHeader header;
  header.kind = frame.header.kind;
  header.flags = kv::ipc::kFrameAnswer;
  header.sequence = frame.header.sequence;
  header.length = 1;
  const char result = handled ? 1 : 0;
  writeFrame(*c, header, &result, false);
}

class PlatformDataPosix;

// The endpoints of the current thread, a synchronous wait serves exactly
// these: an intrusive list, so that nothing of it is destroyed at thread
// exit before a static transceiver that is still to go.
thread_local PlatformDataPosix *threadEndpoints = nullptr;

class PlatformDataPosix final : public PlatformData {
public:
  PlatformDataPosix(DataMessageTranceiver *owner, const YString &name, const YString &peer,
                    const YString &processName);
  ~PlatformDataPosix() override;

  bool isConnected() override;
  bool connect(int peerHandle) override;
  bool sendMessage(const void *data, int length) override;
  bool sendMessage(UserDataMessage *message) override;
  bool sendMessagePieces(const RecordPiece *pieces, int count) override;
  bool postMessage(UserDataMessage *message) override;
  bool sendCommand(const YString &text, int mode) override;
  int getHandle() override { return handle_; }
  bool waitForMessage(int ms) override;
  bool setBlockWrites(bool) override { return false; }
  bool hasFatalError() override { return !fatal_.empty(); }
  YString getFatalMsg() override { return YString(fatal_.c_str()); }
  void resetConnection() override;
  void allowSetForegroundWindow() override {}

  // Serves one ready descriptor of this endpoint (from poll or a notifier).
  void serveListener();
  void serveConnection(const ConnectionRef &c, bool writable);
  int pollEntries(std::vector<pollfd> *fds,
                  std::vector<std::pair<PlatformDataPosix *, ConnectionRef>> *who);

private:
  struct Wait {
    Connection *connection;
    uint32_t sequence;
    bool done = false;
    bool handled = false;
  };
  struct Posted {
    kv::ipc::Payload record; // empty: the connection ended here
  };

  bool fail(TransceiverError why) {
    error = why;
    return false;
  }
  void makeEndpoint();
  void watch(const ConnectionRef &c);
  bool sendAndWait(uint16_t kind, const iovec *pieces, int count);
  bool sendAndWait(uint16_t kind, const void *payload, size_t length);
  bool awaitAnswer(const ConnectionRef &c, uint32_t sequence);
  bool tryConnect(int handle, bool viaTitle);
  bool handshake(const ConnectionRef &c);
  void handleFrame(const ConnectionRef &c, Frame &frame);
  void adoptPeer(const ConnectionRef &c, Frame &frame);
  bool adoptAnswer(const ConnectionRef &c, const kv::ipc::Payload &payload);
  void connectionEnded(const ConnectionRef &c);
  void closeConnection(const ConnectionRef &c);
  void markReceived();
  void scheduleDrain();
  void drainPosted();
  std::vector<char> ownConnectRecord(bool isAnswer) const;

  DataMessageTranceiver *owner_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::string dir_;
  std::string path_;
  std::string fatal_;
  int handle_ = 0;
  int listenFd_ = -1;
  FileLock lock_;
  QSocketNotifier *listenNotifier_ = nullptr;
  QObject *context_ = nullptr;         // target of queued calls; gone with us
  std::vector<ConnectionRef> pending_; // accepted, before their connect record
  ConnectionRef connection_;
  std::vector<Wait *> waits_;
  std::deque<Posted> posted_;
  bool drainScheduled_ = false;
  bool draining_ = false;
  bool received_ = false;
  QEventLoop *waitLoop_ = nullptr;
  uint32_t sequence_ = 0;

public:
  PlatformDataPosix *nextOnThread_ = nullptr;
};

bool onThisThread(const PlatformDataPosix *endpoint) {
  for (PlatformDataPosix *at = threadEndpoints; at; at = at->nextOnThread_)
    if (at == endpoint)
      return true;
  return false;
}

PlatformDataPosix::PlatformDataPosix(DataMessageTranceiver *owner, const YString &name,
                                     const YString &peer, const YString &processName)
    : owner_(owner) {
  ownName = name;
  peerName = peer;
  ownProcessName = processName;
  if (QCoreApplication::instance())
    context_ = new QObject;
  makeEndpoint();
  nextOnThread_ = threadEndpoints;
  threadEndpoints = this;
}

void PlatformDataPosix::makeEndpoint() {
  std::string problem;
  dir_ = endpointDirectory(&problem);
  if (dir_.empty()) {
    fatal_ = problem;
    return;
  }
  // Handles: the process id and a counter, so endpoints of one process and
  // of different processes never share a name. A handle whose lock is held
  // (the counter came round) is skipped.
  static std::atomic<unsigned> counter{0};
  const unsigned pid = static_cast<unsigned>(::getpid()) & 0x3FFFFF;
  for (int attempt = 0; attempt < 512 && handle_ == 0; ++attempt) {
    unsigned next = (counter++ & 0x1FF);
    int handle = static_cast<int>(pid << 9 | next);
    if (handle == 0)
      continue;
    std::string path = socketPath(dir_, handle);
    sockaddr_un address;
    if (!fillAddress(path, &address)) {
      fatal_ = "endpoint path too long for a local socket: " + path;
      return;
    }
    if (!lock_.lock(YString(path.c_str())))
      continue;
    // Ours now: a socket left here by an ended process of the same id goes.
    posix::unlinkPath(path.c_str());
    listenFd_ = posix::openLocalSocket();
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(listenFd_, 128) != 0) {
      fatal_ = std::string("cannot make endpoint ") + path + ": " + std::strerror(errno);
      if (listenFd_ >= 0)
        posix::closeFile(listenFd_);
      listenFd_ = -1;
      posix::unlinkPath(path.c_str());
      lock_.unlock();
      return;
    }
    handle_ = handle;
    path_ = path;
  }
  if (handle_ == 0) {
    fatal_ = "no free endpoint handle";
    return;
  }
  writeTitle(path_ + ".title", ownName.tocs());
  if (context_) {
    listenNotifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read);
    QObject::connect(listenNotifier_, &QSocketNotifier::activated, context_,
                     [this] { serveListener(); });
  }
}

PlatformDataPosix::~PlatformDataPosix() {
  *alive_ = false;
  for (PlatformDataPosix **at = &threadEndpoints; *at; at = &(*at)->nextOnThread_)
    if (*at == this) {
      *at = nextOnThread_;
      break;
    }
  delete listenNotifier_;
  delete context_;
  for (const ConnectionRef &c : pending_)
    c->dropNotifiers();
  if (connection_) {
    connection_->dropNotifiers();
    // Queued posts still go out, as far as the socket takes them now.
    flushQueue(*connection_);
  }
  if (listenFd_ >= 0) {
    posix::closeFile(listenFd_);
    posix::unlinkPath(path_.c_str());
    posix::unlinkPath((path_ + ".title").c_str());
  }
  lock_.unlock();
}

void PlatformDataPosix::watch(const ConnectionRef &c) {
  if (!context_)
    return;
  std::weak_ptr<Connection> weak = c;
  c->readNotifier = new QSocketNotifier(c->fd, QSocketNotifier::Read);
  QObject::connect(c->readNotifier, &QSocketNotifier::activated, context_, [this, weak] {
    if (ConnectionRef c = weak.lock())
      serveConnection(c, false);
  });
  c->writeNotifier = new QSocketNotifier(c->fd, QSocketNotifier::Write);
  c->writeNotifier->setEnabled(c->queued() > 0);
  QObject::connect(c->writeNotifier, &QSocketNotifier::activated, context_, [this, weak] {
    if (ConnectionRef c = weak.lock())
      serveConnection(c, true);
  });
}

std::vector<char> PlatformDataPosix::ownConnectRecord(bool isAnswer) const {
  kv::ipc::ConnectRecord record;
  record.size = isAnswer ? kv::ipc::kConnectRecordBytes : 0;
  record.handle = static_cast<uint64_t>(handle_);
  record.processId = static_cast<uint32_t>(::getpid());
  record.processName = ownProcessName.tocs();
  return kv::ipc::encodeConnectRecord(record);
}

bool PlatformDataPosix::isConnected() {
  if (!connection_ || connection_->ended || !connection_->handshaken)
    return false;
  pollfd probe{connection_->fd, POLLRDHUP, 0};
  if (posix::pollDescriptors(&probe, 1, 0) > 0 && (probe.revents & (POLLRDHUP | POLLHUP | POLLERR)))
    return false;
  return true;
}

void PlatformDataPosix::serveListener() {
  for (;;) {
    int fd = posix::acceptConnection(listenFd_);
    if (fd < 0)
      return;
    if (!peerUidOk(fd)) {
      reportProblem(std::string(ownName.tocs()) + ": refused a connection from another user");
      posix::closeFile(fd);
      continue;
    }
    auto c = std::make_shared<Connection>(fd);
    pending_.push_back(c);
    watch(c);
  }
}

void PlatformDataPosix::serveConnection(const ConnectionRef &c, bool writable) {
  std::shared_ptr<bool> alive = alive_;
  if (writable || c->queued() > 0)
    flushQueue(*c);
  readAvailable(*c);
  // Every complete frame, each taken from the decoder before it is handled,
  // so that a handler may come back here (a send waiting in it) safely.
  Frame frame;
  while (*alive && !c->decoder.bad() && c->decoder.take(&frame)) {
    handleFrame(c, frame);
    c->decoder.recycle(std::move(frame.payload));
  }
  if (!*alive)
    return;
  if (c->decoder.bad()) {
    reportProblem(std::string(ownName.tocs()) + ": closed a connection sending malformed frames");
    c->ended = true;
  }
  if (c->ended)
    connectionEnded(c);
}

void PlatformDataPosix::markReceived() {
  received_ = true;
  if (waitLoop_)
    waitLoop_->quit();
}

void PlatformDataPosix::handleFrame(const ConnectionRef &c, Frame &frame) {
  const FrameHeader &header = frame.header;
  const std::string who = ownName.tocs();
  if (header.flags & kv::ipc::kFrameAnswer) {
    // Late answers (their send timed out) find no wait and are dropped.
    for (Wait *wait : waits_)
      if (wait->connection == c.get() && wait->sequence == header.sequence && !wait->done) {
        wait->done = true;
        wait->handled = frame.payload.size() >= 1 && frame.payload[0] == 1;
        if (header.kind == kv::ipc::kKindConnect)
          wait->handled = adoptAnswer(c, frame.payload);
        break;
      }
    return;
  }
  if (header.kind == kv::ipc::kKindConnect) {
    adoptPeer(c, frame);
    return;
  }
  if (!c->handshaken) {
    reportProblem(who + ": closed a connection that did not open with a connect record");
    c->ended = true;
    return;
  }
  if (c != connection_) {
    answer(c, frame, false); // a connection replaced by a newer handshake
    return;
  }
  std::shared_ptr<bool> alive = alive_;
  const bool wantsAnswer = header.flags & kv::ipc::kFrameAnswerWanted;
  switch (header.kind) {
  case kv::ipc::kKindBytes:
    markReceived();
    kv::detail::TransceiverAccess::deliverBytes(
        owner_, frame.payload.empty() ? nullptr : frame.payload.data(),
        static_cast<int>(frame.payload.size()));
    answer(c, frame, true);
    return;
  case kv::ipc::kKindRecord: {
    if (!kv::ipc::checkUserRecord(frame.payload)) {
      reportProblem(who + ": dropped a message record whose size does not match its length");
      answer(c, frame, false);
      return;
    }
    auto *message = reinterpret_cast<UserDataMessage *>(frame.payload.data());
    message->posted = wantsAnswer ? 0 : 1;
    if (!wantsAnswer) {
      posted_.push_back(Posted{std::move(frame.payload)});
      scheduleDrain();
      return;
    }
    markReceived();
    kv::detail::TransceiverAccess::deliverRecord(
        owner_, message, frame.payload.data() + frame.payload.size(), alive, &frame.payload);
    answer(c, frame, true);
    return;
  }
  default:
    if (!kv::ipc::checkCommand(frame.payload)) {
      reportProblem(who + ": dropped an empty or unterminated command");
      answer(c, frame, false);
      return;
    }
    markReceived();
    kv::detail::TransceiverAccess::deliverCommand(owner_, YString(frame.payload.data()),
                                                  header.kind);
    answer(c, frame, true);
    return;
  }
}

// A connect record on connection `c`: the peer opens (or re-opens) the
// connection; it replaces any earlier peer.
void PlatformDataPosix::adoptPeer(const ConnectionRef &c, Frame &frame) {
  kv::ipc::ConnectRecord record;
  if (!kv::ipc::decodeConnectRecord(frame.payload, &record)) {
    reportProblem(std::string(ownName.tocs()) + ": dropped a malformed connect record");
    if (!c->handshaken)
      c->ended = true;
    else
      answer(c, frame, false);
    return;
  }
  pending_.erase(std::remove(pending_.begin(), pending_.end(), c), pending_.end());
  if (connection_ && connection_ != c)
    closeConnection(connection_);
  c->handshaken = true;
  c->peerHandle = record.handle;
  connection_ = c;
  peerProcessName = YString(record.processName.c_str());
  peerProcessId = static_cast<int>(record.processId);
  // The answer carries our own connect record.
  std::vector<char> reply = ownConnectRecord(true);
  FrameHeader header;
  header.kind = kv::ipc::kKindConnect;
  header.flags = kv::ipc::kFrameAnswer;
  header.sequence = frame.header.sequence;
  header.length = static_cast<uint32_t>(reply.size());
  writeFrame(*c, header, reply.data(), false);
  YString title = ownName;
  title &= "-Connected";
  writeTitle(path_ + ".title", title.tocs());
  markReceived();
  kv::detail::TransceiverAccess::deliverConnect(owner_, false);
}

void PlatformDataPosix::closeConnection(const ConnectionRef &c) {
  c->dropNotifiers();
  c->ended = true;
  if (c->fd >= 0)
    ::shutdown(c->fd, SHUT_RDWR);
}

void PlatformDataPosix::connectionEnded(const ConnectionRef &c) {
  auto at = std::find(pending_.begin(), pending_.end(), c);
  if (at != pending_.end()) {
    c->dropNotifiers();
    pending_.erase(at);
    return;
  }
  if (c != connection_)
    return;
  c->dropNotifiers();
  connection_.reset();
  // The end is reported after the records posted before it.
  posted_.push_back(Posted{});
  scheduleDrain();
}

void PlatformDataPosix::scheduleDrain() {
  if (drainScheduled_ || !context_)
    return;
  drainScheduled_ = true;
  QMetaObject::invokeMethod(
      context_, [this] { drainPosted(); }, Qt::QueuedConnection);
}

void PlatformDataPosix::drainPosted() {
  drainScheduled_ = false;
  if (draining_)
    return; // a handler's own event loop: the outer drain goes on
  draining_ = true;
  std::shared_ptr<bool> alive = alive_;
  while (!posted_.empty()) {
    Posted item = std::move(posted_.front());
    posted_.pop_front();
    if (item.record.empty()) {
      // The connection that ended was dropped at once; one current now is a
      // newer one, which its predecessor's end must not tear down.
      if (!connection_)
        kv::detail::TransceiverAccess::deliverExit(owner_);
    } else {
      markReceived();
      kv::detail::TransceiverAccess::deliverRecord(
          owner_, reinterpret_cast<UserDataMessage *>(item.record.data()),
          item.record.data() + item.record.size(), alive, &item.record);
    }
    if (!*alive)
      return;
  }
  draining_ = false;
}

int PlatformDataPosix::pollEntries(
    std::vector<pollfd> *fds, std::vector<std::pair<PlatformDataPosix *, ConnectionRef>> *who) {
  int added = 0;
  if (listenFd_ >= 0) {
    fds->push_back({listenFd_, POLLIN, 0});
    who->push_back({this, nullptr});
    ++added;
  }
  auto add = [&](const ConnectionRef &c) {
    if (c->ended)
      return;
    short events = POLLIN;
    if (c->queued() > 0)
      events |= POLLOUT;
    fds->push_back({c->fd, events, 0});
    who->push_back({this, c});
    ++added;
  };
  for (const ConnectionRef &c : pending_)
    add(c);
  if (connection_)
    add(connection_);
  return added;
}

bool PlatformDataPosix::awaitAnswer(const ConnectionRef &c, uint32_t sequence) {
  std::shared_ptr<bool> alive = alive_;
  Wait wait{c.get(), sequence};
  waits_.push_back(&wait);
  const int timeoutMs = kv::detail::TransceiverAccess::sendTimeout(owner_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  TransceiverError outcome = TransceiverOk;
  std::vector<pollfd> fds;
  std::vector<std::pair<PlatformDataPosix *, ConnectionRef>> who;
  for (;;) {
    if (wait.done)
      break;
    if (c->ended || (c != connection_ && c->handshaken)) {
      outcome = TransceiverPeerGone;
      break;
    }
    int remaining = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) {
        outcome = TransceiverTimedOut;
        break;
      }
      remaining = static_cast<int>(left);
    }
    if (c->queued() > 0) {
      flushQueue(*c, true);
      if (c->queued() > 0)
        remaining = 0; // more to write: look at incoming traffic, then go on
    }
    fds.clear();
    who.clear();
    for (PlatformDataPosix *endpoint = threadEndpoints; endpoint;
         endpoint = endpoint->nextOnThread_)
      endpoint->pollEntries(&fds, &who);
    // The connection being answered on may be a fresh one, not yet adopted.
    if (std::none_of(who.begin(), who.end(),
                     [&](const auto &entry) { return entry.second == c; })) {
      fds.push_back({c->fd, static_cast<short>(POLLIN | (c->queued() ? POLLOUT : 0)), 0});
      who.push_back({this, c});
    }
    if (posix::pollDescriptors(fds.data(), fds.size(), remaining) <= 0)
      continue;
    for (size_t i = 0; i < fds.size() && *alive && !wait.done; ++i) {
      if (!fds[i].revents)
        continue;
      PlatformDataPosix *endpoint = who[i].first;
      // A handler may have deleted any endpoint of this thread.
      if (!onThisThread(endpoint))
        continue;
      if (who[i].second)
        endpoint->serveConnection(who[i].second, fds[i].revents & POLLOUT);
      else
        endpoint->serveListener();
    }
    if (!*alive)
      return false; // our transceiver went during a handler
  }
  waits_.erase(std::remove(waits_.begin(), waits_.end(), &wait), waits_.end());
  if (outcome != TransceiverOk)
    return fail(outcome);
  if (!wait.handled)
    return fail(TransceiverBadArgument);
  error = TransceiverOk;
  return true;
}

bool PlatformDataPosix::sendAndWait(uint16_t kind, const iovec *pieces, int count) {
  size_t length = 0;
  for (int i = 0; i < count; ++i)
    length += pieces[i].iov_len;
  if (length > kv::ipc::kMaxFramePayload)
    return fail(TransceiverTooLarge);
  if (!isConnected())
    return fail(connection_ ? TransceiverPeerGone : TransceiverNotConnected);
  ConnectionRef c = connection_;
  FrameHeader header;
  header.kind = kind;
  header.flags = kv::ipc::kFrameAnswerWanted;
  header.sequence = ++sequence_;
  header.length = static_cast<uint32_t>(length);
  if (writeFrame(*c, header, pieces, count, false, true) != Queued::Sent) {
    c->ownBorrowed();
    return fail(TransceiverPeerGone);
  }
  // The answer comes only after the whole frame went out; on a time-out or
  // a broken connection what is left of it must not point at the caller's
  // buffers any more.
  bool ok = awaitAnswer(c, header.sequence);
  c->ownBorrowed();
  return ok;
}

bool PlatformDataPosix::sendAndWait(uint16_t kind, const void *payload, size_t length) {
  const iovec piece{const_cast<void *>(payload), length};
  return sendAndWait(kind, &piece, 1);
}

bool PlatformDataPosix::sendMessage(const void *data, int length) {
  return sendAndWait(kv::ipc::kKindBytes, data, static_cast<size_t>(length));
}

bool PlatformDataPosix::sendMessage(UserDataMessage *message) {
  message->posted = 0;
  return sendAndWait(kv::ipc::kKindRecord, message, message->size);
}

bool PlatformDataPosix::sendMessagePieces(const RecordPiece *pieces, int count) {
  iovec body[kMaxRecordPieces];
  for (int i = 0; i < count; ++i)
    body[i] = {const_cast<void *>(pieces[i].data), pieces[i].bytes};
  return sendAndWait(kv::ipc::kKindRecord, body, count);
}

bool PlatformDataPosix::sendCommand(const YString &text, int mode) {
  return sendAndWait(static_cast<uint16_t>(mode), text.tocs(),
                     static_cast<size_t>(text.length()) + 1);
}

bool PlatformDataPosix::postMessage(UserDataMessage *message) {
  message->posted = 1;
  if (message->size > kv::ipc::kMaxFramePayload)
    return fail(TransceiverTooLarge);
  if (!isConnected())
    return fail(connection_ ? TransceiverPeerGone : TransceiverNotConnected);
  FrameHeader header;
  header.kind = kv::ipc::kKindRecord;
  header.sequence = ++sequence_;
  header.length = message->size;
  switch (writeFrame(*connection_, header, message, true)) {
  case Queued::Sent:
    error = TransceiverOk;
    return true;
  case Queued::Full:
    return fail(TransceiverQueueFull);
  case Queued::Broken:
    break;
  }
  return fail(TransceiverPeerGone);
}

bool PlatformDataPosix::handshake(const ConnectionRef &c) {
  std::vector<char> request = ownConnectRecord(false);
  FrameHeader header;
  header.kind = kv::ipc::kKindConnect;
  header.flags = kv::ipc::kFrameAnswerWanted;
  header.sequence = ++sequence_;
  header.length = static_cast<uint32_t>(request.size());
  if (writeFrame(*c, header, request.data(), false) != Queued::Sent)
    return fail(TransceiverPeerGone);
  std::shared_ptr<bool> alive = alive_;
  if (!awaitAnswer(c, header.sequence))
    return false;
  error = TransceiverOk;
  kv::detail::TransceiverAccess::deliverConnect(owner_, true);
  return *alive;
}

// The peer's answer to our connect record, on connection `c`: from now on
// `c` is the connection (frames behind the answer belong to it already).
bool PlatformDataPosix::adoptAnswer(const ConnectionRef &c, const kv::ipc::Payload &payload) {
  kv::ipc::ConnectRecord record;
  if (!kv::ipc::decodeConnectRecord(payload, &record))
    return false;
  if (connection_ && connection_ != c)
    closeConnection(connection_);
  pending_.erase(std::remove(pending_.begin(), pending_.end(), c), pending_.end());
  c->handshaken = true;
  c->peerHandle = record.handle;
  if (connection_ != c) {
    connection_ = c;
    watch(c);
  }
  peerProcessName = YString(record.processName.c_str());
  peerProcessId = static_cast<int>(record.processId);
  return true;
}

bool PlatformDataPosix::tryConnect(int handle, bool viaTitle) {
  int fd = -1;
  switch (connectTo(socketPath(dir_, handle), &fd)) {
  case ConnectOutcome::Connected:
    break;
  case ConnectOutcome::Refused:
    if (viaTitle)
      removeIfStale(dir_, handle);
    return false;
  case ConnectOutcome::Failed:
    return false;
  }
  if (!peerUidOk(fd)) {
    reportProblem(std::string(ownName.tocs()) + ": refused an endpoint of another user");
    posix::closeFile(fd);
    return false;
  }
  auto c = std::make_shared<Connection>(fd);
  if (handshake(c))
    return true;
  closeConnection(c);
  return false;
}

bool PlatformDataPosix::connect(int peerHandle) {
  if (!fatal_.empty())
    return fail(TransceiverNotConnected);
  // A live connection to that peer is opened again on the same socket.
  if (isConnected() &&
      (peerHandle == 0 || static_cast<uint64_t>(peerHandle) == connection_->peerHandle))
    return handshake(connection_);
  if (peerHandle != 0) {
    if (peerHandle != handle_ && tryConnect(peerHandle, false))
      return true;
    return fail(TransceiverNotConnected);
  }
  const std::string wanted = peerName.tocs();
  for (const EndpointEntry &entry : endpointEntries(dir_)) {
    if (entry.handle == handle_ || readTitle(socketPath(dir_, entry.handle) + ".title") != wanted)
      continue;
    if (tryConnect(entry.handle, true))
      return true;
  }
  return fail(TransceiverNotConnected);
}

void PlatformDataPosix::resetConnection() {
  if (connection_) {
    closeConnection(connection_);
    connection_.reset();
  }
  peerProcessName = YString();
  peerProcessId = 0;
  if (!path_.empty())
    writeTitle(path_ + ".title", ownName.tocs());
}

bool PlatformDataPosix::waitForMessage(int ms) {
  received_ = false;
  if (!context_)
    return false;
  std::shared_ptr<bool> alive = alive_;
  if (ms <= 0) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return *alive && received_;
  }
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(ms);
  QEventLoop *outer = waitLoop_;
  waitLoop_ = &loop;
  loop.exec();
  if (!*alive)
    return true;
  waitLoop_ = outer;
  return received_;
}

} // namespace

PlatformData *createPlatformData(DataMessageTranceiver *owner, const YString &name,
                                 const YString &peerName, const YString &processName) {
  return new PlatformDataPosix(owner, name, peerName, processName);
}

std::string endpointDirectory(std::string *error) {
  std::string dir;
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    dir = std::string(runtime) + "/kvsupport";
  } else {
    const char *temporary = std::getenv("TMPDIR");
    dir = std::string(temporary && temporary[0] == '/' ? temporary : "/tmp") + "/kvsupport-" +
          std::to_string(::geteuid());
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot make the endpoint directory " + dir + ": " + std::strerror(errno);
    return std::string();
  }
  // Planted by someone else, opened to others, or a link elsewhere: refused.
  struct stat info;
  if (posix::statLink(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
    *error = "the endpoint directory " + dir + " is not a private directory of this user";
    return std::string();
  }
  return dir;
}

std::vector<std::pair<int, std::string>> listEndpoints(int *removed) {
  std::vector<std::pair<int, std::string>> live;
  int stale = 0;
  std::string problem;
  const std::string dir = endpointDirectory(&problem);
  if (!dir.empty())
    for (const EndpointEntry &entry : endpointEntries(dir)) {
      int fd = -1;
      ConnectOutcome outcome = connectTo(socketPath(dir, entry.handle), &fd);
      if (fd >= 0)
        posix::closeFile(fd); // a connection without a connect record: dropped quietly
      if (outcome == ConnectOutcome::Refused && removeIfStale(dir, entry.handle)) {
        ++stale;
        continue;
      }
      live.emplace_back(entry.handle, readTitle(socketPath(dir, entry.handle) + ".title"));
    }
  if (removed)
    *removed = stale;
  return live;
}

void setPeerUidForTesting(long uid) { peerUidForTesting = uid; }

YString executableBaseName() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0)
    return YString();
  path[n] = '\0';
  const char *base = std::strrchr(path, '/');
  base = base ? base + 1 : path;
  const char *dot = std::strrchr(base, '.');
  return dot && dot != base ? YString(base, static_cast<int>(dot - base)) : YString(base);
}

} // namespace kv::os
