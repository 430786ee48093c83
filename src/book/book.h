// Opening book and opening advice: fixed 8-byte records sorted by position
// key, read from disk with seeks at every request.
#pragma once
#include <cstdint>
#include <cstdio>

#include "board/position.h"

namespace book {

constexpr int RecordSize = 8;
constexpr uint32_t BlackKeyMask = 0xAAAAAAAAu;
constexpr int MaxCandidates = 341;
extern char BookFileName[256];    // "kestrion.pbk"
extern char AdviceFileName[256];  // "kestrion.opa"

// Book record as stored: key, from, to, promotion code, weight.
struct BookRecord {
    uint32_t key;
    uint8_t from, to, promotion;
    int8_t weight;
};

// Advice record as stored: key, from, to, score bonus, time percentage.
struct AdviceRecord {
    uint32_t key;
    uint8_t from, to;
    int8_t bonus;
    uint8_t time;  // 0 means 100
};

void EncodeRecord(const BookRecord& record, uint8_t out[RecordSize]);
BookRecord DecodeBookRecord(const uint8_t in[RecordSize]);
void EncodeRecord(const AdviceRecord& record, uint8_t out[RecordSize]);
AdviceRecord DecodeAdviceRecord(const uint8_t in[RecordSize]);

// Book and advice key: the check half of the hash key, marked for black.
uint32_t PositionKey(uint32_t checkKey, int side);
inline uint32_t PositionKey(const board::NodeRecord* node) {
    return PositionKey(node->key[1], node->side);
}

// The effective weight of a stored weight: squared and wrapped to 8 bits.
int EffectiveWeight(int stored);

// Strength-limit rule shared by book and advice: 1 while the game is still
// short enough for the current UCI_Elo.
int StrengthAllowsBook(int gamePlies);
// Position conditions shared by book and advice: not past the fifty-move
// mark, not bare material. `plies` counts from the root to its reset point.
int PositionAllowsBook(const board::Tree& tree, const board::NodeRecord* root);
// Plies of the game history (positions after the first).
int GamePlies();

// Binary search of an open record file for a key: the index of one
// matching record, or -1. `count` is the number of whole records.
long FindKey(std::FILE* file, long count, uint32_t key);
long RecordCount(std::FILE* file);

// Probes the book file for the position and returns a legal root move, or 0.
// `legal` lists the legal root moves. No OwnBook or limit checks here.
board::Move ProbeBook(const board::NodeRecord* root, const board::Move* legal, int count);
// All checks of the think controller's book step, then the probe.
board::Move BookMove(const board::Tree& tree, const board::NodeRecord* root,
                     const board::Move* legal, int count, int infiniteSearch);

// Collects the advice records of a key (file when present, else the built-in
// table); returns how many were stored (at most `max`).
int LookupAdvice(uint32_t key, AdviceRecord* out, int max);
// Fills bonus/time for the matching root moves (parallel arrays of `count`).
// Returns the number of moves that received advice.
int ApplyAdvice(const board::NodeRecord* root, const board::Move* moves, int count,
                int16_t* bonus, uint8_t* time);
// Advice step of the think controller with all its conditions.
int AdviceAllowed(const board::Tree& tree, const board::NodeRecord* root);

// The built-in advice table, sorted by key.
extern const AdviceRecord BuiltinAdvice[];
extern const int BuiltinAdviceCount;

}  // namespace book
