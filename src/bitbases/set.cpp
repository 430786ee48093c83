// The bitbase set and its tables.
#include "bitbases/set.h"

#include <cstring>
#include <initializer_list>

namespace bitbases {

uint32_t MaterialSignature(const int32_t counts[CodeCount]) {
    static const int Order[10] = {WQ, WR, WB, WN, WP, BQ, BR, BB, BN, BP};
    uint32_t s = 0;
    for (int code : Order) s = s * 8 + (uint32_t(counts[code]) & 7);
    return s;
}

BitbaseTable::BitbaseTable(const int32_t counts[CodeCount], BitbaseSet* set) : owner(set) {
    for (int c = 0; c < CodeCount; c++) {
        pieceCounts[c] = counts[c];
        men += counts[c];
    }
    hasPawns = counts[WP] + counts[BP] > 0;
    subCount = SubTableCount(men, hasPawns);
    diagramsWtm = new DecisionDiagram*[subCount]();
    diagramsBtm = new DecisionDiagram*[subCount]();
    bitMapsWtm = new uint8_t[subCount][BitMapBytes]();
    bitMapsBtm = new uint8_t[subCount][BitMapBytes]();
}

BitbaseTable::~BitbaseTable() {
    for (int i = 0; i < subCount; i++) {
        delete diagramsWtm[i];
        delete diagramsBtm[i];
    }
    delete[] diagramsWtm;
    delete[] diagramsBtm;
    delete[] bitMapsWtm;
    delete[] bitMapsBtm;
}

bool BitbaseTable::HasSide(bool whiteToMove) const {
    DecisionDiagram** d = Diagrams(whiteToMove);
    for (int i = 0; i < subCount; i++)
        if (!d[i]) return false;
    return true;
}

uint64_t BitbaseTable::Memory() const {
    uint64_t size = 67 + 64 * uint64_t(subCount);
    for (int i = 0; i < subCount; i++) {
        if (diagramsWtm[i]) size += diagramsWtm[i]->Size();
        if (diagramsBtm[i]) size += diagramsBtm[i]->Size();
    }
    return size;
}

BitbaseSet::BitbaseSet() {
    tables = new BitbaseTable*[MaxTables]();
    signatures = new uint32_t[MaxTables]();
}

BitbaseSet::~BitbaseSet() {
    UnloadAll();
    delete[] tables;
    delete[] signatures;
}

void BitbaseSet::UnloadAll() {
    for (int i = 0; i < count; i++) {
        delete tables[i];
        tables[i] = nullptr;
        signatures[i] = 0;
    }
    count = 0;
    maxPieces = 0;
}

int BitbaseSet::FindSlot(uint32_t signature) const {
    for (int i = 0; i < count; i++)
        if (signatures[i] == signature) return i;
    return -1;
}

BitbaseTable* BitbaseSet::Find(uint32_t signature) const {
    int slot = FindSlot(signature);
    return slot < 0 ? nullptr : tables[slot];
}

bool BitbaseSet::HasTable(int c1, int c2, int c3, int c4) const {
    int32_t counts[CodeCount] = {};
    for (int c : {c1, c2, c3, c4})
        if (c > 0 && c < CodeCount) counts[c]++;
    return Find(MaterialSignature(counts)) != nullptr;
}

uint64_t BitbaseSet::Memory() const {
    uint64_t size = 2056;
    for (int i = 0; i < count; i++) size += tables[i]->Memory();
    return size;
}

BitbaseSet& Set() {
    static BitbaseSet set;
    return set;
}

}  // namespace bitbases
