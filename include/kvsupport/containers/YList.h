#pragma once

#include <cstdint>
#include <iterator>
#include <utility>

/// A singly linked list with head, tail and a 32-bit count. Appending links
/// after the tail; prepending links before the head. Copies are deep.
template <class T> class YList {
  struct Node {
    T value;
    Node *next;
  };

public:
  YList() = default;
  YList(const YList &other) {
    for (const T &value : other)
      append(value);
  }
  YList(YList &&other) noexcept { swap(other); }
  YList &operator=(YList other) {
    swap(other);
    return *this;
  }
  ~YList() { clear(); }

  /// Adds `value` after the last element.
  void append(const T &value) { linkAfterTail(new Node{value, nullptr}); }
  void append(T &&value) { linkAfterTail(new Node{std::move(value), nullptr}); }
  /// Adds `value` before the first element.
  void prepend(const T &value) {
    head_ = new Node{value, head_};
    if (!tail_)
      tail_ = head_;
    ++count_;
  }

  /// Removes the first element; does nothing on an empty list.
  void removeFirst() {
    if (!head_)
      return;
    Node *node = head_;
    head_ = node->next;
    if (!head_)
      tail_ = nullptr;
    delete node;
    --count_;
  }
  /// Removes and returns the first element. The list must not be empty.
  T takeFirst() {
    T value = std::move(head_->value);
    removeFirst();
    return value;
  }
  void clear() {
    while (head_)
      removeFirst();
  }

  int32_t count() const { return count_; }
  int32_t size() const { return count_; }
  bool isEmpty() const { return count_ == 0; }
  /// The first and last elements; the list must not be empty.
  T &first() { return head_->value; }
  const T &first() const { return head_->value; }
  T &last() { return tail_->value; }
  const T &last() const { return tail_->value; }

  void swap(YList &other) noexcept {
    std::swap(head_, other.head_);
    std::swap(tail_, other.tail_);
    std::swap(count_, other.count_);
  }

  template <class V> class Iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = V *;
    using reference = V &;
    explicit Iterator(Node *node = nullptr) : node_(node) {}
    V &operator*() const { return node_->value; }
    V *operator->() const { return &node_->value; }
    Iterator &operator++() {
      node_ = node_->next;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      node_ = node_->next;
      return before;
    }
    bool operator==(const Iterator &other) const { return node_ == other.node_; }
    bool operator!=(const Iterator &other) const { return node_ != other.node_; }

  private:
    Node *node_;
  };
  using iterator = Iterator<T>;
  using const_iterator = Iterator<const T>;
  iterator begin() { return iterator(head_); }
  iterator end() { return iterator(); }
  const_iterator begin() const { return const_iterator(head_); }
  const_iterator end() const { return const_iterator(); }

private:
  void linkAfterTail(Node *node) {
    if (tail_)
      tail_->next = node;
    else
      head_ = node;
    tail_ = node;
    ++count_;
  }

  Node *head_ = nullptr;
  Node *tail_ = nullptr;
  int32_t count_ = 0;
};
