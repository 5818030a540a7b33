#include "kvsupport/hooks/DynamicFunction.h"

#include "kvsupport/strings/YString.h"

#include <cstring>
#include <mutex>

namespace {

struct Node {
  void *function;
  char name[MakeDynamicFunction::kMaxNameLength + 1];
  Node *next;
};

// The registry: a list with the newest registration first. It is built by
// the first registration and freed when the last one goes, or at process
// exit. The mutex has a constant initialiser, so registrations made by
// static objects of other modules while they load find it ready.
std::mutex registryMutex;
Node *registryHead = nullptr;

void freeAll() {
  std::lock_guard<std::mutex> lock(registryMutex);
  while (registryHead) {
    Node *node = registryHead;
    registryHead = node->next;
    delete node;
  }
}

// Frees what is left at process exit; registrations destroyed after this
// find an empty registry and do nothing.
struct ExitRelease {
  ~ExitRelease() { freeAll(); }
} exitRelease;

void copyName(char (&to)[MakeDynamicFunction::kMaxNameLength + 1], const char *from) {
  size_t length = from ? ::strnlen(from, MakeDynamicFunction::kMaxNameLength) : 0;
  std::memcpy(to, from ? from : "", length);
  std::memset(to + length, 0, sizeof to - length);
}

} // namespace

MakeDynamicFunction::MakeDynamicFunction(void *function, const char *name) : function_(function) {
  copyName(name_, name);
  Node *node = new Node;
  node->function = function;
  std::memcpy(node->name, name_, sizeof name_);
  std::lock_guard<std::mutex> lock(registryMutex);
  node->next = registryHead;
  registryHead = node;
}

MakeDynamicFunction::~MakeDynamicFunction() {
  std::lock_guard<std::mutex> lock(registryMutex);
  for (Node **link = &registryHead; *link;) {
    Node *node = *link;
    if (std::strcmp(node->name, name_) == 0) {
      *link = node->next;
      delete node;
    } else {
      link = &node->next;
    }
  }
}

MakeDynamicFunction &MakeDynamicFunction::operator=(const MakeDynamicFunction &other) {
  std::memcpy(name_, other.name_, sizeof name_);
  function_ = other.function_;
  return *this;
}

void *support_GetDynamicFunction(const YString &name) {
  char wanted[MakeDynamicFunction::kMaxNameLength + 1];
  copyName(wanted, name.tocs());
  std::lock_guard<std::mutex> lock(registryMutex);
  for (Node *node = registryHead; node; node = node->next) {
    if (std::strcmp(node->name, wanted) == 0)
      return node->function;
  }
  return nullptr;
}
