// eval: prints the parts of the static evaluation of each FEN given.
#include <cstdio>
#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board/position.h"
#include "command.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace {

// One FEN per input line, one line of parts per FEN (white's view; total for
// the side to move): for fitting the weights against reference scores.
int EvalLines() {
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        board::Tree& tree = *board::MainTree;
        if (!board::ReadFen(line, board::Game)) {
            std::printf("bad fen\n");
            continue;
        }
        board::StartGame(board::Game);
        board::CopyGameBoard(board::Game, tree);
        board::SetUpTree(tree);
        board::NodeRecord* root = eval::SetUpRoot(tree, board::Game);
        eval::Breakdown b;
        eval::EvaluateVerbose(tree, root, b);
        std::printf("%d %d %d %d %d %d %d %d %d %d %d %d %d %d\n", b.material, b.squareScore, b.pawns,
                    b.kingSafety, b.centre, b.rest, b.mobility, b.minorMobility, b.passed, b.shelter, b.materialValue,
                    b.scale, b.recognisedDraw, b.total);
    }
    return 0;
}

int RunEval(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: eval FEN [FEN ...] (each FEN quoted as one argument), or eval -\n");
        return 2;
    }
    if (tools::InitEngineTables() != 0) return 1;
    if (std::strcmp(argv[1], "-") == 0) return EvalLines();
    // Arguments that do not start a new FEN (no '/') are glued to the previous one.
    std::string fens[64];
    int count = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strchr(argv[i], '/') && count < 64) fens[count++] = argv[i];
        else if (count) fens[count - 1] += std::string(" ") + argv[i];
    }
    int last = 0;
    for (int i = 0; i < count; i++) {
        board::Tree& tree = *board::MainTree;
        if (!board::ReadFen(fens[i].c_str(), board::Game)) {
            std::printf("bad fen: %s\n", fens[i].c_str());
            return 1;
        }
        board::StartGame(board::Game);
        board::CopyGameBoard(board::Game, tree);
        board::SetUpTree(tree);
        board::NodeRecord* root = eval::SetUpRoot(tree, board::Game);
        eval::Breakdown b;
        last = eval::EvaluateVerbose(tree, root, b);
        std::printf("fen %s\n", fens[i].c_str());
        std::printf("stage 0x%02x\n", unsigned(eval::RootStage));
        std::printf("material %d\n", b.material);
        std::printf("square score %d\n", b.squareScore);
        std::printf("pawn structure %d\n", b.pawns);
        std::printf("king safety %d\n", b.kingSafety);
        std::printf("centre %d\n", b.centre);
        std::printf("rest %d\n", b.rest);
        std::printf("material table %d scale %d\n", b.materialValue, b.scale);
        if (b.recognisedDraw) std::printf("recognised draw\n");
        std::printf("total (side to move) %d\n", b.total);
    }
    std::printf("eval %d\n", last);
    return 0;
}

}  // namespace

KESTRION_TOOL(Eval, "eval", "eval FEN...: the parts of the static evaluation", RunEval);
