// The engine's own 3- and 4-men set: found without any setoption while the
// path keeps its start value, and used by a search as a host would see it.
#include <gtest/gtest.h>

#include <string>

#include "../engine/engine_process.h"
#include "bb_support.h"
#include "bitbases/format.h"
#include "endgame/position.h"

namespace {

using testing_support::Lines;
using testing_support::RunEngine;

TEST(DefaultBitbases, StartPathFallsBackToTheEnginesOwnSet) {
    bbtest::Session session;
    // Nothing lives at the start value here, so the own set answers.
    session.Load("/kestrionbases/bases.ini", 0);
    EXPECT_EQ(bitbases::Set().count, 35);
    EXPECT_EQ(bitbases::LargestPieceCount(), 4);
    EXPECT_EQ(bbtest::ProbeText("Ke1 Ra1 ke8", 'b'), bitbases::Loss);
    EXPECT_EQ(bbtest::ProbeText("Ke1 Pe2 kd4", 'w'), bitbases::Draw);

    // Any other path that finds nothing loads nothing.
    std::vector<std::string> lines = session.Load("/kestrionbases/other.ini", 1);
    EXPECT_EQ(bitbases::Set().count, 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("with 0 pieces found"), std::string::npos);
}

struct Outcome {
    int score = 0;
    long sbhits = 0;
    std::string best;
    std::string output;
};

// A search of `fen` by the engine as started, without any setoption.
Outcome Think(const std::string& fen) {
    const std::string input = "isready\nposition fen " + fen + "\ngo depth 6\n";
    Outcome o;
    o.output = RunEngine({"cs2000"}, input, 60.0, "bestmove").output;
    for (const std::string& line : Lines(o.output)) {
        size_t at = line.find(" score cp ");
        if (line.rfind("info depth", 0) == 0 && at != std::string::npos) o.score = std::stoi(line.substr(at + 10));
        at = line.find(" score mate ");
        if (line.rfind("info depth", 0) == 0 && at != std::string::npos)
            o.score = std::stoi(line.substr(at + 12)) > 0 ? 30000 : -30000;
        at = line.find(" sbhits ");
        if (at != std::string::npos) o.sbhits = std::stol(line.substr(at + 8));
        if (line.rfind("bestmove ", 0) == 0) o.best = line.substr(9, line.find(' ', 9) - 9);
    }
    return o;
}

// Verdict for the side to move after `move` is played in `fen`, from the
// own set as this process loads it.
int AfterMove(const std::string& fen, const std::string& move) {
    endgame::Position p;
    if (!endgame::ReadFen(fen, p)) return -9;
    endgame::Move moves[256];
    int n = endgame::GenerateMoves(p, moves);
    for (int i = 0; i < n; i++) {
        const endgame::Move& m = moves[i];
        auto name = [](int sq) { return std::string(1, char('a' + sq % 8)) + char('1' + sq / 8); };
        std::string text = name(p.square[m.man]) + name(m.to);
        if (m.promo != endgame::NoPiece) text += "?qrbn"[m.promo];
        if (text != move) continue;
        endgame::Position c = endgame::MakeMove(p, m);
        int wk = -1, bk = -1, count = 0, codes[4] = {}, squares[4] = {};
        for (int j = 0; j < c.count; j++) {
            if (c.type[j] == endgame::King) {
                (c.colour[j] == endgame::White ? wk : bk) = c.square[j];
                continue;
            }
            codes[count] = c.type[j] + 1 + (c.colour[j] == endgame::Black ? 6 : 0);
            squares[count++] = c.square[j];
        }
        return bitbases::Probe(bitbases::Set(), wk, bk, c.stm == endgame::White, c.ep > 0 ? c.ep : 0, codes, squares);
    }
    return -9;
}

TEST(DefaultBitbases, EngineKnowsTheOutcomeOfSmallEndingsOutOfTheBox) {
    bbtest::Session session;
    session.Load("/kestrionbases/bases.ini", 0);
    ASSERT_EQ(bitbases::LargestPieceCount(), 4);
    endgame::InitBoard();
    // A root inside the set is answered once and then searched by the
    // evaluation (clearly winning, or the draw of a pawn ending); a root
    // outside it reaches the set through captures and scores its win.
    struct Case {
        const char* fen;
        bool win;  // else a draw
        int least;  // smallest score that shows the win
    } cases[] = {
        {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", true, 400},        // rook against king
        {"8/8/2k5/8/3r4/8/8/3QK3 w - - 0 1", true, 400},      // queen against rook
        {"8/8/8/8/3k4/8/4P3/4K3 w - - 0 1", false, 0},        // the defending king is in front
        {"8/8/8/8/8/1k6/4P3/4K3 w - - 0 1", true, 400},     // too far away
        {"4k3/7p/8/8/8/8/3p4/R3K3 w - - 0 1", true, 20000},   // takes into rook against pawn
    };
    for (const Case& c : cases) {
        Outcome o = Think(c.fen);
        SCOPED_TRACE(c.fen + std::string("\n") + o.output);
        EXPECT_GT(o.sbhits, 0);
        if (c.win) {
            EXPECT_GT(o.score, c.least);
            // The move keeps the win: the other side is lost after it.
            if (std::string(c.fen).find("7p") == std::string::npos) {
                EXPECT_EQ(AfterMove(c.fen, o.best), bitbases::Loss);
            }
        } else {
            EXPECT_LE(std::abs(o.score), 1);
            EXPECT_EQ(AfterMove(c.fen, o.best), bitbases::Draw);
        }
    }
}

}  // namespace
