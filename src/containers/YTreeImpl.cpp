#include "kvsupport/containers/YTreeImpl.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <vector>

namespace kv::detail {

struct InnerNode;

// What leaves and inner nodes share. `last` is the index of the last used
// slot (-1 when empty); for an inner node it is also its number of keys.
struct TreeNode {
  int last;
  bool isLeaf;
  InnerNode *parent;
};

// One slot of an inner node: a separating key (none in item 0), the subtree
// of objects ordering after it and before the next key, and that subtree's
// size.
struct TreeItem {
  int count;
  YObject *key;
  TreeNode *tree;
};

// Node storage is one allocation: the header, then the slot array, sized by
// the tree's order.
struct LeafNode : TreeNode {
  YObject **slots() { return reinterpret_cast<YObject **>(this + 1); }
};

struct InnerNode : TreeNode {
  TreeItem *items() { return reinterpret_cast<TreeItem *>(this + 1); }
};

static_assert(sizeof(LeafNode) % alignof(YObject *) == 0, "leaf slots must be aligned");
static_assert(sizeof(InnerNode) % alignof(TreeItem) == 0, "inner items must be aligned");

// Scratch space for a rebalancing of up to three neighbours; on the stack for
// the usual small orders.
template <class T, int kInline> class Scratch {
public:
  explicit Scratch(int size) {
    if (size > kInline) {
      heap_.resize(static_cast<size_t>(size));
      data_ = heap_.data();
    }
  }
  T &operator[](int i) { return data_[i]; }

private:
  T inline_[kInline];
  std::vector<T> heap_;
  T *data_ = inline_;
};

struct TreeOps {
  using Tree = YTreeImpl;

  static LeafNode *leaf(TreeNode *node) { return static_cast<LeafNode *>(node); }
  static InnerNode *inner(TreeNode *node) { return static_cast<InnerNode *>(node); }

  static LeafNode *newLeaf(const Tree &t) {
    void *memory =
        ::operator new(sizeof(LeafNode) + static_cast<size_t>(t.leafCapacity_) * sizeof(YObject *));
    LeafNode *node = new (memory) LeafNode;
    node->last = -1;
    node->isLeaf = true;
    node->parent = nullptr;
    return node;
  }

  static InnerNode *newInner(const Tree &t) {
    void *memory = ::operator new(sizeof(InnerNode) +
                                  static_cast<size_t>(t.innerFullIndex_ + 1) * sizeof(TreeItem));
    InnerNode *node = new (memory) InnerNode;
    node->last = -1;
    node->isLeaf = false;
    node->parent = nullptr;
    return node;
  }

  static TreeNode *newNodeLike(const Tree &t, const TreeNode *model) {
    return model->isLeaf ? static_cast<TreeNode *>(newLeaf(t)) : newInner(t);
  }

  static void freeNode(TreeNode *node) { ::operator delete(static_cast<void *>(node)); }

  // Destroys a subtree with every object in it.
  static void destroy(TreeNode *node) {
    if (node->isLeaf) {
      YObject **slots = leaf(node)->slots();
      for (int i = 0; i <= node->last; ++i)
        delete slots[i];
    } else {
      TreeItem *items = inner(node)->items();
      for (int i = 0; i <= node->last; ++i) {
        if (i > 0)
          delete items[i].key;
        destroy(items[i].tree);
      }
    }
    freeNode(node);
  }

  // Objects in a leaf, keys in an inner node: what rebalancing counts.
  static int fill(const TreeNode *node) { return node->isLeaf ? node->last + 1 : node->last; }

  // The number of objects in the subtree.
  static int subtreeSize(TreeNode *node) {
    if (node->isLeaf)
      return node->last + 1;
    TreeItem *items = inner(node)->items();
    int size = node->last;
    for (int i = 0; i <= node->last; ++i)
      size += items[i].count;
    return size;
  }

  static int indexInParent(const TreeNode *node) {
    const InnerNode *parent = node->parent;
    TreeItem *items = const_cast<InnerNode *>(parent)->items();
    int i = 0;
    while (items[i].tree != node)
      ++i;
    assert(i <= parent->last && "a node is one of its parent's subtrees");
    return i;
  }

  // Adds `delta` to the count of every item on the path from `node` up.
  static void adjustCounts(TreeNode *node, int delta) {
    for (; node->parent; node = node->parent)
      node->parent->items()[indexInParent(node)].count += delta;
  }

  static LeafNode *firstLeaf(TreeNode *node) {
    while (!node->isLeaf)
      node = inner(node)->items()[0].tree;
    return leaf(node);
  }

