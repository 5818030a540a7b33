#include "kvsupport/streams/kvfbuf_async.h"

#include "kvsupport/ipc/SharedBlockManager.h"
#include "os/StdioFile_p.h"
#include "streams/SharedBlockWriter_p.h"
#include "streams/WriteBlockPool_p.h"

#include <QThread>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <atomic>
#include <cstring>

// The writer: a thread that performs the queued items of one buffer in
// order. It stays while the buffer has a file, sleeping between batches, so
// a burst of writes after a flush does not pay for starting a thread; the
// buffer stops it when it waits for the file (close, open, detach).
//
// The end of the writer is published through an atomic that `join` reads
// after QThread::wait: Qt waits on a futex of its own, which ThreadSanitizer
// does not see, so without it the writer's last reads of the buffer would
// seem to race with whatever reuses the buffer's memory afterwards.
class AsyncFBufThread : public QThread {
public:
  explicit AsyncFBufThread(kvfbuf_async *buffer) : buffer_(buffer) {}
  ~AsyncFBufThread() override { wait(); }

  /// Waits until the writer has ended (at once when it is not running).
  void join() {
    wait();
    (void)ended_.load(std::memory_order_acquire);
  }

protected:
  void run() override {
    buffer_->writerLoop();
    ended_.store(true, std::memory_order_release);
  }

private:
  kvfbuf_async *buffer_;
  std::atomic<bool> ended_{false};
};

namespace {

// Writes this small while nothing is pending go straight to the file.
constexpr size_t kDirectWriteLimit = 128;
// Bytes of copied data that may wait for the writer before a producer waits.
constexpr int64_t kMaxPendingBytes = 4 << 20;
// A producer that had to wait goes on once the writer is down to this much:
// it then refills half the window at a go instead of waking for every item.
constexpr int64_t kResumePendingBytes = kMaxPendingBytes / 2;
// The queue is compacted when this many finished slots precede its head and
// they outnumber the pending items twice over.
constexpr int64_t kCompactAfter = 32;
// The writer writes at most this many items, and this many bytes, with one
// gathered write. A run takes no more than half the window, so a producer
// waiting for the writer to get down to half is woken while the writer
// still has items queued, and the writer does not run dry between runs.
constexpr int kMaxRunItems = 32;
constexpr int64_t kMaxRunBytes = kResumePendingBytes;
// Copies this large may bypass the caches (see copyForWriter).
constexpr size_t kStreamingFrom = 256 << 10;

std::atomic<int32_t> gItemSerial{0};

// Copies the caller's bytes into a block for the writer. Large copies bypass
// the caches: a reused block was last read by the writer's core, and an
// ordinary copy would first fetch every line of it back from there.
void copyForWriter(char *to, const char *from, size_t size) {
#if defined(__SSE2__)
  if (size >= kStreamingFrom) {
    size_t head = (16 - reinterpret_cast<uintptr_t>(to) % 16) % 16;
    std::memcpy(to, from, head);
    size_t i = head;
    for (; i + 64 <= size; i += 64) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i + 16));
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i + 32));
      __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i + 48));
      _mm_stream_si128(reinterpret_cast<__m128i *>(to + i), a);
      _mm_stream_si128(reinterpret_cast<__m128i *>(to + i + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i *>(to + i + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i *>(to + i + 48), d);
    }
    _mm_sfence();
    std::memcpy(to + i, from + i, size - i);
    return;
  }
#endif
  std::memcpy(to, from, size);
}

} // namespace

kvfbuf_async::kvfbuf_async()
    : queue_(10), heldHeaps_(new YVector<SharedBlockToken>()), thread_(new AsyncFBufThread(this)) {}

kvfbuf_async::kvfbuf_async(std::FILE *file)
    : kvfbuf(file), queue_(10), heldHeaps_(new YVector<SharedBlockToken>()),
      thread_(new AsyncFBufThread(this)) {
  callerPosition_ = file ? std::max<int64_t>(kv::os::tellStdioFile(file), 0) : 0;
  writerPosition_ = logicalEnd_ = callerPosition_;
}

kvfbuf_async::kvfbuf_async(const char *path, int mode, bool lock)
    : queue_(10), heldHeaps_(new YVector<SharedBlockToken>()), thread_(new AsyncFBufThread(this)) {
  open(path, mode, lock);
}

