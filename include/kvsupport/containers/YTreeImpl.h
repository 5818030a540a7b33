#pragma once

#include "kvsupport/containers/YObject.h"

namespace kv::detail {
struct TreeNode;
struct TreeOps;
} // namespace kv::detail

/// An ordered container of polymorphic objects: a balanced multiway search
/// tree of order m whose leaves hold up to 2m + 1 objects and whose inner
/// nodes hold up to m - 1 keys, each with the size of the subtree beside it,
/// so that objects can also be reached by position and asked for their rank.
/// Equal objects may be held several times. The tree owns what it holds: an
/// object is destroyed when it is detached, flushed or the tree destroyed.
/// A full node first shares with a sibling that has room; only two full
/// neighbours are split, into three. Not copyable: two trees never share
/// nodes; moving hands the contents over.
class YTreeImpl {
public:
  /// An empty tree of order max(order, 3), at most 2^20.
  explicit YTreeImpl(int order);
  /// An empty tree of order 3.
  YTreeImpl();
  YTreeImpl(const YTreeImpl &) = delete;
  YTreeImpl &operator=(const YTreeImpl &) = delete;
  /// Takes `other`'s objects; `other` is left empty with its order.
  YTreeImpl(YTreeImpl &&other) noexcept;
  YTreeImpl &operator=(YTreeImpl &&other) noexcept;
  /// Destroys every held object.
  virtual ~YTreeImpl();

  /// m, the tree's order.
  int order() const { return order_; }

  /// Inserts `object` (taking ownership), also when an equal object is held;
  /// it is placed before the equal objects it meets. Null and `ZERO` are
  /// ignored.
  void add(YObject *object);
  /// When an object equal to `object` is held, returns it and inserts
  /// nothing (`object` stays the caller's); otherwise inserts `object` and
  /// returns null. Null and `ZERO` are ignored (null is returned).
  YObject *addunique(YObject *object);
  /// Removes the held object equal to `object` and destroys it; nothing
  /// happens when none is held.
  void detach(const YObject &object);
  /// The held object equal to `object`, or `*ZERO`.
  virtual YObject &findMember(const YObject &object) const;
  /// 1 when an object equal to `object` is held, otherwise 0.
  virtual int hasMember(const YObject &object) const;
  /// The 0-based position of the held object equal to `object`, or the
  /// position it would take when none is held; -1 for an empty tree.
  long rank(const YObject &object) const;
  /// The object at 0-based `position` in ascending order; `*ZERO` when the
  /// position is negative or not below the item count.
  YObject &operator[](long position) const;
  /// 1 when the tree holds nothing.
  virtual int isEmpty() const;
  /// The number of objects held.
  virtual int getItemsInContainer() const;
  /// Destroys every node and every held object; the tree is empty.
  void flush();

  /// Checks the structure: equal leaf depth, keys ordered within and across
  /// nodes, subtree counts, node fill limits and parent links. True when all
  /// hold. Visits every object; meant for tests and diagnostics.
  bool verify() const;

protected:
  /// Inserts like `add` and returns the position at which `object` was
  /// placed (the number of held objects before it); -1 when ignored.
  long i_add(YObject *object);
  void incrNofKeys() { ++itemCount_; }
  void decrNofKeys() { --itemCount_; }

private:
  friend struct kv::detail::TreeOps;

  void finishInit(int order);
  bool rootIsFull() const;
  bool rootIsEmpty() const;

  int order_ = 3;          // m
  int leafCapacity_ = 8;   // 2m + 2 object slots per leaf
  int innerLowMark_ = 1;   // (m - 1) div 2: fewest keys of a non-root inner node
  int leafLowMark_ = 2;    // m - 1: lowest `last` of a non-root leaf
  int innerFullIndex_ = 3; // m: an inner node with this many keys is split or shared
  int leafFullIndex_ = 7;  // 2m + 1: a leaf whose `last` reaches this is split or shared
  kv::detail::TreeNode *root_ = nullptr;
  int itemCount_ = 0;
};