  static LeafNode *lastLeaf(TreeNode *node) {
    while (!node->isLeaf)
      node = inner(node)->items()[node->last].tree;
    return leaf(node);
  }

  struct Found {
    YObject *object; // ZERO when nothing equal is held
    TreeNode *node;  // the leaf reached, or the inner node holding the equal key
    int index;       // slot or item index: of the equal object, or the insertion place
    long rank;       // objects ordering before the found object or insertion place
  };

  // The search of the tree's contract. Keys and slots are scanned in order:
  // the first equal one is the answer, the first one that does not order
  // before `object` ends the scan. Objects of another type never order
  // before, so they end the scan too.
  static Found find(const Tree &t, const YObject &object) {
    const int type = object.typeId();
    long rank = 0;
    TreeNode *node = t.root_;
    while (!node->isLeaf) {
      InnerNode *in = inner(node);
      TreeItem *items = in->items();
      int i = 1;
      for (; i <= in->last; ++i) {
        YObject *key = items[i].key;
        if (key->typeId() != type)
          break;
        if (key->equals(object))
          return {key, in, i, rank + items[i - 1].count};
        if (!key->lessThan(object))
          break;
        rank += items[i - 1].count + 1;
      }
      node = items[i - 1].tree;
    }
    YObject **slots = leaf(node)->slots();
    int i = 0;
    for (; i <= node->last; ++i) {
      YObject *slot = slots[i];
      if (slot->typeId() != type)
        break;
      if (slot->equals(object))
        return {slot, node, i, rank};
      if (!slot->lessThan(object))
        break;
      ++rank;
    }
    return {YObject::ZERO, node, i, rank};
  }

  // Gathers neighbours c0 .. c0 + r - 1 of `parent` with their separators
  // and deals them out again, child j keeping targets[j] objects (leaves) or
  // keys (inner nodes) and the entries between them going up as separators.
  // Subtree sizes in the parent follow; the total stays the same, so nothing
  // above needs to change. A separator that is null (the slot of a node just
  // made) is skipped when gathering.
  static void redistribute(const Tree &t, InnerNode *parent, int c0, int r, const int *targets) {
    TreeItem *pitems = parent->items();
    if (pitems[c0].tree->isLeaf) {
      Scratch<YObject *, 64> all(3 * t.leafCapacity_ + 2);
      int length = 0;
      for (int j = 0; j < r; ++j) {
        if (j > 0 && pitems[c0 + j].key)
          all[length++] = pitems[c0 + j].key;
        LeafNode *node = leaf(pitems[c0 + j].tree);
        for (int i = 0; i <= node->last; ++i)
          all[length++] = node->slots()[i];
      }
      int position = 0;
      for (int j = 0; j < r; ++j) {
        if (j > 0)
          pitems[c0 + j].key = all[position++];
        LeafNode *node = leaf(pitems[c0 + j].tree);
        for (int i = 0; i < targets[j]; ++i)
          node->slots()[i] = all[position++];
        node->last = targets[j] - 1;
        pitems[c0 + j].count = targets[j];
      }
      assert(position == length && "leaf redistribution keeps every object");
      (void)length;
      return;
    }

    Scratch<TreeItem, 32> all(3 * (t.innerFullIndex_ + 1));
    int length = 0;
    for (int j = 0; j < r; ++j) {
      InnerNode *node = inner(pitems[c0 + j].tree);
      for (int i = 0; i <= node->last; ++i) {
        all[length] = node->items()[i];
        if (i == 0)
          all[length].key = j > 0 ? pitems[c0 + j].key : nullptr;
        ++length;
      }
    }
    int position = 0;
    for (int j = 0; j < r; ++j) {
      InnerNode *node = inner(pitems[c0 + j].tree);
      if (j > 0)
        pitems[c0 + j].key = all[position].key;
      int size = targets[j];
      for (int i = 0; i <= targets[j]; ++i) {
        TreeItem &item = node->items()[i];
        item = all[position++];
        if (i == 0)
          item.key = nullptr;
        item.tree->parent = node;
        size += item.count;
      }
      node->last = targets[j];
      pitems[c0 + j].count = size;
    }
    assert(position == length && "inner redistribution keeps every subtree");
  }

  // Shares the contents of neighbours c0 and c0 + 1 evenly; the one that
  // had more keeps the larger half.
  static void balance(const Tree &t, InnerNode *parent, int c0) {
    TreeItem *pitems = parent->items();
    int x = fill(pitems[c0].tree), y = fill(pitems[c0 + 1].tree);
    int larger = (x + y + 1) / 2, smaller = x + y - larger;
    int targets[2] = {x >= y ? larger : smaller, x >= y ? smaller : larger};
    redistribute(t, parent, c0, 2, targets);
  }

