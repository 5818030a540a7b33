#include "kvsupport/containers/YError.h"

int YError::typeId() const { return 0; }
int YError::equals(const YObject &) const { return 1; }
int YError::lessThan(const YObject &) const { return 0; }
