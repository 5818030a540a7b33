#pragma once

#include "kvsupport/ipc/SimFeDataTransceiver.h"

/// The option definitions of this process as one copy-data object, so that
/// a simulator started by the front end knows the front end's options and
/// their defaults (and the other way round: a remote call with it is
/// answered with the callee's definitions).
///
/// The block (little-endian, no padding): a 32-bit count, then per
/// definition in table order its 32-bit type, name, default text, 64-bit
/// default real, one byte each for the default bool, the path flag and the
/// migrateable flag, the source module and the 32-bit source line. Texts are
/// YString blocks (32-bit length, bytes). The fixed flag is not carried.
class RequestOptions : public CopyDataObject {
public:
  /// 4, plus 31 and the lengths of the three texts per definition.
  int getBlockBytes() const override;
  void writeBlock(void **cursor) const override;
  /// Adds each received definition whose name is not defined here; those
  /// already defined stay as they are. The option table is made when there
  /// is none. A block that does not fit its record, or holds a type that is
  /// no option type, adds nothing.
  void readBlock(void **cursor, DataMessageTranceiver *receiver) override;
  /// Always true: the caller gets this process's definitions back.
  bool answerRequest(SimFeDataTransceiver *receiver) override { return true; }
};