  // Inserts an empty node of the same kind after child `c` with no separator
  // yet; the parent's `last` grows by one.
  static TreeNode *insertEmptySibling(const Tree &t, InnerNode *parent, int c) {
    TreeItem *pitems = parent->items();
    TreeNode *fresh = newNodeLike(t, pitems[c].tree);
    fresh->parent = parent;
    std::memmove(static_cast<void *>(pitems + c + 2), pitems + c + 1,
                 static_cast<size_t>(parent->last - c) * sizeof(TreeItem));
    pitems[c + 1] = TreeItem{0, nullptr, fresh};
    ++parent->last;
    return fresh;
  }

  // Two full neighbours c0 and c0 + 1 become three, the new one between
  // them; the parent gains a key.
  static void splitThree(const Tree &t, InnerNode *parent, int c0) {
    TreeItem *pitems = parent->items();
    bool leaves = pitems[c0].tree->isLeaf;
    int a = fill(pitems[c0].tree), b = fill(pitems[c0 + 1].tree);
    int total = a + b + 1;
    int keepA = total / 3;
    int keepB = (total - keepA + 1) / 2 - 1;
    // An inner node that had two keys more than its third keeps one of
    // them, sparing a move, unless that would leave the new node below its
    // low mark (which happens for order 5).
    if (!leaves && a == keepA + 2 && total - 2 - (keepA + 1) - keepB >= t.innerLowMark_)
      ++keepA;
    int targets[3] = {keepA, total - 2 - keepA - keepB, keepB};
    insertEmptySibling(t, parent, c0);
    redistribute(t, parent, c0, 3, targets);
  }

  // A full root gets a new root above it and splits in two.
  static void splitRoot(Tree &t, TreeNode *old) {
    InnerNode *root = newInner(t);
    root->last = 0;
    root->items()[0] = TreeItem{subtreeSize(old), nullptr, old};
    old->parent = root;
    t.root_ = root;
    insertEmptySibling(t, root, 0);
    int m = t.order_;
    int leafTargets[2] = {m + 1, m};
    int innerTargets[2] = {m / 2, m - 1 - m / 2};
    redistribute(t, root, 0, 2, old->isLeaf ? leafTargets : innerTargets);
  }

  // Brings a full node back within bounds: shares with a sibling that has
  // room, else splits two full neighbours into three and goes on with the
  // parent, which gained a key.
  static void fixFull(Tree &t, TreeNode *node) {
    for (;;) {
      int full = node->isLeaf ? t.leafFullIndex_ : t.innerFullIndex_;
      if (node->last < full)
        return;
      InnerNode *parent = node->parent;
      if (!parent) {
        splitRoot(t, node);
        return;
      }
      int c = indexInParent(node);
      TreeItem *pitems = parent->items();
      TreeNode *right = c < parent->last ? pitems[c + 1].tree : nullptr;
      TreeNode *left = c > 0 ? pitems[c - 1].tree : nullptr;
      if (right && right->last < full - 1) {
        balance(t, parent, c);
        return;
      }
      if (left && left->last < full - 1) {
        balance(t, parent, c - 1);
        return;
      }
      splitThree(t, parent, left ? c - 1 : c);
      node = parent;
    }
  }

  // Appends the separator and all of child c0 + 1 to child c0, and removes
  // the emptied right node and its separator from the parent.
  static void merge(InnerNode *parent, int c0) {
    TreeItem *pitems = parent->items();
    TreeNode *left = pitems[c0].tree, *right = pitems[c0 + 1].tree;
    YObject *separator = pitems[c0 + 1].key;
    if (left->isLeaf) {
      YObject **to = leaf(left)->slots();
      YObject **from = leaf(right)->slots();
      to[++left->last] = separator;
      for (int i = 0; i <= right->last; ++i)
        to[++left->last] = from[i];
    } else {
      TreeItem *to = inner(left)->items();
      TreeItem *from = inner(right)->items();
      for (int i = 0; i <= right->last; ++i) {
        TreeItem &item = to[++left->last];
        item = from[i];
        if (i == 0)
          item.key = separator;
        item.tree->parent = inner(left);
      }
    }
    pitems[c0].count += pitems[c0 + 1].count + 1;
    std::memmove(static_cast<void *>(pitems + c0 + 1), pitems + c0 + 2,
                 static_cast<size_t>(parent->last - c0 - 1) * sizeof(TreeItem));
    --parent->last;
    freeNode(right);
  }

