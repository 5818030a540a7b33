#include "kvsupport/containers/YObject.h"

#include "kvsupport/containers/YError.h"

namespace {
YError theError;
} // namespace

YObject::~YObject() = default;

YObject *const YObject::ZERO = &theError;

bool YObject::isFound(const YObject &object) {
  return object.typeId() != ZERO->typeId() || !object.equals(*ZERO);
}
