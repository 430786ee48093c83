// evalbench: average time of one full evaluation (cache off) over fixed positions.
#include <chrono>
#include <cstdio>

#include "board/makemove.h"
#include "board/position.h"
#include "command.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace {

const char* const Positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "2r2rk1/pp1bqppp/2n1pn2/3p4/2PP4/P1NBPN2/1P3PPP/R2Q1RK1 b - - 0 12",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "8/5pk1/6p1/3R4/8/6P1/r4P1P/6K1 w - - 0 40",
    "4k3/8/8/3PP3/8/8/5K2/8 w - - 0 1",
    "r2q1rk1/ppp2ppp/2n1bn2/2bpp3/4P3/2PP1NP1/PP1NQPBP/R1B2RK1 w - - 0 9",
};

int RunEvalBench(int, char**) {
    if (tools::InitEngineTables() != 0) return 1;
    board::Tree& tree = *board::MainTree;
    eval::UseEvalCache = 0;
    const int rounds = 20000;
    long long total = 0, evals = 0;
    int sink = 0;
    for (const char* fen : Positions) {
        board::ReadFen(fen, board::Game);
        board::StartGame(board::Game);
        board::CopyGameBoard(board::Game, tree);
        board::SetUpTree(tree);
        board::NodeRecord* root = eval::SetUpRoot(tree, board::Game);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; i++) sink += eval::Evaluate(tree, root, -30000, 30000, 0);
        const auto end = std::chrono::steady_clock::now();
        total += std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
        evals += rounds;
    }
    eval::UseEvalCache = 1;
    std::printf("positions %d evaluations %lld checksum %d\n", int(sizeof Positions / sizeof *Positions),
                evals, sink);
    std::printf("ns-per-eval %lld\n", total / evals);
    return 0;
}

}  // namespace

KESTRION_TOOL(EvalBench, "evalbench", "evalbench: average time of one full evaluation", RunEvalBench);
