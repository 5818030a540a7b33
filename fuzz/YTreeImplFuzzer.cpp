// The ordered tree against std::multiset under any sequence of adds, unique
// adds, detaches, positional reads and ranks, with the structure checked
// after every step.
#include "FuzzSupport.h"

#include <kvsupport/containers/YTreeImpl.h>

#include <iterator>
#include <set>

namespace {

class Key : public YObject {
public:
  explicit Key(int key) : key(key) {}
  int typeId() const override { return 3; }
  int equals(const YObject &other) const override {
    return key == static_cast<const Key &>(other).key;
  }
  int lessThan(const YObject &other) const override {
    return key < static_cast<const Key &>(other).key;
  }
  int key;
};

using kvfuzz::check;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  YTreeImpl tree(3 + data[0] % 6);
  std::multiset<int> reference;
  for (size_t i = 1; i + 1 < size; i += 2) {
    int key = data[i + 1];
    switch (data[i] % 5) {
    case 0:
    case 1:
      tree.add(new Key(key));
      reference.insert(key);
      break;
    case 2: {
      Key *object = new Key(key);
      YObject *held = tree.addunique(object);
      check((held != nullptr) == (reference.count(key) > 0));
      if (held)
        delete object;
      else
        reference.insert(key);
      break;
    }
    case 3: {
      tree.detach(Key(key));
      auto it = reference.find(key);
      if (it != reference.end())
        reference.erase(it);
      break;
    }
    case 4: {
      long rank = tree.rank(Key(key));
      long lower = std::distance(reference.begin(), reference.lower_bound(key));
      if (reference.empty())
        check(rank == -1);
      else if (reference.count(key) == 0)
        check(rank == lower);
      else
        check(rank >= lower && static_cast<Key &>(tree[rank]).key == key);
      long position = static_cast<long>(data[i + 1]) - 8;
      YObject &at = tree[position];
      if (position < 0 || position >= static_cast<long>(reference.size()))
        check(&at == YObject::ZERO);
      else
        check(static_cast<Key &>(at).key == *std::next(reference.begin(), position));
      break;
    }
    }
    check(tree.verify());
    check(tree.getItemsInContainer() == static_cast<int>(reference.size()));
  }
  return 0;
}
