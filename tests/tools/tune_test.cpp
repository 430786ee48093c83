// The tuner: its position file, the game-ending rules of its self-play, the
// list of weights it may change, and the gen-then-fit pipeline end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "../engine/start.h"
#include "board/movegen.h"
#include "eval/internal.h"
#include "tune/data.h"
#include "tune/params.h"

namespace {

void PlayText(tune::Referee& referee, const char* text) {
    board::Move legal[256];
    const int n = referee.LegalMoves(legal, 256);
    for (int i = 0; i < n; i++) {
        char buffer[16];
        board::WriteMoveText(buffer, legal[i]);
        if (std::string(buffer) == text) {
            board::PlayGameMove(board::Game, legal[i]);
            referee.Played(legal[i]);
            return;
        }
    }
    FAIL() << "no legal move " << text;
}

TEST(TuneData, FenWriterRoundTripsBoardSideCastlingAndEnPassant) {
    enginetest::StartEngine();
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w Kq - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 1",
        "8/8/1p3k2/p1p5/P1P5/1P3K2/8/8 b - - 0 1",
    };
    for (const char* fen : fens) {
        ASSERT_TRUE(board::ReadFen(fen, board::Game)) << fen;
        board::StartGame(board::Game);
        EXPECT_EQ(tune::WriteFen(board::Game), fen);
    }
}

