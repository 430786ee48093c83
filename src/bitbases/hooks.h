// Entry points of the bitbase loader used by the option handler and isready.
#pragma once
#include <cstdint>

namespace bitbases {

// Unloads everything and loads the bitbases named by the bitbase path (an
// index file "*.ini" or one "*.tbe" file); reportMode 1 announces every file
// and the summary, 0 loads quietly.
void LoadBitbases(int reportMode);
void UnloadBitbases();
// Men (kings included) of the largest loaded table; 0 when none is loaded.
int LargestPieceCount();
// Accounting figure of the loaded set, in bytes.
uint64_t MemoryBytes();

// One bitbase file: CheckFile answers 0 good, 1 unreadable or wrong version,
// 2 wrong magic, 3 checksum mismatch. LoadFile checks, reads and adds all of
// the file's entries, or nothing of it when any entry is broken; 0 when
// loaded.
int CheckFile(const char* path);
int LoadFile(const char* path);

}  // namespace bitbases
