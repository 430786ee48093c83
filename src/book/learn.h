// Position learning: 96-byte records of earlier search results in
// "kestrion.pl2", seeded into the transposition tables before a search, and
// the list of protected table entries (hand-set values and analysis lines).
#pragma once
#include <cstdint>

#include "board/position.h"
#include "book/hooks.h"
#include "search/tt.h"

namespace book {

constexpr int LearnRecordSize = 96;
constexpr long TrimThreshold = 262144;  // more records than this are trimmed
constexpr long TrimKeep = 235929;       // newest records kept by a trim
constexpr int SeedBlock = 100;          // records read per block
constexpr int MaxProtected = 5000;
constexpr int ProtectedDropCount = 100;
constexpr int HandSetDepth = 100;
constexpr int ProtectedAge = 1;
constexpr int SignatureTableSize = 1040;
extern char LearnFileName[256];  // "kestrion.pl2"

struct LearnRecord {
    uint32_t checkKey = 0;
    uint32_t move = 0;
    uint32_t word8 = 0;
    int16_t score = 0;
    uint8_t depth = 0;
    uint8_t bound = 0;
    uint32_t indexKey = 0;
    uint32_t signature = 0;
    uint8_t side = 0;
    uint8_t men = 0;
    uint8_t handSet = 0;
    uint8_t spare = 0;
    uint32_t reply = 0;
    uint8_t board[64] = {};
};

void EncodeLearnRecord(const LearnRecord& record, uint8_t out[LearnRecordSize]);
LearnRecord DecodeLearnRecord(const uint8_t in[LearnRecordSize]);

// Signature over the settings that shape search and evaluation.
uint32_t SettingsSignature();
uint32_t SignatureOf(const int* values, int count);
extern const int SignatureValueCount;
// Fills `out` (SignatureValueCount entries) with the current values in order.
void SignatureValues(int* out);

// Men on the board.
int MenCount(const uint8_t* boardSquares);

// Candidate record fed by the principal-variation report. kind 2 is a line
// reported during an iteration, 0 the result of a completed iteration.
void NoteRootResult(int depth, int score, int kind, board::Move move);
const LearnRecord& CandidateRecord();
// Completes the candidate and appends it; 1 if written.
int AppendLearning(const board::NodeRecord* root, const uint8_t* boardSquares, board::Move reply);
// Think-controller step: appends unless the best move repeats a game position.
int LearnAfterSearch(board::Tree& tree, board::NodeRecord* root, board::Move best, board::Move reply);
// Seeds the tables from the file; 1 if the file holds the root itself.
int SeedFromFile(board::Tree& tree, board::NodeRecord* root);
// Keeps the newest records of an oversized file. Returns the records kept
// (or the file's count when untouched), -1 if the file cannot be read.
long TrimLearningFile();
// Start-up: trims the learning file.
void LoadLearning();

// Protected-entry list.
struct ProtectedEntry {
    search::SearchEntry* slot;
    search::SearchEntry image;  // encoded, age bits 1
};
void Protect(search::SearchEntry* slot, const search::SearchEntry& image);
void RestoreAll();
void Refresh();
void ForgetAll();
int ProtectedCount();
const ProtectedEntry* ProtectedList();
int HandSetCount();
int IsHandSet(const search::SearchEntry& image);

// `UCI_SetPositionValue` and `Clear PosLearning`.
void SetPositionValue(const char* text);
void ClearPositionLearning();

}  // namespace book
