// Game-score reading for the book tools: a PGN tokenizer (comments,
// variations, NAGs and escapes skipped), SAN moves and game replay.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/position.h"

namespace book {

enum GameResult { WhiteWins = 1, Drawn = 0, BlackWins = -1, UnknownResult = 2 };

struct PgnGame {
    std::string fen;                // empty: the start position
    std::vector<std::string> moves;  // SAN texts of the main line
    int result = UnknownResult;     // from the Result tag, else the movetext end
    long line = 0;                  // line where the game began
};

// Character source over a stream with one character of push-back.
struct PgnSource {
    std::FILE* file = nullptr;
    const char* text = nullptr;  // used instead of the file when set
    size_t at = 0;
    int pushed = -2;
    long line = 1;
    int lastChar = '\n';
};

// Reads the next game; 0 at the end of input.
int ReadPgnGame(PgnSource& source, PgnGame& game);

// One position of a replayed game and the move played from it.
struct GamePly {
    uint32_t key;  // book key (check half, marked for black)
    int side;
    board::Move move;
};

// Replays the moves (at most `maxPlies`) from the game's start position.
// Returns 1 on success; on a bad move `error` says which and `plies` holds
// the positions up to it.
int ReplayGame(board::Tree& tree, const PgnGame& game, int maxPlies, std::vector<GamePly>& plies,
               std::string& error);

// Finds the legal move a SAN text names at a node; 0 if none or ambiguous.
board::Move SanToMove(board::Tree& tree, board::NodeRecord* node, const char* san);

// Allocates a board for tool use (tables set up once); never freed.
board::Tree& ToolTree();

}  // namespace book
