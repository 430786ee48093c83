#include "tune/params.h"

#include "eval/internal.h"

namespace tune {

std::vector<Param> FreeParams() {
    eval::Weights& w = eval::W;
    std::vector<Param> p;
    auto one = [&](const char* name, int& v) { p.push_back({name, &v}); };
    auto many = [&](const char* name, int* v, int first, int last) {
        for (int i = first; i <= last; i++) p.push_back({std::string(name) + "[" + std::to_string(i) + "]", &v[i]});
    };
    // Rooks on open and half-open files, on the seventh rank, doubled.
    one("rookOpenFile", w.rookOpenFile);
    one("rookOpenFileEnd", w.rookOpenFileEnd);
    one("rookHalfOpen", w.rookHalfOpen);
    one("rookHalfOpenEnd", w.rookHalfOpenEnd);
    one("rookSeventh", w.rookSeventh);
    one("rookSeventhEnd", w.rookSeventhEnd);
    one("rooksDoubled", w.rooksDoubled);
    one("rookBehindPassed", w.rookBehindPassed);
    // Minor-piece mobility.
    many("knightMobility", w.knightMobility, 0, 8);
    many("bishopMobility", w.bishopMobility, 0, 13);
    // Pawn structure (the doubled-pawn file values are fixed).
    one("isolated", w.isolated);
    one("isolatedEnd", w.isolatedEnd);
    one("isolatedOpen", w.isolatedOpen);
    one("backward", w.backward);
    one("backwardEnd", w.backwardEnd);
    one("backwardOpen", w.backwardOpen);
    many("connected", w.connected, 1, 6);  // ranks 2..7; a pawn never stands on 1 or 8
    // Passed pawns beyond their tables.
    one("passedEnemyKing", w.passedEnemyKing);
    one("passedOwnKing", w.passedOwnKing);
    one("unstoppable", w.unstoppable);
    // King safety.
    one("shelterNone", w.shelterNone);
    one("shelterRank3", w.shelterRank3);
    one("shelterRank4", w.shelterRank4);
    one("shelterFar", w.shelterFar);
    one("stormRank3", w.stormRank3);
    one("stormRank4", w.stormRank4);
    one("stormRank5", w.stormRank5);
    one("openFileNearKing", w.openFileNearKing);
    many("safeCheck", w.safeCheck, 0, 3);
    one("kingDangerLinear", w.kingDangerLinear);
    one("kingDangerSquare", w.kingDangerSquare);
    // Threats against pieces.
    many("threatByPawn", w.threatByPawn, 0, 3);
    many("threatByLesser", w.threatByLesser, 2, 3);
    many("threatHanging", w.threatHanging, 0, 3);
    one("threatHangingPawn", w.threatHangingPawn);
    one("threatMoverTempo", w.threatMoverTempo);
    one("tempo", w.tempo);
    one("minorBehindPawn", w.minorBehindPawn);
    one("space", w.space);
    // Base tables of the piece-square score.
    auto squares = [&](const char* name, eval::SquareTable& t, int kind, bool symmetric) {
        for (int i = 0; i < 64; i++) {
            const int file = i % 8;
            if (symmetric && file >= 4) continue;
            Param q{std::string(name) + "[" + std::to_string(i) + "]", &t[size_t(i)]};
            q.kind = kind;
            q.square = i + 1;
            if (symmetric) {
                const int j = i - file + 7 - file;
                q.twin = &t[size_t(j)];
                q.twinName = std::string(name) + "[" + std::to_string(j) + "]";
                q.twinSquare = j + 1;
            }
            p.push_back(q);
        }
    };
    squares("knightSquares", w.knightSquares, board::WKnight, true);
    squares("bishopSquares", w.bishopSquares, board::WBishop, true);
    squares("rookSquaresMg", w.rookSquaresMg, board::WRook, true);
    squares("rookSquaresEg", w.rookSquaresEg, board::WRook, true);
    squares("queenSquaresMg", w.queenSquaresMg, board::WQueen, true);
    squares("queenSquaresEg", w.queenSquaresEg, board::WQueen, true);
    squares("kingSquaresMg", w.kingSquaresMg, board::WKing, false);
    squares("kingSquaresQueenless", w.kingSquaresQueenless, board::WKing, false);
    squares("kingSquaresEg", w.kingSquaresEg, board::WKing, true);
    // Centre control.
    one("centreInner", w.centreInner);
    one("centreOuter", w.centreOuter);
    return p;
}

}  // namespace tune
