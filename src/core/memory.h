// Allocation of the engine's big tables (hash tables, evaluation caches).
#pragma once
#include <cstddef>
#include <cstdint>

namespace core {

// Every table allocation goes through this calloc-like hook, so tests can
// make requests fail; it defaults to a calloc that asks for large pages.
using TableAllocator = void* (*)(size_t count, size_t size);
extern TableAllocator hashAllocator;

// calloc through the hook, refusing sizes that do not fit this machine's size_t
// (null for a zero count or size). Free the block with std::free.
void* AllocateTable(uint64_t count, uint64_t size);

}  // namespace core
