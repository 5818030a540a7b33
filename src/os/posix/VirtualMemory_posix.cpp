// Reserve-then-commit on POSIX: a reservation is an anonymous private
// mapping with PROT_NONE and MAP_NORESERVE, so it costs address space but no
// memory; committing turns pages read-write with mprotect, and the kernel
// backs them on first touch. The block therefore grows in place, never moves.
//
// A C heap block's true size comes from the allocator itself, which rounds
// every request up to its own granule.
#include "os/VirtualMemory_p.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kv::os {

unsigned long long physicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0)
    return 0;
  return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(size);
}

size_t heapBlockCapacity(void *block) { return ::malloc_usable_size(block); }

size_t pageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

void *reserveAddressSpace(size_t bytes) {
  void *base =
      ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

bool commitPages(void *base, size_t bytes) {
  return ::mprotect(base, bytes, PROT_READ | PROT_WRITE) == 0;
}

void releaseAddressSpace(void *base, size_t bytes) { ::munmap(base, bytes); }

} // namespace kv::os