kvfbuf_async::~kvfbuf_async() { close(); }

// ---- the writer -----------------------------------------------------------------

void kvfbuf_async::writerLoop() {
  std::unique_lock<std::mutex> lock(queueLock_);
  AsyncWriteQueueItem run[kMaxRunItems];
  for (;;) {
    queueChanged_.wait(lock, [this] { return stopping_ || head_ <= tail_; });
    if (head_ > tail_)
      return; // stopping, and everything is written
    // The items are copied: the caller may grow the queue meanwhile.
    int count = takeRun(run);
    lock.unlock();
    if (count == 1)
      runCommand(run[0]);
    else
      writeRun(run, count);
    lock.lock();
    for (int i = 0; i < count; ++i) {
      if (run[i].command == AsyncWriteQueueItem::WriteData) {
        pendingBytes_ -= run[i].count;
        kv::streams::WriteBlockPool::instance().give(const_cast<char *>(run[i].data),
                                                     static_cast<size_t>(run[i].capacity));
      }
      queue_[head_++] = AsyncWriteQueueItem();
    }
    bool drained = head_ > tail_;
    if (drained) {
      head_ = 0;
      tail_ = -1;
    }
    if (drained || (producerWaiting_ && pendingBytes_ <= kResumePendingBytes))
      queueChanged_.notify_all();
  }
}

// Takes the items at the head that the writer can write in one go: data
// that follows on in the file, up to a bound. Other items go alone.
int kvfbuf_async::takeRun(AsyncWriteQueueItem *run) {
  int count = 0;
  int64_t bytes = 0;
  for (int64_t at = head_; at <= tail_ && count < kMaxRunItems; ++at) {
    const AsyncWriteQueueItem &item = queue_[at];
    if (count > 0) {
      const AsyncWriteQueueItem &last = run[count - 1];
      bool followsOn = item.command == AsyncWriteQueueItem::WriteData &&
                       last.command == AsyncWriteQueueItem::WriteData &&
                       item.position == last.position + last.count;
      if (!followsOn || bytes + item.count > kMaxRunBytes)
        break;
    }
    queue_[at].inProgress = true;
    run[count++] = item;
    bytes += item.count;
  }
  return count;
}

// Moves the file to `position` for the writer; false when it cannot be
// placed there. Bytes meant for a position the file cannot reach are not
// written anywhere else; the failure is reported through writeFailed().
bool kvfbuf_async::setFilePointer(int64_t position) {
  if (position == writerPosition_)
    return true;
  bool placed = file() && kv::os::seekStdioFile(file(), position, 0) == 0;
  writerPosition_ = placed ? position : -1;
  if (!placed)
    setWriteFailed();
  return placed;
}

void kvfbuf_async::runCommand(const AsyncWriteQueueItem &item) {
  std::lock_guard<std::mutex> lock(fileLock_);
  if (item.command == AsyncWriteQueueItem::SyncData) {
    kvfbuf::syncData();
    return;
  }
  bool placed = setFilePointer(item.position);
  size_t written = placed ? kvfbuf::write(item.data, static_cast<size_t>(item.count)) : 0;
  writerPosition_ += placed ? static_cast<int64_t>(written) : 0;
  // A shared block was taken when its item was queued; the writer gives it back.
  if (item.command == AsyncWriteQueueItem::WriteSharedBlock)
    kv::streams::returnSharedBlock(
        kv::streams::TakenSharedBlock{item.manager, item.blockIndex, item.data, item.count});
}

// Writes data items that follow on in the file with one gathered write.
void kvfbuf_async::writeRun(const AsyncWriteQueueItem *run, int count) {
  std::lock_guard<std::mutex> lock(fileLock_);
  if (!setFilePointer(run[0].position))
    return;
  kv::os::WritePiece pieces[kMaxRunItems];
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    pieces[i] = {run[i].data, static_cast<size_t>(run[i].count)};
    total += pieces[i].size;
  }
  size_t written = kv::os::writeStdioFilePieces(file(), pieces, static_cast<size_t>(count));
  writerPosition_ += static_cast<int64_t>(written);
  if (written < total)
    setWriteFailed();
}

// ---- the caller's side -------------------------------------------------------------

