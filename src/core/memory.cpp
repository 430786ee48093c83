#include "core/memory.h"

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

namespace core {

namespace {

// Random probes into tables of many megabytes miss the TLB on almost every
// node; large pages cut that cost. Big blocks are aligned to the large page
// and advised before they are first touched; a kernel that declines leaves
// ordinary pages. The block is released with free() like any other.
void* LargePageCalloc(size_t count, size_t size) {
    constexpr size_t Large = size_t(1) << 21;
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    const size_t bytes = count * size;
    if (bytes < Large || bytes > SIZE_MAX - Large) return std::calloc(count, size);
    const size_t rounded = (bytes + Large - 1) & ~(Large - 1);
    void* block = std::aligned_alloc(Large, rounded);
    if (!block) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(block, rounded, MADV_HUGEPAGE);
#endif
    std::memset(block, 0, bytes);
    return block;
}

}  // namespace

TableAllocator hashAllocator = LargePageCalloc;

void* AllocateTable(uint64_t count, uint64_t size) {
    if (count == 0 || size == 0) return nullptr;
    if (count > SIZE_MAX / size) return nullptr;
    return hashAllocator(size_t(count), size_t(size));
}

}  // namespace core