TEST(TuneData, LinesCarryAResultOfWhiteView) {
    tune::Sample s;
    ASSERT_TRUE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1", s));
    EXPECT_EQ(s.fen, "8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1");
    EXPECT_EQ(s.result, 1.0f);
    ASSERT_TRUE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 b - - 0 1;0.5", s));
    EXPECT_EQ(s.result, 0.5f);
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;0.7", s));
    EXPECT_FALSE(tune::ParseLine(";1", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1x", s));
}

TEST(TuneData, ALabelledLineCarriesTheReferenceScore) {
    tune::Sample s;
    ASSERT_TRUE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;0", s));
    EXPECT_EQ(s.expected, -1.0f);
    ASSERT_TRUE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 b - - 0 1;0.5;0.982", s));
    EXPECT_EQ(s.fen, "8/8/8/4k3/8/8/2Q5/4K3 b - - 0 1");
    EXPECT_EQ(s.result, 0.5f);
    EXPECT_FLOAT_EQ(s.expected, 0.982f);
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1;", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1;1.5", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1;-0.1", s));
    EXPECT_FALSE(tune::ParseLine("8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1;1;0.5;0.5", s));
}

TEST(TuneData, AReferenceVerdictComesFromWinDrawLossOrAMate) {
    double e = -1;
    bool bound = true;
    ASSERT_TRUE(tune::InfoVerdict("info depth 9 seldepth 12 multipv 1 score cp 31 wdl 100 850 50 nodes 2001 pv e2e4",
                                  e, bound));
    EXPECT_DOUBLE_EQ(e, 0.525);
    EXPECT_FALSE(bound);
    ASSERT_TRUE(tune::InfoVerdict("info depth 9 score cp -188 wdl 0 10 990 upperbound nodes 3001", e, bound));
    EXPECT_DOUBLE_EQ(e, 0.005);
    EXPECT_TRUE(bound);
    ASSERT_TRUE(tune::InfoVerdict("info depth 3 score mate 2 nodes 90 pv h5f7", e, bound));
    EXPECT_EQ(e, 1);
    ASSERT_TRUE(tune::InfoVerdict("info depth 0 score mate 0", e, bound));
    EXPECT_EQ(e, 0);
    ASSERT_TRUE(tune::InfoVerdict("info depth 5 score mate -3 lowerbound", e, bound));
    EXPECT_EQ(e, 0);
    EXPECT_TRUE(bound);
    // No score to read, or figures that make no sense.
    EXPECT_FALSE(tune::InfoVerdict("info depth 9 score cp 31 nodes 2001", e, bound));
    EXPECT_FALSE(tune::InfoVerdict("info depth 9 score cp 31 wdl 0 0 0", e, bound));
    EXPECT_FALSE(tune::InfoVerdict("info depth 9 score cp 31 wdl 5 -1 996", e, bound));
    EXPECT_FALSE(tune::InfoVerdict("bestmove e2e4 ponder e7e5", e, bound));
}

TEST(TuneReferee, ThirdOccurrenceIsARepetitionAndAPawnMoveForgetsTheHistory) {
    enginetest::StartEngine();
    std::unique_ptr<board::Tree> tree(new board::Tree());
    tune::Referee referee;
    referee.tree = tree.get();
    board::SetStartPosition(board::Game);
    board::StartGame(board::Game);
    referee.Start();
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (const char* m : shuffle) PlayText(referee, m);
    EXPECT_FALSE(referee.Repeated()) << "second occurrence only";
    for (const char* m : shuffle) PlayText(referee, m);
    EXPECT_TRUE(referee.Repeated());
    PlayText(referee, "e2e4");
    EXPECT_FALSE(referee.Repeated());
    EXPECT_EQ(referee.HalfMoves(), 0);
}

TEST(TuneReferee, DeadDrawsAndMates) {
    enginetest::StartEngine();
    std::unique_ptr<board::Tree> tree(new board::Tree());
    tune::Referee referee;
    referee.tree = tree.get();
    auto load = [&](const char* fen) {
        EXPECT_TRUE(board::ReadFen(fen, board::Game)) << fen;
        board::StartGame(board::Game);
        referee.Start();
    };
    load("8/8/3k4/8/8/3KB3/8/8 w - - 0 1");
    EXPECT_TRUE(referee.DeadDraw());
    load("8/8/3k4/8/8/3KBN2/8/8 w - - 0 1");
    EXPECT_FALSE(referee.DeadDraw());
    load("8/8/3k4/8/8/3K4/4P3/8 w - - 0 1");
    EXPECT_FALSE(referee.DeadDraw());
    // Back-rank mate: no legal move and in check.
    load("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    board::Move legal[256];
    EXPECT_EQ(referee.LegalMoves(legal, 256), 0);
    EXPECT_TRUE(referee.InCheck());
}

TEST(TuneParams, OnlyFreeWeightsOfTheTableAreListedOnce) {
    const std::vector<tune::Param> params = tune::FreeParams();
    ASSERT_GT(params.size(), 40u);
    const char* first = reinterpret_cast<const char*>(&eval::W);
    const char* last = first + sizeof eval::W;
    std::set<const int*> seen;
    std::set<std::string> names;
    for (const tune::Param& p : params) {
        const char* at = reinterpret_cast<const char*>(p.value);
        EXPECT_TRUE(at >= first && at < last) << p.name;
        EXPECT_TRUE(seen.insert(p.value).second) << p.name << " listed twice";
        EXPECT_TRUE(names.insert(p.name).second) << p.name;
        // a left-right twin moves with its entry and is never a weight of its own
        if (p.twin) {
            EXPECT_TRUE(seen.insert(p.twin).second) << p.twinName;
        }
    }
    // Weights whose values the engine's rules fix stay out of the fit.
    const int* fixed[] = {&eval::W.knightAttacked, &eval::W.queenAttacked, &eval::W.pinned,
                          &eval::W.outpostHole, &eval::W.bishopTrapped7, &eval::W.rookBoxed,
                          &eval::W.queenNearKing, &eval::W.doubled[0], &eval::W.doubled[7],
                          &eval::W.drawCap, &eval::W.evalScale};
    for (const int* f : fixed) EXPECT_EQ(seen.count(f), 0u);
}

std::string RunTool(const std::string& args) {
    std::FILE* p = popen((std::string(KESTRION_TOOL) + " " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[512];
    while (p && std::fgets(buffer, sizeof buffer, p)) out += buffer;
    if (p) pclose(p);
    return out;
}

std::string LastLine(const std::string& text) {
    std::string s = text;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s.substr(s.rfind('\n') == std::string::npos ? 0 : s.rfind('\n') + 1);
}

TEST(TunePipeline, GeneratesLabelledPositionsAndTheFitLowersTheError) {
    const std::string dir = ::testing::TempDir();
    const std::string data = dir + "/tune_positions.txt", fitted = dir + "/tune_fitted.inc";
    const std::string gen = RunTool("tune gen --out " + data + " --positions 600 --nodes 200 --jobs 2 --seed 3" +
                                " --openings " + KESTRION_SOURCE_DIR + "/data/eco_lines.txt");
    ASSERT_EQ(LastLine(gen), "positions 600") << gen;
    std::ifstream in(data);
    std::string line;
    int lines = 0, decisive = 0;
    while (std::getline(in, line)) {
        tune::Sample s;
        ASSERT_TRUE(tune::ParseLine(line.c_str(), s)) << line;
        decisive += s.result != 0.5f;
        lines++;
    }
    EXPECT_EQ(lines, 600);
    EXPECT_GT(decisive, 0);
    const std::string fit = RunTool("tune fit --data " + data + " --out " + fitted + " --iterations 50");
    double before = 0, after = 0;
    ASSERT_EQ(std::sscanf(fit.substr(fit.find("error before")).c_str(), "error before %lf", &before), 1) << fit;
    ASSERT_EQ(std::sscanf(LastLine(fit).c_str(), "error %lf", &after), 1) << fit;
    EXPECT_LT(after, before);
    // The weights file is an include of assignments the evaluation takes.
    std::ifstream inc(fitted);
    std::stringstream text;
    text << inc.rdbuf();
    EXPECT_EQ(text.str().find("W."), text.str().find("\n") + 1) << text.str();
    EXPECT_NE(text.str().find("// was "), std::string::npos);
    // Piece-square entries alone: each fitted knight entry comes with its
    // mirror-file twin, moved by the same amount.
    const std::string squares =
        RunTool("tune fit --data " + data + " --out " + fitted + " --iterations 50 --only knightSquares --min-positions 1");
    ASSERT_NE(squares.find("weights 32,"), std::string::npos) << squares;
    std::ifstream fit2(fitted);
    std::map<int, int> change;
    while (std::getline(fit2, line)) {
        int index = 0, value = 0, was = 0;
        if (std::sscanf(line.c_str(), "W.knightSquares[%d] = %d;  // was %d", &index, &value, &was) == 3)
            change[index] = value - was;
        else
            EXPECT_EQ(line.rfind("//", 0), 0u) << line;
    }
    EXPECT_FALSE(change.empty());
    for (const auto& [index, delta] : change) {
        const int twin = index - index % 8 + 7 - index % 8;
        ASSERT_EQ(change.count(twin), 1u) << index;
        EXPECT_EQ(change[twin], delta) << index;
    }
    std::remove(data.c_str());
    std::remove(fitted.c_str());
}

}  // namespace
