// Internal header, not API: the blocks that asynchronous file buffers copy
// their callers' bytes into, kept for reuse across buffers.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace kv::streams {

/// A process-wide store of written blocks. A block already touched costs no
/// page faults when it is filled again; a fresh one faults in every page,
/// and a freed large one is unmapped again, which is most of the price of an
/// asynchronous write. Every asynchronous buffer shares the store, so a
/// buffer opened for each file reuses the blocks of the one before.
///
/// Thread-safe: callers take blocks, the buffers' writers give them back.
class WriteBlockPool {
public:
  /// The store; never destroyed, so buffers closed while the process exits
  /// can still give their blocks back.
  static WriteBlockPool &instance();

  /// A block of at least `size` bytes (`*capacity` tells how many): the
  /// smallest kept block that fits without wasting more than it holds, or a
  /// new one. Null, with `*capacity` 0, when memory is exhausted.
  char *take(size_t size, size_t *capacity);

  /// Takes back a block from take(); kept while the store is below its
  /// bound, freed otherwise.
  void give(char *block, size_t capacity);

  /// Frees every kept block (when memory runs short).
  void releaseAll();

private:
  WriteBlockPool() = default;

  struct Block {
    char *data;
    size_t capacity;
  };
  std::mutex lock_;
  std::vector<Block> kept_;
  size_t keptBytes_ = 0;
};

} // namespace kv::streams
