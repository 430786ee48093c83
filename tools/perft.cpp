// perft: counts the legal move paths of a position with the engine's own
// generator and make/unmake.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "command.h"
#include "core/settings.h"

namespace {

int RunPerft(int argc, char** argv) {
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "--chess960") == 0) {
        core::settings.chess960 = 1;
        i++;
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: perft [--chess960] DEPTH [FEN]\n");
        return 2;
    }
    int depth = std::atoi(argv[i++]);
    if (depth < 0 || depth >= board::MaxPly - 1) {
        std::fprintf(stderr, "perft: depth out of range\n");
        return 2;
    }
    std::string fen;
    for (; i < argc; i++) {
        if (!fen.empty()) fen += ' ';
        fen += argv[i];
    }

    board::InitBoardTables();
    if (fen.empty()) {
        board::SetStartPosition(board::Game);
    } else if (!board::ReadFen(fen.c_str(), board::Game)) {
        std::printf("cannot read FEN: %s\nerror\n", fen.c_str());
        return 1;
    }
    board::StartGame(board::Game);
    std::unique_ptr<board::Tree> tree(new board::Tree());
    board::CopyGameBoard(board::Game, *tree);
    board::SetUpTree(*tree);
    board::NodeRecord* root = board::SetUpSearchNodes(*tree, board::Game);

    auto start = std::chrono::steady_clock::now();
    uint64_t total = 0;
    if (depth == 0) {
        total = 1;
    } else {
        board::GenerateMoves(*tree, root, board::GenAll, 1);
        board::MoveEntry* lists[2] = {root->captureList, root->quietList};
        for (board::MoveEntry* list : lists) {
            for (board::MoveEntry* e = list; e->score != board::ListEnd; e++) {
                root->currentMove = e->move;
                if (!board::MakeMove(*tree, root)) continue;
                uint64_t n = board::Perft(*tree, root + 1, depth - 1);
                board::UnmakeMove(*tree, root);
                char text[8];
                board::WriteMoveText(text, e->move);
                std::printf("%s: %" PRIu64 "\n", text, n);
                total += n;
            }
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double rate = seconds > 0 ? double(total) / seconds : 0.0;
    std::printf("time %.3f s, %.0f nodes/s\n", seconds, rate);
    std::printf("nodes %" PRIu64 "\n", total);
    return 0;
}

}  // namespace

KESTRION_TOOL(Perft, "perft", "perft [--chess960] DEPTH [FEN]: count legal move paths", RunPerft);
