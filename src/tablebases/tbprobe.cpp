// The engine's probe: board to square arrays and men counts, the registry
// look-up with colours reversed when the table stores them the other way,
// the entry number, and the stored value turned into a score.
#include "tablebases/tbprobe.h"

#include <cstdlib>
#include <utility>

#include "board/types.h"
#include "tablebases/tbstate.h"

namespace tablebases {

namespace {

constexpr int ArraySize = 24;   // per colour: king at 0, men of type t at 4t..4t+3
constexpr int MaxMenOfKind = 3;

// Engine piece code & 7 to the index functions' man type (pawn 1 .. queen 5).
constexpr int ManType[8] = {0, 0, 1, 2, 0, 3, 4, 5};

// An en-passant square (0-based) that a pawn of the side to move can use:
// the pawn that moved two squares stands in front of it and a capturer
// stands beside that pawn; else none.
int UsableEnPassant(const uint8_t* board, int side, int epSquare) {
    if (epSquare < 1 || epSquare > 64) return NoEnPassant;
    const int target = epSquare - 1;
    const int file = target & 7;
    const int own = side == 0 ? board::WPawn : board::BPawn;
    const int their = side == 0 ? board::BPawn : board::WPawn;
    int moved, left, right;
    if (side == 0) {
        if (target < 40 || target > 47) return NoEnPassant;
        moved = target - 8, left = target - 9, right = target - 7;
    } else {
        if (target < 16 || target > 23) return NoEnPassant;
        moved = target + 8, left = target + 7, right = target + 9;
    }
    if (board[moved + 1] != their || board[target + 1] != 0) return NoEnPassant;
    if (file > 0 && board[left + 1] == own) return target;
    if (file < 7 && board[right + 1] == own) return target;
    return NoEnPassant;
}

}  // namespace

int TbMapByte(int8_t v) {
    if (v == 0) return 0;
    if (v == 127) return 32767;
    if (v == -127) return -32640;
    if (v == -128) return 32640;
    return v > 0 ? v + 32640 : v - 32640;
}

int TbDistance(int raw) {
    if (raw == 0 || raw == 32767) return 0;
    if (raw > 0) return 32767 - raw;
    if (raw == -32767) return -32767;
    if (raw == -32768) return 32767;
    return -32767 - raw;
}

int TbScore(int distance) {
    if (distance == 0) return 0;
    const int score = distance > 0 ? board::MateValue - 2 * distance : -2 * distance - (board::MateValue + 2);
    // The codes that mean no distance at all would land outside the window.
    return score >= -board::MateValue && score <= board::MateValue ? score : TbNoAnswer;
}

int TbProbeScore(const uint8_t* board, int side, int epSquare) {
    if (CTbMaxMen() == 0) return TbNoAnswer;

    // 1. Square arrays and men counts from the board.
    int psq[2][ArraySize] = {};
    int counts[10] = {};
    int kings[2] = {0, 0}, men = 0;
    for (int sq = 1; sq <= 64; sq++) {
        const int code = board[sq];
        if (!code) continue;
        if (code > 15) return TbNoAnswer;
        const int colour = board::ColourOf(code);
        if (board::IsKing(code)) {
            if (kings[colour]++) return TbNoAnswer;
            psq[colour][0] = sq - 1;
            continue;
        }
        const int type = ManType[code & 7];
        if (!type || ++men + 2 > CTbMaxMen()) return TbNoAnswer;
        // Pawns on the first or last rank fit no table numbering.
        if (type == 1 && (sq <= 8 || sq > 56)) return TbNoAnswer;
        int& n = counts[5 * colour + type - 1];
        if (n == MaxMenOfKind) return TbNoAnswer;
        psq[colour][4 * type + n++] = sq - 1;
    }
    if (kings[0] != 1 || kings[1] != 1) return TbNoAnswer;
    const int dx = std::abs((psq[0][0] & 7) - (psq[1][0] & 7)), dy = std::abs((psq[0][0] >> 3) - (psq[1][0] >> 3));
    if (dx <= 1 && dy <= 1) return TbNoAnswer;
    const int ep = UsableEnPassant(board, side, epSquare);

    // 2. The table, with colours reversed when it holds them the other way.
    int iTb = ITbLookup(counts);
    if (iTb == 0) return TbNoAnswer;
    int invert = 0;
    int* white = psq[0];
    int* black = psq[1];
    if (iTb < 0 || ((TbDescriptors[iTb].flags & TbSymmetric) && side == 1)) {
        // A symmetric table keeps only white to move: black to move is the
        // same position with colours reversed.
        iTb = std::abs(iTb);
        std::swap(white, black);
        side ^= 1;
        invert = 1;
    }

    // 3. A file for the side to move.
    if (TbSides[iTb][FileSide(iTb, side)].parts == 0) return TbNoAnswer;

    // 4. Entry, stored value, score.
    const TbDescriptor& d = TbDescriptors[iTb];
    const TbIndex entry = (side == 0 ? d.calcW : d.calcB)(white, black, ep, invert);
    const int raw = L_TbtProbeTable(iTb, side, entry);
    if (raw == TbtUnknown) return TbNoAnswer;
    return TbScore(TbDistance(raw));
}

}  // namespace tablebases
