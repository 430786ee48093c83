// Learning file: record layout, settings signature, append, seeding of the
// transposition tables and the start-up trim.
#include "book/learn.h"

#include <unistd.h>

#include <cstdio>
#include <new>

#include "board/makemove.h"
#include "book/bytes.h"
#include "board/movegen.h"
#include "core/settings.h"
#include "search/limits.h"

namespace book {

char LearnFileName[256] = "kestrion.pl2";

namespace {

constexpr char VersionText[] = "3";
constexpr int MaxSearchScore = 32767;

LearnRecord candidate;

// The fixed random words of the signature, generated once from a constant seed.
const uint32_t* SignatureTable() {
    static uint32_t table[SignatureTableSize];
    static bool built = false;
    if (!built) {
        uint64_t state = 0x6b657374726c6e32ull;
        for (int i = 0; i < SignatureTableSize; i++) {
            state += 0x9e3779b97f4a7c15ull;
            uint64_t z = state;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
            table[i] = uint32_t((z ^ (z >> 31)) >> 16);
        }
        built = true;
    }
    return table;
}

long FileRecordCount(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(file);
    return size < 0 ? -1 : size / LearnRecordSize;
}

int MoveIsLegal(board::Tree& tree, board::NodeRecord* node, board::Move move) {
    if (!move || !board::MoveFits(move, tree, node->flags)) return 0;
    board::Move saved = node->currentMove;
    node->currentMove = move;
    int legal = board::MakeMove(tree, node) != nullptr;
    if (legal) board::UnmakeMove(tree, node);
    node->currentMove = saved;
    return legal;
}

uint32_t SwapBounds(uint32_t bound) {
    uint32_t out = bound & ~uint32_t(search::EntryUpper | search::EntryLower);
    if (bound & search::EntryUpper) out |= search::EntryLower;
    if (bound & search::EntryLower) out |= search::EntryUpper;
    return out;
}

// One record against the root: steps 3a-3f of the seed. Returns 1 when the
// record is the root position itself and gave the child entry.
int SeedRecord(board::Tree& tree, board::NodeRecord* root, const LearnRecord& r, int men,
               int handSetNow) {
    if (core::settings.preferOpen && r.side != root->side) return 0;
    if (men < r.men || men > r.men + 10) return 0;
    if (r.handSet == 1 && !handSetNow) return 0;
    int differing = 0;
    for (int sq = 1; sq <= 64; sq++) differing += tree.board[sq] != r.board[sq - 1];
    if (differing >= 29) return 0;
    if (r.side > 1) return 0;

    uint32_t index = search::SlotOf(r.indexKey);
    search::SearchEntry* main = search::SlotAt(1, r.side, index);
    search::SearchEntry* second = search::SlotAt(2, r.side, index);
    if (search::EntrySn(*main) != ProtectedAge) {
        if (search::EntryKey(*main) != r.checkKey) *second = *main;
        // Learned entries carry search number 1 in the tables.
        *main = search::EntryWithData(r.checkKey, r.move, r.word8,
                            search::DataWord(r.score, r.depth, (r.bound & ~uint32_t(search::SnMask)) | ProtectedAge));
    }

    bool isRoot = r.checkKey == root->key[1] && r.indexKey == search::IndexKey(root) && r.side == root->side;
    if (!isRoot || !r.reply || !MoveIsLegal(tree, root, r.move)) return 0;
    root->currentMove = r.move;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (!child) return 0;
    int result = 1;
    if (MoveIsLegal(tree, child, r.reply)) {
        search::SearchEntry* slot = search::SlotAt(1, child->side, search::HashIndex(child));
        if (search::EntrySn(*slot) != ProtectedAge)
            *slot = search::EntryWithData(child->key[1], r.reply, 0,
                                search::DataWord(-r.score, int(r.depth) - 1, SwapBounds(r.bound & 0xc0u) | ProtectedAge));
    }
    board::UnmakeMove(tree, root);
    return result;
}

}  // namespace

void EncodeLearnRecord(const LearnRecord& r, uint8_t out[LearnRecordSize]) {
    WriteU32(out, r.checkKey);
    WriteU32(out + 4, r.move);
    WriteU32(out + 8, r.word8);
    uint16_t score = uint16_t(r.score);
    out[12] = uint8_t(score);
    out[13] = uint8_t(score >> 8);
    out[14] = r.depth;
    out[15] = r.bound;
    WriteU32(out + 16, r.indexKey);
    WriteU32(out + 20, r.signature);
    out[24] = r.side;
    out[25] = r.men;
    out[26] = r.handSet;
    out[27] = r.spare;
    WriteU32(out + 28, r.reply);
    for (int i = 0; i < 64; i++) out[32 + i] = r.board[i];
}

LearnRecord DecodeLearnRecord(const uint8_t in[LearnRecordSize]) {
    LearnRecord r;
    r.checkKey = ReadU32(in);
    r.move = ReadU32(in + 4);
    r.word8 = ReadU32(in + 8);
    r.score = int16_t(uint16_t(in[12] | (in[13] << 8)));
    r.depth = in[14];
    r.bound = in[15];
    r.indexKey = ReadU32(in + 16);
    r.signature = ReadU32(in + 20);
    r.side = in[24];
    r.men = in[25];
    r.handSet = in[26];
    r.spare = in[27];
    r.reply = ReadU32(in + 28);
    for (int i = 0; i < 64; i++) r.board[i] = in[32 + i];
    return r;
}

const int SignatureValueCount = 34 + int(sizeof(VersionText) - 1) + 3;

void SignatureValues(int* out) {
    const core::Settings& s = core::settings;
    int searchMoveCount = 0;
    while (searchMoveCount < search::MaxSearchMoves && search::searchMoves[searchMoveCount])
        searchMoveCount++;
    int n = 0;
    out[n++] = s.tablebaseUse;
    out[n++] = s.bitbaseUse;
    out[n++] = s.tablebaseMargin;
    out[n++] = s.tablebaseHitLimit;
    out[n++] = s.keepHashSearch;
    out[n++] = s.keepHashEval;
    out[n++] = s.queen;
    out[n++] = s.rook;
    out[n++] = s.bishop;
    out[n++] = s.knight;
    out[n++] = s.pawn;
    out[n++] = s.queenEnd;
    out[n++] = s.rookEnd;
    out[n++] = s.bishopEnd;
    out[n++] = s.knightEnd;
    out[n++] = s.pawnEnd;
    out[n++] = s.kingSafety;
    out[n++] = s.passedPawns;
    out[n++] = s.passedPawnsEnd;
    out[n++] = s.pawnStructure;
    out[n++] = s.pawnStructureEnd;
    out[n++] = s.centerControl;
    out[n++] = s.bishopPair;
    out[n++] = s.bishopPairEnd;
    out[n++] = s.chess960;  // castling rules shape every search
    out[n++] = s.drawScore;
    // Per-search choices of `go` that change what a search finds.
    out[n++] = search::limits.nodeLimit;
    out[n++] = searchMoveCount;
    out[n++] = s.preferOpen;
    out[n++] = s.multiPv;
    out[n++] = s.analyseMode;
    out[n++] = s.limitStrength;
    out[n++] = s.limitStrength ? s.elo : 0;
    out[n++] = s.bitbaseAlways;
    for (const char* c = VersionText; *c; c++) out[n++] = (unsigned char)*c;
    out[n++] = s.test1;
    out[n++] = s.test2;
    out[n++] = s.test3;
}

uint32_t SignatureOf(const int* values, int count) {
    const uint32_t* table = SignatureTable();
    uint32_t c = uint32_t(values[0]) + 2u;
    if (table[c % SignatureTableSize] == 0) c++;
    uint32_t signature = table[c % SignatureTableSize];
    for (int i = 1; i < count; i++) {
        c = 2u * c + uint32_t(values[i]);
        if (table[c % SignatureTableSize] == 0) c++;
        signature ^= table[c % SignatureTableSize];
    }
    return signature;
}

uint32_t SettingsSignature() {
    int values[64];
    SignatureValues(values);
    return SignatureOf(values, SignatureValueCount);
}


int MenCount(const uint8_t* boardSquares) {
    int n = 0;
    for (int sq = 1; sq <= 64; sq++) n += boardSquares[sq] != board::Empty;
    return n;
}

void NoteRootResult(int depth, int score, int kind, board::Move move) {
    candidate.move = move;
    candidate.word8 = 0;
    candidate.score = int16_t(score < -MaxSearchScore ? -MaxSearchScore : score > MaxSearchScore ? MaxSearchScore : score);
    candidate.depth = uint8_t(depth < 0 ? 0 : depth > 255 ? 255 : depth);
    candidate.bound = kind == 2 ? uint8_t(search::EntryLower) : 0;
}

const LearnRecord& CandidateRecord() { return candidate; }

int AppendLearning(const board::NodeRecord* root, const uint8_t* boardSquares, board::Move reply) {
    // 1. Complete the candidate.
    LearnRecord r = candidate;
    r.checkKey = root->key[1];
    r.indexKey = search::IndexKey(root);
    r.side = root->side;
    r.men = uint8_t(MenCount(boardSquares));
    r.handSet = HandSetCount() > 0 ? 1 : 0;
    r.spare = 0;
    r.reply = reply;
    for (int sq = 1; sq <= 64; sq++) r.board[sq - 1] = boardSquares[sq];
    r.signature = SettingsSignature();
    int score = r.score + core::settings.drawScore;
    r.score = int16_t(score < -MaxSearchScore ? -MaxSearchScore : score > MaxSearchScore ? MaxSearchScore : score);

    // 2. Append. A torn record left by an earlier crash is padded out first,
    // so that this record and all later ones stay on record boundaries.
    std::FILE* file = std::fopen(LearnFileName, "ab");
    if (!file) return 0;
    uint8_t bytes[LearnRecordSize];
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    if (size < 0) ok = false;
    if (ok && size % LearnRecordSize) {
        uint8_t zeros[LearnRecordSize] = {};
        size_t pad = size_t(LearnRecordSize - size % LearnRecordSize);
        ok = std::fwrite(zeros, 1, pad, file) == pad;
    }
    EncodeLearnRecord(r, bytes);
    if (ok) ok = std::fwrite(bytes, 1, LearnRecordSize, file) == size_t(LearnRecordSize);
    if (std::fclose(file) != 0) ok = false;
    return ok ? 1 : 0;
}

int LearnAfterSearch(board::Tree& tree, board::NodeRecord* root, board::Move best, board::Move reply) {
    if (!best) return 0;
    root->currentMove = best;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (!child) return 0;
    uint32_t childKey = child->key[1];
    board::UnmakeMove(tree, root);
    // Game positions with the child's side to move lie an odd number of plies back.
    const std::vector<uint32_t>& keys = board::Game.keys;
    for (long i = long(keys.size()) - 2; i >= 0; i -= 2)
        if (keys[size_t(i)] == childKey) return 0;
    return AppendLearning(root, tree.board, reply);
}

int SeedFromFile(board::Tree& tree, board::NodeRecord* root) {
    if (!search::HashAllocated())
        return 0;
    // 1. Signature and men.
    uint32_t signature = SettingsSignature();
    int men = MenCount(tree.board);
    int handSetNow = HandSetCount() > 0;

    // 2. Only the newest records that could fit in one table.
    std::FILE* file = std::fopen(LearnFileName, "rb");
    if (!file) return 0;
    long n = FileRecordCount(file);
    long first = n - long(search::SearchEntries / 2);
    if (first < 0) first = 0;
    int result = 0;
    static uint8_t block[SeedBlock * LearnRecordSize];
    if (n > 0 && std::fseek(file, first * LearnRecordSize, SEEK_SET) == 0) {
        // 3. Every matching record.
        for (long at = first; at < n;) {
            long want = n - at < SeedBlock ? n - at : SeedBlock;
            size_t got = std::fread(block, LearnRecordSize, size_t(want), file);
            if (got == 0) break;
            for (size_t i = 0; i < got; i++) {
                LearnRecord r = DecodeLearnRecord(block + i * LearnRecordSize);
                if (r.signature != signature) continue;
                if (SeedRecord(tree, root, r, men, handSetNow)) result = 1;
            }
            at += long(got);
        }
    }
    // 4. Done.
    std::fclose(file);
    return result;
}

long TrimLearningFile() {
    // A trim killed half-way leaves its unfinished copy: the old file is whole.
    char temporary[300];
    std::snprintf(temporary, sizeof temporary, "%s.new", LearnFileName);
    std::remove(temporary);

    std::FILE* file = std::fopen(LearnFileName, "rb");
    if (!file) return -1;
    long n = FileRecordCount(file);
    if (n <= TrimThreshold) {
        std::fclose(file);
        return n;
    }
    // Read the newest records; keep the old file until the new one is complete.
    const size_t bytes = size_t(TrimKeep) * LearnRecordSize;
    uint8_t* kept = new (std::nothrow) uint8_t[bytes];
    bool ok = kept != nullptr && std::fseek(file, (n - TrimKeep) * LearnRecordSize, SEEK_SET) == 0 &&
              std::fread(kept, 1, bytes, file) == bytes;
    std::fclose(file);
    if (ok) {
        std::FILE* out = std::fopen(temporary, "wb");
        ok = out != nullptr;
        if (ok) {
            ok = std::fwrite(kept, 1, bytes, out) == bytes && std::fflush(out) == 0 && fsync(fileno(out)) == 0;
            if (std::fclose(out) != 0) ok = false;
            if (ok) ok = std::rename(temporary, LearnFileName) == 0;
            if (!ok) std::remove(temporary);
        }
    }
    delete[] kept;
    return ok ? TrimKeep : n;
}

void LoadLearning() { TrimLearningFile(); }

}  // namespace book
