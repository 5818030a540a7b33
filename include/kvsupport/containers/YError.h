#pragma once

#include "kvsupport/containers/YObject.h"

/// The "no object" object behind `YObject::ZERO`: type 0, equal to every
/// object of type 0, before none.
class YError : public YObject {
public:
  int typeId() const override;
  int equals(const YObject &other) const override;
  int lessThan(const YObject &other) const override;
};
