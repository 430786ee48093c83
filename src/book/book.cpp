// Opening book probe: binary search by seeks over 8-byte records, then a
// uniform draw over the candidates copied by their squared weights.
#include "book/book.h"

#include "board/makemove.h"
#include "book/bytes.h"
#include "board/movegen.h"
#include "core/platform.h"
#include "core/settings.h"

namespace book {

char BookFileName[256] = "kestrion.pbk";

namespace {

constexpr int FiftyMovePlies = 100;
constexpr int LoneMinorValue = 325;

int ReadRecordAt(std::FILE* file, long index, uint8_t buffer[RecordSize]) {
    if (std::fseek(file, index * RecordSize, SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, RecordSize, file) == size_t(RecordSize);
}

uint32_t KeyAt(std::FILE* file, long index, int* ok) {
    uint8_t buffer[RecordSize];
    *ok = ReadRecordAt(file, index, buffer);
    return *ok ? ReadU32(buffer) : 0;
}

struct Candidate {
    uint8_t from, to, promotion;
};

}  // namespace

void EncodeRecord(const BookRecord& record, uint8_t out[RecordSize]) {
    WriteU32(out, record.key);
    out[4] = record.from;
    out[5] = record.to;
    out[6] = record.promotion;
    out[7] = uint8_t(record.weight);
}

BookRecord DecodeBookRecord(const uint8_t in[RecordSize]) {
    BookRecord r;
    r.key = ReadU32(in);
    r.from = in[4];
    r.to = in[5];
    r.promotion = in[6];
    r.weight = int8_t(in[7]);
    return r;
}

void EncodeRecord(const AdviceRecord& record, uint8_t out[RecordSize]) {
    WriteU32(out, record.key);
    out[4] = record.from;
    out[5] = record.to;
    out[6] = uint8_t(record.bonus);
    out[7] = record.time;
}

AdviceRecord DecodeAdviceRecord(const uint8_t in[RecordSize]) {
    AdviceRecord r;
    r.key = ReadU32(in);
    r.from = in[4];
    r.to = in[5];
    r.bonus = int8_t(in[6]);
    r.time = in[7];
    return r;
}

uint32_t PositionKey(uint32_t checkKey, int side) {
    return side == board::Black ? checkKey ^ BlackKeyMask : checkKey;
}

int EffectiveWeight(int stored) {
    if (stored <= 1) return stored;
    // The square is kept in a signed byte on purpose: 12 and up wrap.
    return int(int8_t(uint8_t(unsigned(stored * stored) & 0xffu)));
}

int GamePlies() {
    int positions = int(board::Game.states.size());
    return positions > 0 ? positions - 1 : 0;
}

int StrengthAllowsBook(int gamePlies) {
    if (!core::settings.limitStrength) return 1;
    int elo = core::settings.elo;
    int limit = elo > 1099 ? (elo - 1000) / 100 : 1;
    return limit >= gamePlies / 2;
}

int PositionAllowsBook(const board::Tree& tree, const board::NodeRecord* root) {
    if (board::HalfMoveCount(tree, root) >= FiftyMovePlies) return 0;
    int material[2] = {0, 0};
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (code == board::Empty || board::IsKing(code) || code > 15) continue;
        material[board::ColourOf(code)] += board::PieceValue[code];
    }
    for (int side = 0; side < 2; side++)
        if (material[side] == 0 && (material[1 - side] == 0 || material[1 - side] == LoneMinorValue))
            return 0;
    return 1;
}

long RecordCount(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(file);
    return size > 0 ? size / RecordSize : 0;
}

long FindKey(std::FILE* file, long count, uint32_t key) {
    long lo = 0, hi = count - 1;
    while (lo <= hi) {
        long mid = lo + (hi - lo) / 2;
        int ok;
        uint32_t found = KeyAt(file, mid, &ok);
        if (!ok) return -1;
        if (found == key) return mid;
        if (key > found)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

board::Move ProbeBook(const board::NodeRecord* root, const board::Move* legal, int count) {
    std::FILE* file = std::fopen(BookFileName, "rb");
    if (!file) return 0;

    // 1-2. Key and binary search.
    uint32_t key = PositionKey(root);
    long records = RecordCount(file);
    long found = FindKey(file, records, key);
    if (found < 0) {
        std::fclose(file);
        return 0;
    }

    // 3. Candidates: each move copied as often as its effective weight.
    Candidate candidates[MaxCandidates];
    int size = 0;
    auto collect = [&](long index) {
        uint8_t buffer[RecordSize];
        if (!ReadRecordAt(file, index, buffer)) return false;
        BookRecord r = DecodeBookRecord(buffer);
        if (r.key != key) return false;
        int w = EffectiveWeight(r.weight);
        for (int i = 0; i < w && size < MaxCandidates; i++)
            candidates[size++] = {r.from, r.to, r.promotion};
        return true;
    };
    for (long i = found; i >= 0 && collect(i); i--) {
    }
    for (long i = found + 1; i < records && collect(i); i++) {
    }
    std::fclose(file);

    // 4-5. Uniform draw.
    if (size == 0) return 0;
    const Candidate& pick = candidates[core::RandomNext() % uint32_t(size)];

    // 6. Only a legal root move is played. Promotion codes are compared
    // without the colour bit; the side to move fixes the colour anyway.
    for (int i = 0; i < count; i++) {
        board::Move m = legal[i];
        if (board::MoveFrom(m) == pick.from && board::MoveTo(m) == pick.to &&
            (board::MovePromotion(m) & 7) == (pick.promotion & 7))
            return m;
    }
    return 0;
}

board::Move BookMove(const board::Tree& tree, const board::NodeRecord* root,
                     const board::Move* legal, int count, int infiniteSearch) {
    if (!PositionAllowsBook(tree, root)) return 0;
    if (!core::settings.ownBook) return 0;
    if (infiniteSearch) return 0;
    if (!StrengthAllowsBook(GamePlies())) return 0;
    return ProbeBook(root, legal, count);
}


}  // namespace book