  // Brings a node below its low mark back within bounds: borrows from a
  // sibling when the pair holds enough, else merges, and goes on with the
  // parent, which lost a key.
  static void fixLow(Tree &t, TreeNode *node) {
    for (;;) {
      InnerNode *parent = node->parent;
      int c = indexInParent(node);
      TreeItem *pitems = parent->items();
      TreeNode *right = c < parent->last ? pitems[c + 1].tree : nullptr;
      TreeNode *left = c > 0 ? pitems[c - 1].tree : nullptr;
      int enough = node->isLeaf ? t.leafFullIndex_ + 1 : t.innerFullIndex_;
      if (right && fill(node) + fill(right) + 1 >= enough) {
        balance(t, parent, c);
        return;
      }
      if (left) {
        if (fill(left) + fill(node) + 1 >= enough) {
          balance(t, parent, c - 1);
          return;
        }
        merge(parent, c - 1);
      } else {
        merge(parent, c);
      }
      if (!parent->parent) {
        // A root left without keys hands over to its only subtree.
        if (parent->last == 0) {
          TreeNode *only = pitems[0].tree;
          only->parent = nullptr;
          t.root_ = only;
          freeNode(parent);
        }
        return;
      }
      if (parent->last >= t.innerLowMark_)
        return;
      node = parent;
    }
  }

  // Places `object` where `found` says: at a leaf's insertion place, or at the
  // end of the subtree before an equal inner key.
  static void insertAt(Tree &t, const Found &found, YObject *object) {
    LeafNode *target;
    if (found.node->isLeaf) {
      target = leaf(found.node);
      YObject **slots = target->slots();
      std::memmove(slots + found.index + 1, slots + found.index,
                   static_cast<size_t>(target->last - found.index + 1) * sizeof(YObject *));
      slots[found.index] = object;
      ++target->last;
    } else {
      target = lastLeaf(inner(found.node)->items()[found.index - 1].tree);
      target->slots()[++target->last] = object;
    }
    adjustCounts(target, 1);
    ++t.itemCount_;
    if (target->last >= t.leafFullIndex_)
      fixFull(t, target);
  }

  static long insert(Tree &t, YObject *object, bool unique, YObject **held) {
    if (!t.root_) {
      LeafNode *root = newLeaf(t);
      root->slots()[0] = object;
      root->last = 0;
      t.root_ = root;
      t.itemCount_ = 1;
      return 0;
    }
    Found found = find(t, *object);
    if (unique && found.object != YObject::ZERO) {
      *held = found.object;
      return -1;
    }
    insertAt(t, found, object);
    return found.rank;
  }

  static void detach(Tree &t, const YObject &object) {
    if (!t.root_)
      return;
    Found found = find(t, object);
    if (found.object == YObject::ZERO)
      return;
    LeafNode *from;
    int index;
    if (found.node->isLeaf) {
      from = leaf(found.node);
      index = found.index;
    } else {
      // The next object in order takes the key's place.
      TreeItem &item = inner(found.node)->items()[found.index];
      from = firstLeaf(item.tree);
      item.key = from->slots()[0];
      index = 0;
    }
    YObject **slots = from->slots();
    std::memmove(slots + index, slots + index + 1,
                 static_cast<size_t>(from->last - index) * sizeof(YObject *));
    --from->last;
    adjustCounts(from, -1);
    --t.itemCount_;
    if (from->last < t.leafLowMark_) {
      if (!from->parent) {
        if (from->last < 0) {
          freeNode(from);
          t.root_ = nullptr;
        }
      } else {
        fixLow(t, from);
      }
    }
    delete found.object;
  }

  static YObject &at(const Tree &t, long position) {
    if (!t.root_ || position < 0 || position >= t.itemCount_)
      return *YObject::ZERO;
    TreeNode *node = t.root_;
    while (!node->isLeaf) {
      TreeItem *items = inner(node)->items();
      TreeNode *next = nullptr;
      for (int i = 0; i <= node->last; ++i) {
        if (position < items[i].count) {
          next = items[i].tree;
          break;
        }
        if (position == items[i].count) {
          if (i == node->last)
            return *YObject::ZERO; // counts disagree with the structure
          return *items[i + 1].key;
        }
        position -= items[i].count + 1;
      }
      if (!next)
        return *YObject::ZERO;
      node = next;
    }
    if (position > node->last)
      return *YObject::ZERO;
    return *leaf(node)->slots()[position];
  }

  struct Check {
    const Tree &t;
    const YObject *previous = nullptr;
    int leafDepth = -1;
    bool ok = true;

