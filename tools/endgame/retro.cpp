// Retrograde analysis of one table.
//
// Iteration d finds every position mated in exactly d plies: from the
// positions found at d - 1 it walks un-moves to their predecessors, which
// win at d when the successor was lost, or are checked by their forward
// moves when it was won (lost at d once every move reaches a win in at most
// d - 1). Captures and promotions lead into finished tables; their values
// are fixed, so each position remembers the iteration at which they decide
// it (its trigger). A double step after which the opponent may take en
// passant reaches a position outside the table; its value is the better of
// the same position without the right and the en-passant captures.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "solver.h"

namespace endgame {

namespace {

inline uint8_t Load(const uint8_t* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
inline void Store(uint8_t* p, uint8_t v) { __atomic_store_n(p, v, __ATOMIC_RELAXED); }

const uint32_t ChunkSize = 1 << 15;

struct Pending {
    uint32_t index;
    uint8_t side;
    uint16_t plies;
};

class Retro {
public:
    Retro(Table& t, const SolveOptions& options) : t(t), options(options), men(t.Men()) {
        for (int i = 0; i < men; i++) {
            type[i] = t.Type(i);
            colour[i] = t.ColourOf(i);
        }
    }

    bool Run(std::string& error);

private:
    Table& t;
    const SolveOptions& options;
    int men;
    PieceType type[MaxMen];
    Colour colour[MaxMen];
    std::vector<uint8_t> trigger[2];
    // Positions that may have become lost this iteration, each checked once.
    std::vector<uint32_t> candidates;
    std::mutex pendingLock;
    std::vector<Pending> pending;
    int lastTrigger = 0;
    std::atomic<uint64_t> found{0};
    std::atomic<bool> overflow{false};

    bool SquareAttacked(const uint8_t* sq, int target, Colour by, int skip, Bitboard occ) const {
        for (int i = 0; i < men; i++)
            if (i != skip && colour[i] == by && Attacks(type[i], by, sq[i], target, occ)) return true;
        return false;
    }

    static Bitboard Occupancy(const uint8_t* sq, int n) {
        Bitboard b = 0;
        for (int i = 0; i < n; i++) b |= Bit(sq[i]);
        return b;
    }

    // Score for the side to move in the child a link leads to.
    static int LinkScore(const Link& l, const uint8_t* after, Colour next) {
        if (!l.table) return 0;
        uint8_t child[MaxMen];
        uint8_t flip = l.flip ? 56 : 0;
        const int n = std::min(l.table->Men(), MaxMen);  // never more than MaxMen; said for -O3
        for (int j = 0; j < n; j++) child[j] = after[l.from[j]] ^ flip;
        return ScoreOf(l.table->Value(Colour(next ^ l.flip), l.table->Index(child)));
    }

    // Best score for `side` of its en-passant captures onto `target` of the
    // pawn in slot `victim`; false when none is legal.
    bool EnPassant(const uint8_t* sq, Colour side, int target, int victim, int& best) const {
        bool any = false;
        int top = 0;
        for (int i = 0; i < men; i++) {
            if (type[i] != Pawn || colour[i] != side || !((PawnAttacks[side][sq[i]] >> target) & 1)) continue;
            uint8_t after[MaxMen];
            std::memcpy(after, sq, men);
            after[i] = uint8_t(target);
            Bitboard occ = (Occupancy(sq, men) & ~Bit(sq[i]) & ~Bit(sq[victim])) | Bit(target);
            if (SquareAttacked(after, after[side], Colour(side ^ 1), victim, occ)) continue;
            int s = Parent(LinkScore(t.LinkFor(victim, -1, NoPiece), after, Colour(side ^ 1)));
            if (!any || s > top) top = s;
            any = true;
        }
        if (any) best = top;
        return any;
    }

    // Score, for the side to move after it, of a legal move by `mover`.
    int ChildScore(const uint8_t* sq, Colour mover, const Move& m) const {
        uint8_t after[MaxMen];
        std::memcpy(after, sq, men);
        after[m.man] = m.to;
        Colour next = Colour(mover ^ 1);
        if (m.victim >= 0 || m.promo != NoPiece)
            return LinkScore(t.LinkFor(m.victim, m.promo != NoPiece ? m.man : -1, m.promo), after, next);
        int s = ScoreOf(Load(&t.values[next][t.Index(after)]));
        int e;
        if (m.doubleStep && EnPassant(after, next, (sq[m.man] + m.to) / 2, m.man, e)) s = std::max(s, e);
        return s;
    }

    void InitRange(uint32_t begin, uint32_t end, Colour, int);
    void StepRange(uint32_t begin, uint32_t end, Colour moved, int d);
    void UnMoves(const uint8_t* sq, Colour toMove, int d);
    bool LostBy(const uint8_t* sq, Colour side, int d) const;
    void Resolve(Colour side, uint32_t index, int plies, int d);
    void MarkCandidate(uint32_t index) { __atomic_fetch_or(&candidates[index >> 5], 1u << (index & 31), __ATOMIC_RELAXED); }
    void CheckRange(uint32_t begin, uint32_t end, Colour side, int d);
    bool Parallel(const char* step, void (Retro::*fn)(uint32_t, uint32_t, Colour, int), Colour c, int d);
};

bool Retro::Parallel(const char* step, void (Retro::*fn)(uint32_t, uint32_t, Colour, int), Colour c, int d) {
    uint32_t size = t.Size();
    uint32_t chunks = (size + ChunkSize - 1) / ChunkSize;
    std::atomic<uint32_t> next{0}, done{0};
    auto work = [&]() {
        for (uint32_t k; (k = next.fetch_add(1)) < chunks;) {
            uint32_t begin = k * ChunkSize;
            (this->*fn)(begin, std::min(size, begin + ChunkSize), c, d);
            done.fetch_add(1);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < options.threads; i++) workers.emplace_back(work);
    if (!options.progress) {
        work();
    } else {
        // The calling thread reports while the others work.
        std::thread last(work);
        auto start = std::chrono::steady_clock::now();
        while (done.load() < chunks) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            double fraction = double(done.load()) / chunks;
            double rate = fraction * size / std::max(secs, 1e-3);
            double left = fraction > 0 ? secs / fraction - secs : 0;
            options.progress({t.GetMaterial().Name(), step, fraction, rate, left});
        }
        last.join();
    }
    for (std::thread& w : workers) w.join();
    return !overflow.load();
}

// Marks broken entries, checkmates, and the trigger of each position from
// its captures, promotions and en-passant-exposing double steps.
void Retro::InitRange(uint32_t begin, uint32_t end, Colour, int) {
    uint8_t sq[MaxMen];
    for (uint32_t i = begin; i < end; i++) {
        if (!t.Decode(i, sq)) {
            t.values[White][i] = t.values[Black][i] = Broken;
            continue;
        }
        Position p = t.ToPosition(sq, White);
        Bitboard occ = Occupancy(sq, men);
        for (int side = White; side <= Black; side++) {
            Colour us = Colour(side), them = Colour(side ^ 1);
            if (SquareAttacked(sq, sq[them], us, -1, occ)) {
                t.values[us][i] = Broken;
                continue;
            }
            p.stm = us;
            // Quiet moves matter here only to tell checkmate from check.
            bool inCheck = SquareAttacked(sq, sq[us], them, -1, occ);
            int bestWin = 0, longestLoss = 0, legal = 0;
            bool fixed = false, allLose = true;
            ForEachMove(p, !inCheck, [&](const Move& m) {
                legal++;
                uint8_t after[MaxMen];
                std::memcpy(after, sq, men);
                after[m.man] = m.to;
                int s;
                if (m.victim >= 0 || m.promo != NoPiece) {
                    s = Parent(LinkScore(t.LinkFor(m.victim, m.promo != NoPiece ? m.man : -1, m.promo), after, them));
                } else if (m.doubleStep) {
                    // Only an en-passant capture that wins for the opponent
                    // fixes this move's value in advance.
                    int e;
                    if (!EnPassant(after, them, (sq[m.man] + m.to) / 2, m.man, e) || e <= 0) {
                        allLose = false;
                        return true;
                    }
                    s = Parent(e);
                } else {
                    return true;
                }
                fixed = true;
                if (s > 0) {
                    if (!bestWin || Plies(s) < bestWin) bestWin = Plies(s);
                } else if (s == 0) {
                    allLose = false;
                } else {
                    longestLoss = std::max(longestLoss, Plies(s));
                }
                return true;
            });
            if (inCheck && legal == 0) {
                t.values[us][i] = Encode(0);
                continue;
            }
            int when = bestWin ? bestWin : (fixed && allLose ? longestLoss : 0);
            if (when > MaxPlies) overflow = true;
            trigger[us][i] = uint8_t(std::min(when, MaxPlies));
            t.values[us][i] = 0;
        }
    }
}

void Retro::Resolve(Colour side, uint32_t index, int plies, int d) {
    if (plies == d) {
        if (Load(&t.values[side][index]) != 0) return;
        Store(&t.values[side][index], Encode(d));
        found.fetch_add(1, std::memory_order_relaxed);
    } else {
        std::lock_guard<std::mutex> lock(pendingLock);
        pending.push_back({index, uint8_t(side), uint16_t(plies)});
    }
}

// True when every legal move of `side` reaches a position the opponent wins
// in at most d - 1 plies.
bool Retro::LostBy(const uint8_t* sq, Colour side, int d) const {
    Position p = t.ToPosition(sq, side);
    bool any = false;
    bool all = ForEachMove(p, false, [&](const Move& m) {
        any = true;
        int s = ChildScore(sq, side, m);
        return s > 0 && Plies(s) <= d - 1;
    });
    return all && any;
}

// Predecessors of a position with `toMove` to move found at d - 1: the
// opponent's non-capturing, non-promoting moves taken back.
void Retro::UnMoves(const uint8_t* sq, Colour toMove, int d) {
    Colour mover = Colour(toMove ^ 1);
    int score = ScoreOf(Encode(d - 1));
    Bitboard occ = Occupancy(sq, men);
    uint8_t prev[MaxMen];
    std::memcpy(prev, sq, men);
    for (int j = 0; j < men; j++) {
        if (colour[j] != mover) continue;
        int to = sq[j];
        Bitboard froms;
        bool pawn = type[j] == Pawn;
        int back = mover == White ? -8 : 8;
        if (pawn) {
            froms = 0;
            int rank = mover == White ? RankOf(to) : 7 - RankOf(to);
            if (rank >= 2 && !(occ & Bit(to + back))) {
                froms |= Bit(to + back);
                if (rank == 3 && !(occ & Bit(to + 2 * back))) froms |= Bit(to + 2 * back);
            }
        } else {
            froms = Attacks(type[j], mover, to, occ) & ~occ;
        }
        while (froms) {
            int from = PopLsb(froms);
            prev[j] = uint8_t(from);
            Bitboard prevOcc = (occ & ~Bit(to)) | Bit(from);
            if (!SquareAttacked(prev, prev[toMove], mover, -1, prevOcc)) {
                uint32_t index = t.Index(prev), mirror;
                bool twin = t.MirrorIndex(prev, mirror);
                if (Load(&t.values[mover][index]) == 0) {
                    int s = score, e;
                    if (pawn && from == to + 2 * back && EnPassant(sq, toMove, to + back, j, e)) s = std::max(s, e);
                    int ps = Parent(s);
                    if (ps > 0) {
                        Resolve(mover, index, Plies(ps), d);
                        if (twin) Resolve(mover, mirror, Plies(ps), d);
                    } else if (ps < 0) {
                        MarkCandidate(index);
                        if (twin) MarkCandidate(mirror);
                    }
                }
            }
        }
        prev[j] = uint8_t(to);
    }
}

// One half of iteration d: un-moves from the positions of `moved`'s
// opponent found at d - 1, and the triggers of `moved` due at d.
// Checks the candidates of `side` marked in this half iteration.
void Retro::CheckRange(uint32_t begin, uint32_t end, Colour side, int d) {
    uint8_t sq[MaxMen];
    for (uint32_t w = begin >> 5; w < (end + 31) >> 5; w++) {
        uint32_t bits = candidates[w];
        if (!bits) continue;
        candidates[w] = 0;
        while (bits) {
            uint32_t i = (w << 5) + __builtin_ctz(bits);
            bits &= bits - 1;
            if (t.values[side][i] == 0 && t.Decode(i, sq) && LostBy(sq, side, d)) Resolve(side, i, d, d);
        }
    }
}

void Retro::StepRange(uint32_t begin, uint32_t end, Colour moved, int d) {
    Colour toMove = Colour(moved ^ 1);
    uint8_t sq[MaxMen];
    const uint8_t target = Encode(d - 1);
    const uint8_t* values = t.values[toMove].data();
    uint8_t* mine = t.values[moved].data();
    const uint8_t* due = trigger[moved].data();
    // Most of the table is untouched in a given iteration: skip eight
    // entries at a time when no byte matches.
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const uint64_t findValue = ones * target, findDue = ones * uint8_t(d);
    for (uint32_t i = begin; i < end;) {
        if (i + 8 <= end) {
            uint64_t v, u;
            std::memcpy(&v, values + i, 8);
            std::memcpy(&u, due + i, 8);
            v ^= findValue;
            u ^= findDue;
            if (!(((v - ones) & ~v & highs) | ((u - ones) & ~u & highs))) {
                i += 8;
                continue;
            }
        }
        for (uint32_t stop = std::min(end, i + 8); i < stop; i++) {
            if (values[i] == target && t.Decode(i, sq)) UnMoves(sq, toMove, d);
            if (due[i] == d && Load(&mine[i]) == 0) {
                if (d & 1) Resolve(moved, i, d, d);
                else MarkCandidate(i);
            }
        }
    }
}

bool Retro::Run(std::string& error) {
    uint32_t size = t.Size();
    for (int s = 0; s < 2; s++) {
        t.values[s].assign(size, 0);
        trigger[s].assign(size, 0);
    }
    candidates.assign(size / 32 + 1, 0);
    if (!Parallel("setup", &Retro::InitRange, White, 0)) {
        error = t.GetMaterial().Name() + ": a capture or promotion leads to a mate beyond " +
                std::to_string(MaxPlies) + " plies";
        return false;
    }
    for (int s = 0; s < 2; s++)
        for (uint32_t i = 0; i < size; i++) lastTrigger = std::max<int>(lastTrigger, trigger[s][i]);
    for (int d = 1;; d++) {
        found = 0;
        std::vector<Pending> due;
        {
            std::lock_guard<std::mutex> lock(pendingLock);
            for (size_t k = 0; k < pending.size();) {
                if (pending[k].plies == d) {
                    due.push_back(pending[k]);
                    pending[k] = pending.back();
                    pending.pop_back();
                } else {
                    k++;
                }
            }
        }
        for (const Pending& p : due)
            if (t.values[p.side][p.index] == 0) {
                t.values[p.side][p.index] = Encode(d);
                found++;
            }
        std::string step = "ply " + std::to_string(d);
        for (int moved = White; moved <= Black; moved++) {
            Parallel(step.c_str(), &Retro::StepRange, Colour(moved), d);
            if (!(d & 1)) Parallel(step.c_str(), &Retro::CheckRange, Colour(moved), d);
        }
        int later = lastTrigger;
        for (const Pending& p : pending) later = std::max<int>(later, p.plies);
        if (found.load() > 0 && d > MaxPlies) {
            error = t.GetMaterial().Name() + ": a mate longer than " + std::to_string(MaxPlies) + " plies";
            return false;
        }
        if (found.load() == 0 && d >= later) break;
    }
    candidates = std::vector<uint32_t>();
    trigger[0] = std::vector<uint8_t>();
    trigger[1] = std::vector<uint8_t>();
    return true;
}

}  // namespace

bool SolveTable(Table& t, const SolveOptions& options, std::string& error) {
    Retro retro(t, options);
    return retro.Run(error);
}

}  // namespace endgame