void kvfbuf_async::queueItem(const AsyncWriteQueueItem &item) {
  idle_ = false;
  {
    std::unique_lock<std::mutex> lock(queueLock_);
    // A producer past the pending limit waits until the writer is down to
    // half of it, so the queue never holds unbounded memory.
    if (item.command == AsyncWriteQueueItem::WriteData) {
      if (pendingBytes_ > kMaxPendingBytes) {
        producerWaiting_ = true;
        queueChanged_.wait(lock, [this] { return pendingBytes_ <= kResumePendingBytes; });
        producerWaiting_ = false;
      }
      pendingBytes_ += item.count;
    }
    int64_t pending = pendingCount();
    if (head_ > kCompactAfter && pending > 0 && head_ / pending > 2) {
      for (int64_t i = 0; i < pending; ++i)
        queue_[i] = queue_[head_ + i];
      head_ = 0;
      tail_ = pending - 1;
    }
    AsyncWriteQueueItem queued = item;
    queued.serial = ++gItemSerial;
    if (tail_ + 1 < queue_.size())
      queue_[tail_ + 1] = queued;
    else
      queue_.append(queued);
    ++tail_;
  }
  queueChanged_.notify_one();
  if (!thread_->isRunning()) {
    stopping_ = false;
    thread_->start();
  }
}

void kvfbuf_async::waitForWriter() {
  if (idle_)
    return;
  {
    std::unique_lock<std::mutex> lock(queueLock_);
    queueChanged_.wait(lock, [this] { return head_ > tail_; });
  }
  idle_ = true;
  heldHeaps_->clear();
  // From now on the caller uses the file directly, at its own position.
  std::lock_guard<std::mutex> lock(fileLock_);
  if (file() && writerPosition_ != callerPosition_)
    kv::os::seekStdioFile(file(), callerPosition_, 0);
  writerPosition_ = callerPosition_;
  lastWasWrite_ = true;
}

void kvfbuf_async::stopWriter() {
  waitForWriter();
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    stopping_ = true;
  }
  queueChanged_.notify_all();
  thread_->join();
}

void kvfbuf_async::advanceCaller(int64_t bytes) {
  callerPosition_ += bytes;
  logicalEnd_ = std::max(logicalEnd_, callerPosition_);
}

void kvfbuf_async::resetPositions() {
  callerPosition_ = writerPosition_ = logicalEnd_ = 0;
  idle_ = true;
}

size_t kvfbuf_async::writeSync(const char *data, size_t size) { return kvfbuf::write(data, size); }

size_t kvfbuf_async::write(const char *data, size_t size) {
  if (!file() || size == 0)
    return 0;
  if (idle_ && size <= kDirectWriteLimit) {
    size_t written = kvfbuf::write(data, size);
    advanceCaller(static_cast<int64_t>(written));
    writerPosition_ = callerPosition_;
    lastWasWrite_ = true;
    return written;
  }
  kv::streams::WriteBlockPool &pool = kv::streams::WriteBlockPool::instance();
  size_t capacity = 0;
  char *copy = pool.take(size, &capacity);
  if (!copy) {
    flush(); // lets the writer give back the blocks it still holds
    pool.releaseAll();
    copy = pool.take(size, &capacity);
    if (!copy) {
      setWriteFailed();
      return 0;
    }
  }
  copyForWriter(copy, data, size);
  if (!queueData(callerPosition_, copy, size, capacity))
    return 0;
  advanceCaller(static_cast<int64_t>(size));
  return size;
}

size_t kvfbuf_async::takeAndWrite(const char *data, size_t size) {
  if (!queueData(callerPosition_, data, size, size))
    return 0;
  advanceCaller(static_cast<int64_t>(size));
  return size;
}

size_t kvfbuf_async::writeAt(int64_t position, const char *data, size_t size) {
  if (!queueData(position, data, size, size))
    return 0;
  // The caller position stays, but the file will reach at least this far.
  logicalEnd_ = std::max(logicalEnd_, position + static_cast<int64_t>(size));
  return size;
}

// Queues `data` (owned from now on) for `position`; false, with the block
// released, when there is no file to write it to.
bool kvfbuf_async::queueData(int64_t position, const char *data, size_t size, size_t capacity) {
  if (!file() || position < 0) {
    delete[] data;
    return false;
  }
  AsyncWriteQueueItem item;
  item.command = AsyncWriteQueueItem::WriteData;
  item.data = data;
  item.count = static_cast<int64_t>(size);
  item.capacity = static_cast<int64_t>(capacity);
  item.position = position;
  queueItem(item);
  return true;
}