    // Walks the subtree in order; answers its size.
    int walk(TreeNode *node, InnerNode *parent, int depth) {
      if (node->parent != parent)
        ok = false;
      bool isRoot = parent == nullptr;
      if (node->isLeaf) {
        if (leafDepth < 0)
          leafDepth = depth;
        else if (leafDepth != depth)
          ok = false;
        int low = isRoot ? 0 : t.leafLowMark_;
        if (node->last < low || node->last >= t.leafFullIndex_)
          ok = false;
        for (int i = 0; i <= node->last; ++i)
          visit(leaf(node)->slots()[i]);
        return node->last + 1;
      }
      int low = isRoot ? 1 : t.innerLowMark_;
      if (node->last < low || node->last >= t.innerFullIndex_)
        ok = false;
      TreeItem *items = inner(node)->items();
      int size = node->last;
      for (int i = 0; i <= node->last; ++i) {
        if (i > 0)
          visit(items[i].key);
        if ((i == 0) != (items[i].key == nullptr))
          ok = false;
        int sub = walk(items[i].tree, inner(node), depth + 1);
        if (sub != items[i].count)
          ok = false;
        size += sub;
      }
      return size;
    }

    void visit(const YObject *object) {
      if (!object || object == YObject::ZERO)
        ok = false;
      else if (previous && YObject::isLess(*object, *previous))
        ok = false;
      previous = object;
    }
  };
};

} // namespace kv::detail

using kv::detail::TreeOps;

namespace {
// Beyond this a node's slot count would overflow; a leaf is then already
// millions of slots, far past any useful order.
constexpr int kMaxOrder = 1 << 20;
} // namespace

YTreeImpl::YTreeImpl(int order) { finishInit(std::min(std::max(order, 3), kMaxOrder)); }

YTreeImpl::YTreeImpl() { finishInit(3); }

YTreeImpl::YTreeImpl(YTreeImpl &&other) noexcept {
  finishInit(other.order_);
  root_ = other.root_;
  itemCount_ = other.itemCount_;
  other.root_ = nullptr;
  other.itemCount_ = 0;
}

YTreeImpl &YTreeImpl::operator=(YTreeImpl &&other) noexcept {
  if (this != &other) {
    flush();
    finishInit(other.order_);
    root_ = other.root_;
    itemCount_ = other.itemCount_;
    other.root_ = nullptr;
    other.itemCount_ = 0;
  }
  return *this;
}

YTreeImpl::~YTreeImpl() { flush(); }

void YTreeImpl::finishInit(int order) {
  order_ = order;
  leafCapacity_ = 2 * order + 2;
  innerLowMark_ = (order - 1) / 2;
  leafLowMark_ = order - 1;
  innerFullIndex_ = order;
  leafFullIndex_ = 2 * order + 1;
  root_ = nullptr;
}

bool YTreeImpl::rootIsFull() const {
  return root_ && root_->last >= (root_->isLeaf ? leafFullIndex_ : innerFullIndex_);
}

bool YTreeImpl::rootIsEmpty() const { return !root_ || root_->last < 0; }

void YTreeImpl::add(YObject *object) { i_add(object); }

long YTreeImpl::i_add(YObject *object) {
  if (!object || object == YObject::ZERO)
    return -1;
  return TreeOps::insert(*this, object, false, nullptr);
}

YObject *YTreeImpl::addunique(YObject *object) {
  if (!object || object == YObject::ZERO)
    return nullptr;
  YObject *held = nullptr;
  TreeOps::insert(*this, object, true, &held);
  return held;
}

void YTreeImpl::detach(const YObject &object) {
  if (&object != YObject::ZERO)
    TreeOps::detach(*this, object);
}

YObject &YTreeImpl::findMember(const YObject &object) const {
  if (rootIsEmpty())
    return *YObject::ZERO;
  return *TreeOps::find(*this, object).object;
}

int YTreeImpl::hasMember(const YObject &object) const {
  return &findMember(object) != YObject::ZERO ? 1 : 0;
}

long YTreeImpl::rank(const YObject &object) const {
  if (rootIsEmpty())
    return -1;
  return TreeOps::find(*this, object).rank;
}

YObject &YTreeImpl::operator[](long position) const { return TreeOps::at(*this, position); }

int YTreeImpl::isEmpty() const { return itemCount_ == 0 ? 1 : 0; }

int YTreeImpl::getItemsInContainer() const { return itemCount_; }

void YTreeImpl::flush() {
  if (root_)
    TreeOps::destroy(root_);
  root_ = nullptr;
  itemCount_ = 0;
}

bool YTreeImpl::verify() const {
  if (!root_)
    return itemCount_ == 0;
  TreeOps::Check check{*this};
  int size = check.walk(root_, nullptr, 0);
  return check.ok && size == itemCount_ && !rootIsFull();
}
