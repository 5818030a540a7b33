#pragma once

#include <cstdint>
#include <utility>

namespace kv {

/// The library's table of hash-table sizes: the first entry greater than
/// `current` (2, 5, 11, 23, ... 1685759167), or the last entry when none is.
uint32_t nextHashTableSize(uint32_t current);

} // namespace kv

/// How a key of a YHashTable is hashed and compared: specialise with
/// `static uint32_t hash(const K&)` and `static bool equal(const K&, const K&)`.
/// Keys that compare equal must hash alike.
template <class K> struct YHashTraits;

/// The library's chained hash table. New entries go to the head of their
/// bucket's chain. When the number of entries divided by the load factor
/// exceeds the bucket count, the table grows to the next size of the
/// library's size table. A load factor of 0 keeps the bucket count fixed.
template <class K, class V, class Traits = YHashTraits<K>> class YHashTable {
  struct Node {
    K key;
    V value;
    Node *next;
  };

public:
  explicit YHashTable(uint32_t buckets = 101, double loadFactor = 2.0)
      : buckets_(new Node *[buckets > 0 ? buckets : 1]()), bucketCount_(buckets > 0 ? buckets : 1),
        loadFactor_(loadFactor) {}
  YHashTable(const YHashTable &) = delete;
  YHashTable &operator=(const YHashTable &) = delete;
  ~YHashTable() {
    clear();
    delete[] buckets_;
  }

  /// The value stored under `key`, or null.
  V *find(const K &key) const {
    for (Node *node = buckets_[slot(key)]; node; node = node->next)
      if (Traits::equal(node->key, key))
        return &node->value;
    return nullptr;
  }
  bool contains(const K &key) const { return find(key) != nullptr; }
  /// The stored key equal to `key`, or null.
  const K *findKey(const K &key) const {
    for (Node *node = buckets_[slot(key)]; node; node = node->next)
      if (Traits::equal(node->key, key))
        return &node->key;
    return nullptr;
  }

  /// Stores `value` under `key`, replacing the value of an equal key.
  V &insert(const K &key, V value) {
    if (V *found = find(key)) {
      *found = std::move(value);
      return *found;
    }
    return link(key, std::move(value));
  }
  /// The value under `key`, inserted value-initialised when absent.
  V &operator[](const K &key) {
    if (V *found = find(key))
      return *found;
    return link(key, V());
  }
  /// Removes the entry of `key`; false when there was none.
  bool remove(const K &key) {
    for (Node **at = &buckets_[slot(key)]; *at; at = &(*at)->next)
      if (Traits::equal((*at)->key, key)) {
        Node *node = *at;
        *at = node->next;
        delete node;
        --count_;
        return true;
      }
    return false;
  }
  void clear() {
    for (uint32_t b = 0; b < bucketCount_; ++b)
      while (Node *node = buckets_[b]) {
        buckets_[b] = node->next;
        delete node;
      }
    count_ = 0;
  }

  int64_t count() const { return count_; }
  bool isEmpty() const { return count_ == 0; }
  uint32_t bucketCount() const { return bucketCount_; }

  /// Calls `visit(key, value)` for every entry, bucket by bucket.
  template <class F> void forEach(F &&visit) const {
    for (uint32_t b = 0; b < bucketCount_; ++b)
      for (Node *node = buckets_[b]; node; node = node->next)
        visit(node->key, node->value);
  }

private:
  uint32_t slot(const K &key) const { return Traits::hash(key) % bucketCount_; }

  V &link(const K &key, V value) {
    uint32_t b = slot(key);
    Node *node = new Node{key, std::move(value), buckets_[b]};
    buckets_[b] = node;
    ++count_;
    if (loadFactor_ > 0 && static_cast<double>(count_) / loadFactor_ > bucketCount_)
      rehash(kv::nextHashTableSize(bucketCount_));
    return node->value;
  }

  void rehash(uint32_t size) {
    if (size <= bucketCount_)
      return;
    Node **buckets = new Node *[size]();
    for (uint32_t b = 0; b < bucketCount_; ++b)
      while (Node *node = buckets_[b]) {
        buckets_[b] = node->next;
        uint32_t to = Traits::hash(node->key) % size;
        node->next = buckets[to];
        buckets[to] = node;
      }
    delete[] buckets_;
    buckets_ = buckets;
    bucketCount_ = size;
  }

  Node **buckets_;
  uint32_t bucketCount_;
  double loadFactor_;
  int64_t count_ = 0;
};
