// Bitbase verdicts for positions of three to five men.
#pragma once
#include <cstdint>

#include "bitbases/position.h"
#include "bitbases/set.h"

namespace bitbases {

// Verdict for the side to move (Win, Draw, Loss, or NoVerdict when the set
// cannot answer). Squares 0..63; epSquare 0 for none; codes[i] 0 marks an
// absent man, present men first.
int Probe(const BitbaseSet& set, int whiteKing, int blackKing, int whiteToMove, int epSquare,
          const int codes[4], const int squares[4]);
// Verdict of a prepared position from one table (colours already normalised).
int TableProbe(const BitbaseTable& table, const CChessPosition& pos);

// The sub-table and key a table folded by the given king walks for a
// position whose colours are already normalised (present men first, count
// of them). False for what no legal position has (the position is then not
// keyed); an en-passant square that no pawn can use is dropped. The builder
// keys its tables with this, so writer and reader cannot disagree.
bool PositionKey(bool hasPawns, bool foldWhiteKing, int whiteKing, int blackKing, int whiteToMove, int epSquare,
                 int count, const int codes[4], const int squares[4], int& sub, uint32_t& key);

// The engine's probe: engine board (squares 1..64, engine piece codes), side
// to move 0 white / 1 black, en-passant square in engine numbering or 0.
// Returns 28000 (side to move wins), 0, -28000 or 30001 (no answer).
int ProbeScore(const uint8_t* engineBoard, int side, int epSquare);

constexpr int BitbaseWin = 28000;

// What the probes of one search did: the answers given (the host's "sbhits")
// and whether the root itself was answered, which makes the evaluation probe
// pawn endings. The search resets both at every `go`.
struct ProbeState {
    uint64_t hits = 0;
    int rootInBitbase = 0;
};
extern ProbeState probeState;
// ProbeScore that counts a hit for every answer.
int CountedProbe(const uint8_t* engineBoard, int side, int epSquare);

// The bitbase library object: forwards probes to the process's set.
class CegtbbitDLLApp {
public:
    BitbaseSet* set;
    explicit CegtbbitDLLApp(BitbaseSet* s) : set(s) {}
    virtual int Init() { return 1; }
    int Probe(int whiteKing, int blackKing, int whiteToMove, int epSquare, const int codes[4],
              const int squares[4]) const {
        return bitbases::Probe(*set, whiteKing, blackKing, whiteToMove, epSquare, codes, squares);
    }
    virtual ~CegtbbitDLLApp() = default;
};
CegtbbitDLLApp& App();

}  // namespace bitbases
