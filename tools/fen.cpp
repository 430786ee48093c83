// fen: reads a FEN with the engine's reader and shows what it made of it.
#include <cstdio>
#include <cstring>
#include <string>

#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "core/settings.h"

namespace {

int RunFen(int argc, char** argv) {
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "--chess960") == 0) {
        core::settings.chess960 = 1;
        i++;
    }
    std::string fen;
    for (; i < argc; i++) {
        if (!fen.empty()) fen += ' ';
        fen += argv[i];
    }
    if (fen.empty()) {
        std::fprintf(stderr, "usage: fen [--chess960] FEN\n");
        return 2;
    }
    board::InitBoardTables();
    int result = board::ReadFen(fen.c_str(), board::Game);
    const uint8_t* b = board::Game.board;
    for (int rank = 8; rank >= 1; rank--) {
        std::printf("%d ", rank);
        for (int file = 1; file <= 8; file++) {
            int code = b[board::SquareAt(file, rank)];
            char letter = code == 0 ? '.' : code >= 8 ? board::PieceLetters[16 + code] : board::PieceLetters[code];
            if (board::IsPawn(code)) letter = code == board::WPawn ? 'P' : 'p';
            std::printf(" %c", letter);
        }
        std::printf("\n");
    }
    std::printf("   a b c d e f g h\n");
    std::printf("side %s\n", board::Game.startSide == board::White ? "white" : "black");
    std::printf("flags 0x%03x\n", unsigned(board::Game.startFlags));
    std::printf("castling squares");
    for (int e = 0; e < 18; e++) std::printf(" %s", board::SquareNames[board::CastleSquares[e]]);
    std::printf("\nresult %d\n", result);
    std::printf("%s\n", result ? "ok" : "error");
    return result ? 0 : 1;
}

}  // namespace

KESTRION_TOOL(Fen, "fen", "fen [--chess960] FEN: read a FEN and print the position", RunFen);
