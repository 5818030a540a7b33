#include "kvsupport/threads/ThreadPriority.h"

#include "os/Thread_p.h"

using kv::os::PriorityClass;

ThreadPriority sp_GetThreadPriority() {
  switch (kv::os::processPriorityClass()) {
  case PriorityClass::High:
    return ThreadPriorityHigh;
  case PriorityClass::Idle:
    return ThreadPriorityIdle;
  case PriorityClass::Normal:
    return ThreadPriorityNormal;
  default:
    return ThreadPriorityOther;
  }
}

bool sp_SetThreadPriority(int priority) {
  switch (priority) {
  case ThreadPriorityHigh:
    return kv::os::setProcessPriorityClass(PriorityClass::High);
  case ThreadPriorityIdle:
    return kv::os::setProcessPriorityClass(PriorityClass::Idle);
  case ThreadPriorityNormal:
    return kv::os::setProcessPriorityClass(PriorityClass::Normal);
  default:
    return false;
  }
}
