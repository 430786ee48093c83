// bench [DEPTH]: fixed-depth searches of a fixed position set with fresh
// tables. The node total is the search's signature; it must not change
// between runs or machines.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "core/platform.h"

namespace {

constexpr int DefaultDepth = 7;
constexpr int BenchHashMb = 16;

const char* const Positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq - 1 5",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq - 1 3",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQK2R w KQkq - 6 5",
    "r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 0 7",
    "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8",
    "r2q1rk1/pp1nbppp/2p1pn2/3p4/2PP1B2/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "2rq1rk1/pb2bppp/1pn1pn2/2pp4/3P4/1PNBPN2/PB3PPP/2RQ1RK1 w - - 0 11",
    "r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPB2PP1/RNBQR1K1 w - - 1 13",
    "r2qr1k1/1p1b1ppp/p1nb1n2/3p4/3P4/P1NB1N2/1P2QPPP/R1B2RK1 w - - 0 13",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "5rk1/1b3ppp/pp3p2/3n1N2/1P6/P1qB1PQ1/6PP/3R2K1 w - - 0 1",
    "2kr3r/ppp2ppp/2n5/2b1q3/4n3/2P2N2/PP1NQPPP/R1B2RK1 w - - 0 12",
    "3r2k1/1p3ppp/p1n5/8/2B5/5N2/PP3PPP/6K1 b - - 0 1",
    "8/p4pkp/1p4p1/3P4/8/1P3QP1/Pq3P1P/6K1 w - - 0 1",
    "4r1k1/pp3ppp/8/3p4/3P4/8/PP3PPP/4R1K1 w - - 0 1",
    "2r3k1/5ppp/8/8/8/8/5PPP/2R3K1 b - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/pp3k2/2p1rp2/3p4/3P1K2/2P2P2/PP6/4R3 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/5pk1/6p1/7p/7P/6P1/5PK1/8 w - - 0 1",
    "8/8/1p3k2/p1p5/P1P5/1P3K2/8/8 w - - 0 1",
    "8/8/3k4/3p4/3P4/3K4/8/5B2 w - - 0 1",
    "8/8/4k3/8/3KP3/8/8/8 w - - 0 1",
    "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
    "8/8/8/4k3/8/8/2Q5/4K3 w - - 0 1",
    "8/1k6/8/8/8/8/6R1/4K3 w - - 0 1",
};
constexpr int PositionCount = int(sizeof(Positions) / sizeof(Positions[0]));

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// No byte ever arrives on an empty pipe whose write end stays open, so the
// search's input poll finds nothing and never reads the terminal.
void DetachInput() {
    int ends[2];
    if (pipe(ends) == 0) dup2(ends[0], 0);
}

// The engine's replies: only the best move is kept.
char bestMoveText[16];

void CatchBestMove(const char* text) {
    if (std::strncmp(text, "bestmove ", 9) != 0) return;
    std::snprintf(bestMoveText, sizeof bestMoveText, "%s", text + 9);
    bestMoveText[std::strcspn(bestMoveText, " \n")] = 0;
}

int Bench(int argc, char** argv) {
    int depth = argc > 1 ? std::atoi(argv[1]) : DefaultDepth;
    if (depth < 1 || depth > 98) {
        std::fprintf(stderr, "bench: depth must be 1..98\n");
        return 2;
    }
    if (tools::InitEngineTables() != 0) {
        std::fprintf(stderr, "bench: not enough memory\n");
        return 1;
    }
    DetachInput();
    core::SetOutputSink(CatchBestMove);

    // Each search starts from empty tables and uses no opening knowledge.
    tools::SendCommand("setoption name Hash value %d", BenchHashMb);
    tools::SendCommand("setoption name OwnBook value false");
    tools::SendCommand("setoption name Use Opening Advice value false");
    tools::SendCommand("setoption name Position Learning value false");
    tools::SendCommand("setoption name Keep Hash Tables value false");

    uint64_t total = 0;
    int64_t start = NowMs();
    for (int i = 0; i < PositionCount; i++) {
        if (!board::ReadFen(Positions[i], board::Game)) {
            std::fprintf(stderr, "bench: bad position %d\n", i + 1);
            return 1;
        }
        tools::SendCommand("setoption name Clear Hash");
        tools::SendCommand("position fen %s", Positions[i]);
        bestMoveText[0] = 0;
        tools::SendCommand("go depth %d", depth);
        uint64_t nodes = board::MainTree->nodes;
        std::printf("%2d %-6s %12llu\n", i + 1, bestMoveText[0] ? bestMoveText : "none",
                    (unsigned long long)nodes);
        total += nodes;
    }
    int64_t elapsed = NowMs() - start;
    core::SetOutputSink(nullptr);
    uint64_t nps = elapsed > 0 ? total * 1000 / uint64_t(elapsed) : 0;
    std::printf("nodes %llu nps %llu\n", (unsigned long long)total, (unsigned long long)nps);
    return 0;
}

}  // namespace

KESTRION_TOOL(Bench, "bench", "bench [DEPTH]   fixed-depth search of the bench positions", Bench);
