#pragma once

/// The polymorphic base of the objects that `YTreeImpl` holds. Two objects
/// are equal only when their `typeId`s match and `equals` says so; one orders
/// before another only when their `typeId`s match and `lessThan` says so.
/// Objects of different types are never equal and never ordered.
class YObject {
public:
  virtual ~YObject();
  /// The type identifier; objects of different types never compare.
  virtual int typeId() const = 0;
  /// Non-zero when this object equals `other` (of the same type).
  virtual int equals(const YObject &other) const = 0;
  /// Non-zero when this object orders before `other` (of the same type).
  virtual int lessThan(const YObject &other) const = 0;

  /// Stands for "no object": every look-up that finds nothing returns it. It
  /// is never stored in, nor destroyed by, a container.
  static YObject *const ZERO;

  /// True when `object` is not `*ZERO`: its type differs from ZERO's, or it
  /// does not equal ZERO.
  static bool isFound(const YObject &object);

  /// The ordering rules above, applied to a pair.
  static bool isEqual(const YObject &a, const YObject &b) {
    return a.typeId() == b.typeId() && a.equals(b);
  }
  static bool isLess(const YObject &a, const YObject &b) {
    return a.typeId() == b.typeId() && a.lessThan(b);
  }

protected:
  YObject() = default;
  YObject(const YObject &) = default;
  YObject &operator=(const YObject &) = default;
};
