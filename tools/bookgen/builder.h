// Book building from game scores: frequencies and results of the moves of
// positions seen in enough games, turned into weights 1..11.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "book/book.h"
#include "bookgen/pgn.h"

namespace book {

constexpr int MinBookWeight = 1;
constexpr int MaxBookWeight = 11;

struct BookBuilder {
    struct MoveStat {
        int games = 0;
        int halfPoints = 0;  // mover's result in half points
    };
    // (key, from, to, promotion) -> stats; key -> games that reached it.
    std::map<uint64_t, MoveStat> moves;
    std::map<uint32_t, int> positions;
    long gamesUsed = 0, gamesSkipped = 0;

    // Adds one replayed game; each position and move counts once per game.
    void AddGame(const std::vector<GamePly>& plies, int result);
    // Records of positions seen in at least `minGames` games, sorted by key.
    std::vector<BookRecord> Build(int minGames) const;
};

// Weight from the move's share of the position's games and its result.
int BookWeight(int moveGames, int positionGames, int halfPoints);

// Writes the records; 1 on success.
int WriteBookFile(const char* path, const std::vector<BookRecord>& records);

}  // namespace book
