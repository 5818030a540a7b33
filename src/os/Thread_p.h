// Internal header, not API: thread identifiers and scheduling priorities of
// the platform layer.
#pragma once

#include <cstdint>

namespace kv::os {

/// The operating system's identifier of the calling thread.
uint32_t currentThreadId();

/// Whether a thread with identifier `id` exists and has not ended.
bool threadIsRunning(uint32_t id);

/// The process's scheduling class: High, Idle and Normal may be set.
enum class PriorityClass { High, Idle, Normal, Other };

/// The class of the process, as its main thread shows it.
PriorityClass processPriorityClass();

/// Gives every thread of the process the class `wanted`. False when the
/// system refuses (then nothing was changed) or `wanted` is Other.
bool setProcessPriorityClass(PriorityClass wanted);

} // namespace kv::os
