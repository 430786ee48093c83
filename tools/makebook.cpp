// makebook GAMES.pgn OUT.pbk [--plies N] [--min-games K]: builds an opening
// book from game scores. Games that do not replay are skipped with a message.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/movegen.h"
#include "bookgen/builder.h"
#include "bookgen/pgn.h"
#include "command.h"

namespace {

constexpr int DefaultPlies = 24;
constexpr int DefaultMinGames = 2;
constexpr int MaxPlies = 99;

int ParseCount(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < low || v > high) return 0;
    *out = int(v);
    return 1;
}

int MakeBook(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = nullptr;
    int plies = DefaultPlies, minGames = DefaultMinGames;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--plies") && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, MaxPlies, &plies)) {
                std::fprintf(stderr, "makebook: --plies wants 1..%d\n", MaxPlies);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--min-games") && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 1000000000, &minGames)) {
                std::fprintf(stderr, "makebook: --min-games wants a positive number\n");
                return 2;
            }
        } else if (!input) {
            input = argv[i];
        } else if (!output) {
            output = argv[i];
        } else {
            input = nullptr;
            break;
        }
    }
    if (!input || !output) {
        std::fprintf(stderr, "usage: kestrion-tool makebook GAMES.pgn OUT.pbk [--plies N] [--min-games K]\n");
        return 2;
    }
    std::FILE* in = std::fopen(input, "rb");
    if (!in) {
        std::fprintf(stderr, "makebook: cannot open %s\n", input);
        return 1;
    }
    board::InitBoardTables();
    book::PgnSource source;
    source.file = in;
    book::PgnGame game;
    book::BookBuilder builder;
    std::vector<book::GamePly> replay;
    std::string error;
    while (book::ReadPgnGame(source, game)) {
        if (game.moves.empty()) continue;
        if (!book::ReplayGame(book::ToolTree(), game, plies, replay, error)) {
            std::fprintf(stderr, "makebook: skipping the game at line %ld: %s\n", game.line, error.c_str());
            builder.gamesSkipped++;
            continue;
        }
        builder.AddGame(replay, game.result);
    }
    std::fclose(in);
    std::vector<book::BookRecord> records = builder.Build(minGames);
    if (!book::WriteBookFile(output, records)) {
        std::fprintf(stderr, "makebook: cannot write %s\n", output);
        return 1;
    }
    std::printf("games used %ld, skipped %ld, positions %zu\n", builder.gamesUsed, builder.gamesSkipped,
                builder.positions.size());
    std::printf("book records %zu\n", records.size());
    return 0;
}

}  // namespace

KESTRION_TOOL(MakeBook, "makebook",
              "makebook GAMES.pgn OUT.pbk [--plies N] [--min-games K]   build an opening book", MakeBook);
