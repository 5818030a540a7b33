#pragma once

#include "kvsupport/containers/YVector.h"
#include "kvsupport/streams/kvfbuf.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class AsyncFBufThread;
class SharedBlockManager;
class SharedBlockToken;

/// One queued write of a kvfbuf_async.
struct AsyncWriteQueueItem {
  enum Command : int32_t { Empty = 0, WriteData = 1, WriteSharedBlock = 5, SyncData = 6 };

  int32_t serial = 0;         ///< process-wide running number
  const char *data = nullptr; ///< WriteData: the bytes, owned by the item (new char[])
  int64_t count = 0;          ///< bytes to write
  int64_t capacity = 0;       ///< WriteData: the bytes allocated for data
  int64_t blockIndex = 0;     ///< WriteSharedBlock: the block's index
  bool inProgress = false;    ///< the writer has taken the item
  int64_t position = 0;       ///< file position where the bytes go
  int32_t command = Empty;
  int32_t sharedBlockManager = -1;       ///< WriteSharedBlock: the heap's manager id
  SharedBlockManager *manager = nullptr; ///< WriteSharedBlock: the heap, kept alive by the buffer
};

/// A file buffer whose writes are done by a background thread, so the
/// producer does not wait for the disk. Each write becomes an item in a
/// queue that the writer performs in order at the item's file position. The
/// buffer keeps the caller's position and the file's logical end itself, so
/// the caller can seek and write on while earlier writes are pending.
///
/// While nothing is pending ("idle"), small writes and reads go straight to
/// the file. Operations that need the file itself (read, flush, open,
/// detach, close) first wait for the writer to finish; the file is then
/// moved to the caller's position. Errors of the writer (a failed seek, a
/// short write) set the write-failed flag.
///
/// One caller thread at a time; the writer thread is the buffer's own.
class kvfbuf_async : public kvfbuf {
public:
  kvfbuf_async();
  explicit kvfbuf_async(std::FILE *file);
  kvfbuf_async(const char *path, int mode, bool lock);
  ~kvfbuf_async() override;

  void close() override;
  bool eof() override;
  int get() override;
  size_t read(char *buffer, size_t size) override;
  /// Small writes while idle go to the file at once; others are copied and queued.
  size_t write(const char *data, size_t size) override;
  void put(char c) override { write(&c, 1); }
  /// Queues `data` (new char[], owned by the buffer from now on) at the caller position.
  size_t takeAndWrite(const char *data, size_t size) override;
  /// Queues `data` (new char[], owned by the buffer from now on) at `position`;
  /// the caller position stays.
  size_t writeAt(int64_t position, const char *data, size_t size) override;
  int64_t takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit) override;
  /// 1 when closed or for a negative position, else 0.
  int seekg(int64_t position) override;
  int seekg(int64_t offset, int origin) override;
  int64_t tellg() override;
  /// Waits for the pending writes, then flushes the file.
  void flush() override;
  /// Queues a sync after the pending writes and returns without waiting: the
  /// writer puts everything written so far on the device before it writes
  /// on. True when queued (or, while idle, done); the writer reports a
  /// failure through the write-failed flag. False when closed.
  bool syncData() override;

  std::FILE *detach() override;
  void open(const char *path, int mode, bool lock) override;
  /// -1: the descriptor is not given out.
  int fd() override { return -1; }

  /// Whether no write is pending since the writer was last waited for.
  bool isIdle() const { return idle_; }

private:
  friend class AsyncFBufThread;

  size_t writeSync(const char *data, size_t size) override;
  void queueItem(const AsyncWriteQueueItem &item);
  bool queueData(int64_t position, const char *data, size_t size, size_t capacity);
  int takeRun(AsyncWriteQueueItem *run);
  void runCommand(const AsyncWriteQueueItem &item);
  void writeRun(const AsyncWriteQueueItem *run, int count);
  bool setFilePointer(int64_t position);
  void waitForWriter();
  void stopWriter();
  void writerLoop();
  bool popFinished();
  int64_t pendingCount() const { return tail_ - head_ + 1; }
  void advanceCaller(int64_t bytes);
  void resetPositions();

  YVector<AsyncWriteQueueItem> queue_;
  // The heaps of pending shared-block items, kept alive until the writer is
  // waited for; made and dropped on the caller's thread only.
  std::unique_ptr<YVector<SharedBlockToken>> heldHeaps_;
  int64_t head_ = 0;
  int64_t tail_ = -1;
  std::unique_ptr<AsyncFBufThread> thread_;
  std::mutex queueLock_;
  std::condition_variable queueChanged_;
  std::mutex fileLock_;
  int64_t pendingBytes_ = 0;     // copied data not yet written (queue lock)
  bool producerWaiting_ = false; // the caller waits for the writer to catch up (queue lock)
  bool stopping_ = false;

  int64_t callerPosition_ = 0;
  int64_t writerPosition_ = 0;
  int64_t logicalEnd_ = 0;
  bool idle_ = true;
  bool lastWasWrite_ = false; // the next read must position the file first
};