// The block is taken here, on the caller's thread, and the heap kept alive
// until the writer is waited for: the writer only writes the block's bytes
// and gives it back, and never touches the process's table of heaps.
int64_t kvfbuf_async::takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit) {
  if (!file())
    return 0;
  SharedBlockToken token(managerId);
  kv::streams::TakenSharedBlock block;
  if (!kv::streams::takeSharedBlock(token, blockIndex, &block))
    return 0;
  heldHeaps_->append(token);
  AsyncWriteQueueItem item;
  item.command = AsyncWriteQueueItem::WriteSharedBlock;
  item.sharedBlockManager = managerId;
  item.manager = block.manager;
  item.blockIndex = blockIndex;
  item.data = block.data;
  item.count = std::max<int64_t>(std::min(block.blockSize, limit), 0);
  item.position = callerPosition_;
  queueItem(item);
  advanceCaller(item.count);
  return item.count;
}

bool kvfbuf_async::eof() {
  if (idle_)
    return kvfbuf::eof();
  return !file() || callerPosition_ >= kv::os::stdioFileSize(file());
}

int kvfbuf_async::get() {
  char c;
  return read(&c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
}

size_t kvfbuf_async::read(char *buffer, size_t size) {
  if (!file() || size == 0)
    return 0;
  waitForWriter();
  // Input after output needs a positioning call in between.
  if (lastWasWrite_) {
    kv::os::seekStdioFile(file(), callerPosition_, 0);
    lastWasWrite_ = false;
  }
  size_t n = kvfbuf::read(buffer, size);
  advanceCaller(static_cast<int64_t>(n));
  writerPosition_ = callerPosition_;
  return n;
}

int kvfbuf_async::seekg(int64_t position) {
  if (!file() || position < 0)
    return 1;
  callerPosition_ = position;
  if (idle_) {
    kv::os::seekStdioFile(file(), position, 0);
    writerPosition_ = position;
  }
  return 0;
}

int kvfbuf_async::seekg(int64_t offset, int origin) {
  if (!file())
    return 1;
  if (idle_) {
    int result = kv::os::seekStdioFile(file(), offset, origin);
    int64_t at = kv::os::tellStdioFile(file());
    if (at >= 0) {
      callerPosition_ = writerPosition_ = at;
      logicalEnd_ = std::max(logicalEnd_, at);
    }
    return result;
  }
  switch (origin) {
  case 0:
    return seekg(offset);
  case 1:
    return seekg(callerPosition_ + offset);
  case 2:
    return seekg(logicalEnd_ + offset);
  default:
    return 1;
  }
}

int64_t kvfbuf_async::tellg() { return file() ? callerPosition_ : 0; }

void kvfbuf_async::flush() {
  waitForWriter();
  kvfbuf::flush();
}

bool kvfbuf_async::syncData() {
  if (!file())
    return false;
  if (idle_)
    return kvfbuf::syncData();
  AsyncWriteQueueItem item;
  item.command = AsyncWriteQueueItem::SyncData;
  item.position = callerPosition_;
  queueItem(item);
  return true;
}

std::FILE *kvfbuf_async::detach() {
  stopWriter();
  resetPositions();
  return kvfbuf::detach();
}

void kvfbuf_async::open(const char *path, int mode, bool lock) {
  stopWriter();
  idle_ = true;
  kvfbuf::open(path, mode, lock);
  if (!file()) {
    callerPosition_ = writerPosition_ = -1;
    return;
  }
  // An appending file writes at its end whatever the position: start there.
  if (kvfbuf::cModeFor(mode)[0] == 'a')
    kv::os::seekStdioFile(file(), 0, 2);
  callerPosition_ = writerPosition_ = kv::os::tellStdioFile(file());
  // The logical end belongs to this file: what it holds already, or more.
  logicalEnd_ = std::max(callerPosition_, kv::os::stdioFileSize(file()));
}

void kvfbuf_async::close() {
  stopWriter();
  kvfbuf::close();
  idle_ = true;
}
