// Table descriptors: name, flags, index functions and entry counts per side.
#pragma once
#include <cstdint>

#include "tablebases/tbindex.h"

namespace tablebases {

constexpr int TableCount = 440;

enum TbFlags : int {
    TbSymmetric = 1,    // same men on both sides: only the white-to-move file exists
    TbWideEntries = 2,  // 16-bit entries
    TbSplit = 4,        // several files per side, 2^31 bytes each
};

struct TbDescriptor {
    const char* name;   // white's men first, each side from its king: krpkr
    int flags;
    PfnCalcIndex calcW, calcB;
    PfnEntries entriesOfW, entriesOfB;
    TbIndex entriesW, entriesB;   // filled by VInitTbDescriptors
};

// Index 0 is the empty material (kings only), never probed.
extern TbDescriptor TbDescriptors[TableCount + 1];

// Builds the index tables and fills in the entry counts and split flags.
void VInitTbDescriptors();

// Parts of a table side's file: one unless the table is split.
int CTbParts(int iTb, int side);

}  // namespace tablebases
