// Book building: counts per position and move, weights, sorted output.
#include "bookgen/builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace book {

namespace {

uint64_t MoveId(uint32_t key, board::Move m) {
    return (uint64_t(key) << 32) | (uint64_t(board::MoveFrom(m)) << 16) | (uint64_t(board::MoveTo(m)) << 8) |
           uint64_t(board::MovePromotion(m));
}

// Half points of the side to move for a game result; an unknown result counts as a draw.
int MoverHalfPoints(int result, int side) {
    if (result == WhiteWins) return side == board::White ? 2 : 0;
    if (result == BlackWins) return side == board::Black ? 2 : 0;
    return 1;
}

}  // namespace

void BookBuilder::AddGame(const std::vector<GamePly>& plies, int result) {
    std::set<uint32_t> seenPositions;
    std::set<uint64_t> seenMoves;
    for (const GamePly& p : plies) {
        if (seenPositions.insert(p.key).second) positions[p.key]++;
        uint64_t id = MoveId(p.key, p.move);
        if (!seenMoves.insert(id).second) continue;
        MoveStat& s = moves[id];
        s.games++;
        s.halfPoints += MoverHalfPoints(result, p.side);
    }
    gamesUsed++;
}

int BookWeight(int moveGames, int positionGames, int halfPoints) {
    if (moveGames <= 0 || positionGames <= 0) return MinBookWeight;
    // Score share smoothed towards a draw, so one lucky game counts little.
    double performance = (halfPoints / 2.0 + 1.0) / (moveGames + 2.0);
    double share = double(moveGames) / positionGames;
    double raw = std::min(1.0, share * 2.0 * performance);
    // The engine picks by the square of the weight: the root keeps the
    // pick roughly proportional to `raw`.
    int w = MinBookWeight + int(std::lround((MaxBookWeight - MinBookWeight) * std::sqrt(raw)));
    return std::max(MinBookWeight, std::min(MaxBookWeight, w));
}

std::vector<BookRecord> BookBuilder::Build(int minGames) const {
    std::vector<BookRecord> out;
    for (const auto& entry : moves) {
        uint32_t key = uint32_t(entry.first >> 32);
        auto pos = positions.find(key);
        if (pos == positions.end() || pos->second < minGames) continue;
        BookRecord r;
        r.key = key;
        r.from = uint8_t(entry.first >> 16);
        r.to = uint8_t(entry.first >> 8);
        r.promotion = uint8_t(entry.first);
        r.weight = int8_t(BookWeight(entry.second.games, pos->second, entry.second.halfPoints));
        out.push_back(r);
    }
    std::stable_sort(out.begin(), out.end(), [](const BookRecord& a, const BookRecord& b) {
        if (a.key != b.key) return a.key < b.key;
        return a.weight > b.weight;
    });
    return out;
}

int WriteBookFile(const char* path, const std::vector<BookRecord>& records) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    bool ok = true;
    uint8_t bytes[RecordSize];
    for (const BookRecord& r : records) {
        EncodeRecord(r, bytes);
        if (std::fwrite(bytes, 1, RecordSize, f) != size_t(RecordSize)) {
            ok = false;
            break;
        }
    }
    if (std::fclose(f) != 0) ok = false;
    return ok ? 1 : 0;
}

}  // namespace book
