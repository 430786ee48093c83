// From a position to a verdict: colour normalisation, board folding, the key,
// the bit map and the diagram walk, with a look-ahead for a side that has no
// data of its own.
#include "bitbases/probe.h"

#include <algorithm>

#include "board/types.h"

namespace bitbases {

namespace {

inline int FileOf(int sq) { return sq & 7; }
inline int RankOf(int sq) { return sq >> 3; }
inline int MirrorFiles(int sq) { return sq ^ 7; }
inline int MirrorRanks(int sq) { return sq ^ 56; }
inline int Reflect(int sq) { return FileOf(sq) * 8 + RankOf(sq); }  // in the a1-h8 diagonal

// Index of the fold king in the pawnless triangle a1-d1-d4; -1 outside it.
const int8_t Triangle[64] = {
    0,  1,  2,  3,  -1, -1, -1, -1,
    -1, 4,  5,  6,  -1, -1, -1, -1,
    -1, -1, 7,  8,  -1, -1, -1, -1,
    -1, -1, -1, 9,  -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1,
};

// A position as the key sees it: kings, up to four men, side, en passant.
struct Placement {
    int king[2];  // [0] white, [1] black
    int whiteToMove;
    int epSquare;
    int count;
    int code[4], square[4];

    template <typename F>
    void Move(F f) {
        king[0] = f(king[0]);
        king[1] = f(king[1]);
        for (int i = 0; i < count; i++) square[i] = f(square[i]);
        if (epSquare > 0) epSquare = f(epSquare);
    }
};

inline bool IsPawnCode(int c) { return c == WP || c == BP; }

// Rejects what no legal position has, so that such input never reads a key
// that the builder was free to fill with anything. An en-passant square is
// kept only where a pawn of the side to move could take.
bool Sane(Placement& p) {
    int seen[64] = {};
    for (int k : p.king) {
        if (k < 0 || k > 63 || seen[k]++) return false;
    }
    int dfile = FileOf(p.king[0]) - FileOf(p.king[1]), drank = RankOf(p.king[0]) - RankOf(p.king[1]);
    if (dfile >= -1 && dfile <= 1 && drank >= -1 && drank <= 1) return false;
    for (int i = 0; i < p.count; i++) {
        int c = p.code[i], s = p.square[i];
        if (c < WQ || c > BP || c == BK || s < 0 || s > 63 || seen[s]++) return false;
        if (IsPawnCode(c) && (RankOf(s) == 0 || RankOf(s) == 7)) return false;
    }
    if (p.epSquare > 0) {
        bool keep = false;
        int wtm = p.whiteToMove;
        if (p.epSquare <= 63 && RankOf(p.epSquare) == (wtm ? 5 : 2) && !seen[p.epSquare]) {
            int taken = p.epSquare + (wtm ? -8 : 8);
            int theirPawn = wtm ? BP : WP, ourPawn = wtm ? WP : BP;
            bool pawnThere = false, takerBeside = false;
            for (int i = 0; i < p.count; i++) {
                if (p.square[i] == taken && p.code[i] == theirPawn) pawnThere = true;
                if (p.code[i] == ourPawn && RankOf(p.square[i]) == RankOf(taken) &&
                    (p.square[i] == taken - 1 || p.square[i] == taken + 1))
                    takerBeside = true;
            }
            keep = pawnThere && takerBeside;
        }
        if (!keep) p.epSquare = 0;
    }
    return true;
}

int ProbeAt(const BitbaseSet& set, Placement p, int depth);

// The kings and up to four men of a bitbase position, as the keys take them.
Placement PlacementOf(const CChessPosition& pos) {
    Placement p;
    p.king[0] = pos.whiteKing;
    p.king[1] = pos.blackKing;
    p.whiteToMove = pos.sideToMove;
    p.epSquare = pos.epSquare;
    p.count = 0;
    for (int s = 0; s < 64 && p.count < 4; s++) {
        int c = pos.board[s];
        if (c && c != WK && c != BK) {
            p.code[p.count] = c;
            p.square[p.count++] = s;
        }
    }
    return p;
}

// The side to move has no data: try its moves and read the children.
int LookAhead(const BitbaseSet& set, const CChessPosition& start, int depth) {
    CChessPosition pos = start;
    BitbaseMoveList list;
    pos.Generate(list, 1);
    if (list.count == 0) {
        // Mated if any move of the other side would take the king.
        int king = pos.sideToMove ? pos.whiteKing : pos.blackKing;
        pos.sideToMove ^= 1;
        BitbaseMoveList theirs;
        pos.Generate(theirs, 0);
        pos.sideToMove ^= 1;
        for (int i = 0; i < theirs.count; i++)
            if ((theirs.to[i] & 63) == king) return Loss;
        return Draw;
    }
    // A child the set cannot answer might be the one that wins or draws, so
    // only a winning move decides while any child is unknown.
    bool drawn = false, unknown = false;
    for (int i = 0; i < list.count; i++) {
        pos.PlayMove(list.Move(i));
        Placement child = PlacementOf(pos);
        int v = ProbeAt(set, child, depth + 1);
        pos.TakeBackMove();
        if (v == Loss) return Win;
        if (v == Draw) drawn = true;
        if (v == NoVerdict) unknown = true;
    }
    return unknown ? NoVerdict : drawn ? Draw : Loss;
}

// Steps 6-8 of ProbeAt: fold the board and compute the sub-table and key of
// a placement whose colours are already normalised.
void KeyOf(bool hasPawns, bool foldWhite, Placement p, int& sub, uint32_t& key) {
    bool wtm = p.whiteToMove != 0;
    int f = foldWhite ? 0 : 1;  // index of the fold king in p.king
    // Step 6: fold the board so that the fold king stands on the a-d files
    // (pawns) or in the triangle a1-d1-d4 (pawnless).
    if (hasPawns) {
        if (FileOf(p.king[f]) >= 4) p.Move(MirrorFiles);
    } else {
        if (Triangle[p.king[f]] < 0) {
            if (FileOf(p.king[f]) >= 4) p.Move(MirrorFiles);
            if (p.king[f] >= 32) p.Move(MirrorRanks);
            if (Triangle[p.king[f]] < 0) p.Move(Reflect);
        }
        int o = p.king[1 - f];
        if (RankOf(p.king[f]) == FileOf(p.king[f]) && FileOf(o) < RankOf(o)) p.Move(Reflect);
    }
    int t = hasPawns ? RankOf(p.king[f]) * 4 + FileOf(p.king[f]) : Triangle[p.king[f]];
    int o = p.king[1 - f];

    // Step 7: men in code order, by square within a code.
    int m[4], rank[4];
    for (int i = 0; i < p.count; i++) {
        int r = p.code[i] * 64 + p.square[i], j = i;
        for (; j > 0 && rank[j - 1] > r; j--) {
            rank[j] = rank[j - 1];
            m[j] = m[j - 1];
        }
        rank[j] = r;
        m[j] = p.square[i];
    }

    // Step 8: the key and sub-table.
    sub = 0;
    if (p.count == 1) {
        key = (uint32_t(t) * 64 + uint32_t(o)) * 64 + uint32_t(m[0]);
    } else {
        // The pawn that may be taken en passant moves to its own side's
        // back rank, where no pawn ever stands.
        if (p.epSquare > 0) {
            int d = wtm ? 8 : -8;
            int taken = p.epSquare - d;
            for (int i = 0; i < p.count; i++)
                if (m[i] == taken) {
                    m[i] = taken + 3 * d;
                    break;
                }
        }
        sub = t / 4;
        key = uint32_t(t % 4) * 64 + uint32_t(o);
        for (int i = 0; i < p.count; i++) key = key * 64 + uint32_t(m[i]);
    }
}

// Steps 6-9 of ProbeAt: the key, the bit map and the walk.
int Walk(const BitbaseTable& table, const Placement& p) {
    bool wtm = p.whiteToMove != 0;
    bool foldWhite = (wtm ? table.foldWhiteKingWtm : table.foldWhiteKingBtm) != 0;
    int sub;
    uint32_t key;
    KeyOf(table.hasPawns != 0, foldWhite, p, sub, key);
    if (sub >= table.subCount) return NoVerdict;
    const DecisionDiagram* d = table.Diagrams(wtm)[sub];
    if (!d) return NoVerdict;
    // Step 9: key bit j becomes diagram bit map[j].
    const uint8_t* map = (wtm ? table.bitMapsWtm : table.bitMapsBtm)[sub];
    uint32_t diagramKey = 0;
    for (int j = 0; key; j++, key >>= 1)
        if (key & 1) diagramKey |= uint32_t(1) << map[j];
    return int(d->Walk(diagramKey));
}

CChessPosition Build(const Placement& p) {
    CChessPosition pos;
    pos.Clear(p.whiteToMove != 0);
    pos.Put(WK, p.king[0]);
    pos.Put(BK, p.king[1]);
    for (int i = 0; i < p.count; i++) pos.Put(p.code[i], p.square[i]);
    if (p.epSquare > 0) pos.epSquare = p.epSquare;
    return pos;
}

int ProbeAt(const BitbaseSet& set, Placement p, int depth) {
    // Step 1: kings alone draw.
    if (p.count == 0) return Draw;
    if (!Sane(p)) return NoVerdict;
    // Step 2: more men than any table holds.
    int white = 0, black = 0, weight = 0;
    static const int Weight[6] = {0, 10000, 1000, 100, 10, 1};  // by white code - 1
    for (int i = 0; i < p.count; i++) {
        if (p.code[i] <= WP) {
            white++;
            weight += Weight[p.code[i] - 1];
        } else {
            black++;
            weight -= Weight[p.code[i] - 7];
        }
    }
    if (white + black + 2 > set.maxPieces) return NoVerdict;
    // Step 3: the stronger side plays white.
    if (white < black || (white == black && weight < 0)) {
        for (int i = 0; i < p.count; i++) p.code[i] += p.code[i] <= WP ? 6 : -6;
        p.Move(MirrorRanks);
        std::swap(p.king[0], p.king[1]);
        p.whiteToMove ^= 1;
    }
    // Step 4: the table of this material.
    int32_t counts[CodeCount] = {};
    for (int i = 0; i < p.count; i++) counts[p.code[i]]++;
    const BitbaseTable* table = set.Find(MaterialSignature(counts));
    if (!table) return NoVerdict;
    // Step 5: a side without data answers from the other side's, one move on.
    bool wtm = p.whiteToMove != 0;
    if (!table->HasSide(wtm)) {
        if (depth >= MaxLookAheadPlies || !table->HasSide(!wtm)) return NoVerdict;
        return LookAhead(set, Build(p), depth);
    }
    return Walk(*table, p);
}

}  // namespace

int Probe(const BitbaseSet& set, int whiteKing, int blackKing, int whiteToMove, int epSquare,
          const int codes[4], const int squares[4]) {
    Placement p;
    p.king[0] = whiteKing;
    p.king[1] = blackKing;
    p.whiteToMove = whiteToMove ? 1 : 0;
    p.epSquare = epSquare;
    p.count = 0;
    while (p.count < 4 && codes[p.count]) {
        p.code[p.count] = codes[p.count];
        p.square[p.count] = squares[p.count];
        p.count++;
    }
    return ProbeAt(set, p, 0);
}

bool PositionKey(bool hasPawns, bool foldWhiteKing, int whiteKing, int blackKing, int whiteToMove, int epSquare,
                 int count, const int codes[4], const int squares[4], int& sub, uint32_t& key) {
    Placement p;
    p.king[0] = whiteKing;
    p.king[1] = blackKing;
    p.whiteToMove = whiteToMove ? 1 : 0;
    p.epSquare = epSquare;
    p.count = count;
    for (int i = 0; i < count; i++) {
        p.code[i] = codes[i];
        p.square[i] = squares[i];
    }
    if (count < 1 || count > 4 || !Sane(p)) return false;
    KeyOf(hasPawns, foldWhiteKing, p, sub, key);
    return true;
}

int TableProbe(const BitbaseTable& table, const CChessPosition& pos) {
    Placement p = PlacementOf(pos);
    if (p.count == 0 || !Sane(p)) return p.count == 0 ? Draw : NoVerdict;
    if (!table.HasSide(p.whiteToMove != 0)) {
        if (!table.HasSide(p.whiteToMove == 0) || !table.owner) return NoVerdict;
        return LookAhead(*table.owner, Build(p), 0);
    }
    return Walk(table, p);
}

int ProbeScore(const uint8_t* engineBoard, int side, int epSquare) {
    // Engine code -> bitbase code; 0 for kings and codes that are no man.
    static const int Convert[16] = {0, 0, WP, WN, 0, WB, WR, WQ, 0, 0, BP, BN, 0, BB, BR, BQ};
    const BitbaseSet& set = Set();
    int limit = set.maxPieces;
    int whiteKing = -1, blackKing = -1, count = 0;
    int codes[4] = {}, squares[4] = {};
    for (int sq = 1; sq <= 64; sq++) {
        int code = engineBoard[sq];
        if (!code) continue;
        if (code == board::WKing) {
            whiteKing = sq - 1;
        } else if (code == board::BKing) {
            blackKing = sq - 1;
        } else {
            if (count + 2 >= limit || count >= 4 || code > 15 || !Convert[code]) return board::NoAnswer;
            codes[count] = Convert[code];
            squares[count++] = sq - 1;
        }
    }
    if (whiteKing < 0 || blackKing < 0) return board::NoAnswer;
    // Pass en passant on only when a pawn of the side to move can take.
    int ep = 0;
    if (epSquare >= 17 && epSquare <= 48) {
        int moved = side == 0 ? epSquare - 8 : epSquare + 8;
        int ownPawn = side == 0 ? board::WPawn : board::BPawn;
        int file = board::FileOf(moved);
        if ((file > 1 && engineBoard[moved - 1] == ownPawn) || (file < 8 && engineBoard[moved + 1] == ownPawn))
            ep = epSquare - 1;
    }
    int v = Probe(set, whiteKing, blackKing, side == 0, ep, codes, squares);
    switch (v) {
        case Win: return BitbaseWin;
        case Draw: return 0;
        case Loss: return -BitbaseWin;
        default: return board::NoAnswer;
    }
}

CegtbbitDLLApp& App() {
    static CegtbbitDLLApp app(&Set());
    return app;
}

ProbeState probeState;

int CountedProbe(const uint8_t* engineBoard, int side, int epSquare) {
    int answer = ProbeScore(engineBoard, side, epSquare);
    if (answer != board::NoAnswer) probeState.hits++;
    return answer;
}

}  // namespace bitbases
