#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

/// A shared, reference-counted handle to a heap object. Every YRef, even an
/// empty one, owns a share of a control block (count 1 at creation); copying
/// increments the count, destroying decrements it, and at 0 the object is
/// deleted and the block freed. The count is not atomic: a YRef and all its
/// copies belong to one thread at a time.
namespace kv::detail {
// The control block shared by all handles of one object. The deleter is
// chosen where the object's type is known, so a handle converted to a base
// class still deletes the object it was given.
struct RefBlock {
  void *object;
  int32_t count;
  void (*deleter)(void *);
};
} // namespace kv::detail

template <class T> class YRef {
public:
  /// An empty handle.
  YRef() : block_(new Block{nullptr, 1, &destroyNothing}), object_(nullptr) {}
  /// Takes ownership of `object` (which may be null).
  explicit YRef(T *object) : block_(new Block{object, 1, &destroy<T>}), object_(object) {}
  YRef(const YRef &other) : block_(other.block_), object_(other.object_) { ++block_->count; }
  /// Shares a handle to a derived class.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U *, T *>>>
  YRef(const YRef<U> &other) : block_(other.block_), object_(other.object_) {
    ++block_->count;
  }
  YRef &operator=(const YRef &other) {
    YRef copy(other);
    swap(copy);
    return *this;
  }
  ~YRef() { release(); }

  T *get() const { return object_; }
  T *operator->() const { return object_; }
  T &operator*() const { return *object_; }
  bool isNull() const { return object_ == nullptr; }
  explicit operator bool() const { return object_ != nullptr; }
  /// The number of handles sharing the object.
  int32_t getRefCount() const { return block_->count; }

  void swap(YRef &other) noexcept {
    std::swap(block_, other.block_);
    std::swap(object_, other.object_);
  }

private:
  template <class U> friend class YRef;

  using Block = kv::detail::RefBlock;

  template <class U> static void destroy(void *object) { delete static_cast<U *>(object); }
  static void destroyNothing(void *) {}

  void release() {
    if (--block_->count == 0)
      destroyBlock(block_);
  }
  // Out of line: the last release is the rare path, and with the delete in
  // view an optimiser inlining several handles of one block into a caller
  // cannot tell that only the last one frees it (GCC warns of a use after
  // free in the caller's next read of the count).
  [[gnu::noinline]] static void destroyBlock(Block *block) {
    block->deleter(block->object);
    delete block;
  }

  Block *block_;
  T *object_;
};
