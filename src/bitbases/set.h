// The loaded bitbases: one table per material, each with up to eight
// sub-tables per side to move.
#pragma once
#include <cstdint>

#include "bitbases/diagram.h"
#include "bitbases/format.h"

namespace bitbases {

struct BitbaseSet;

struct BitbaseTable {
    // [sub-table]; a null diagram means that sub-table of the side is absent.
    DecisionDiagram** diagramsWtm = nullptr;
    DecisionDiagram** diagramsBtm = nullptr;
    uint8_t (*bitMapsWtm)[BitMapBytes] = nullptr;  // [sub-table][key bit] = diagram bit
    uint8_t (*bitMapsBtm)[BitMapBytes] = nullptr;
    uint8_t foldWhiteKingWtm = 0;  // 1: that side folds by the white king
    uint8_t foldWhiteKingBtm = 0;
    int32_t subCount = 0;
    int32_t pieceCounts[CodeCount] = {};
    int32_t men = 0;
    uint8_t hasPawns = 0;
    BitbaseSet* owner = nullptr;

    // Counts by code, kings included; the men must be 3 to 5.
    BitbaseTable(const int32_t counts[CodeCount], BitbaseSet* set);
    ~BitbaseTable();
    BitbaseTable(const BitbaseTable&) = delete;
    BitbaseTable& operator=(const BitbaseTable&) = delete;

    DecisionDiagram** Diagrams(bool whiteToMove) const { return whiteToMove ? diagramsWtm : diagramsBtm; }
    // 1 when every sub-table of the side is present.
    bool HasSide(bool whiteToMove) const;
    uint64_t Memory() const;
};

struct BitbaseSet {
    BitbaseTable** tables;   // [MaxTables], slots 0 .. count-1 in use
    uint32_t* signatures;    // beside tables; 0 in an unused slot
    int32_t count = 0;
    int32_t maxPieces = 0;   // men of the largest table loaded, kings included

    BitbaseSet();
    ~BitbaseSet();
    BitbaseSet(const BitbaseSet&) = delete;
    BitbaseSet& operator=(const BitbaseSet&) = delete;

    void UnloadAll();
    BitbaseTable* Find(uint32_t signature) const;
    int FindSlot(uint32_t signature) const;  // -1 when none
    // Up to four codes of men besides the kings, 0 for none.
    bool HasTable(int c1, int c2, int c3, int c4) const;
    uint64_t Memory() const;
};

// Ten 3-bit counts, white queens first and black pawns last; kings do not count.
uint32_t MaterialSignature(const int32_t counts[CodeCount]);

// The one set of the process, created at start-up and kept until exit.
BitbaseSet& Set();

}  // namespace bitbases
