// Opening advice: score bonuses and time percentages for known root moves,
// from "kestrion.opa" when it exists, else from the built-in table.
#include "book/book.h"

#include "core/settings.h"

namespace book {

char AdviceFileName[256] = "kestrion.opa";

namespace {

// Same binary search as the file, on the table in memory.
long FindInTable(uint32_t key) {
    long lo = 0, hi = long(BuiltinAdviceCount) - 1;
    while (lo <= hi) {
        long mid = lo + (hi - lo) / 2;
        uint32_t found = BuiltinAdvice[mid].key;
        if (found == key) return mid;
        if (key > found)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

int ReadAdviceAt(std::FILE* file, long index, AdviceRecord* out) {
    uint8_t buffer[RecordSize];
    if (std::fseek(file, index * RecordSize, SEEK_SET) != 0) return 0;
    if (std::fread(buffer, 1, RecordSize, file) != size_t(RecordSize)) return 0;
    *out = DecodeAdviceRecord(buffer);
    return 1;
}

}  // namespace

int LookupAdvice(uint32_t key, AdviceRecord* out, int max) {
    int n = 0;
    std::FILE* file = std::fopen(AdviceFileName, "rb");
    if (file) {
        long count = RecordCount(file);
        long found = FindKey(file, count, key);
        AdviceRecord r;
        if (found >= 0) {
            for (long i = found; i >= 0 && n < max && ReadAdviceAt(file, i, &r) && r.key == key; i--)
                out[n++] = r;
            for (long i = found + 1; i < count && n < max && ReadAdviceAt(file, i, &r) && r.key == key;
                 i++)
                out[n++] = r;
        }
        std::fclose(file);
        return n;
    }
    long found = FindInTable(key);
    if (found < 0) return 0;
    for (long i = found; i >= 0 && n < max && BuiltinAdvice[i].key == key; i--) out[n++] = BuiltinAdvice[i];
    for (long i = found + 1; i < BuiltinAdviceCount && n < max && BuiltinAdvice[i].key == key; i++)
        out[n++] = BuiltinAdvice[i];
    return n;
}

int ApplyAdvice(const board::NodeRecord* root, const board::Move* moves, int count, int16_t* bonus,
                uint8_t* time) {
    constexpr int MaxAdvice = 256;
    AdviceRecord records[MaxAdvice];
    int n = LookupAdvice(PositionKey(root), records, MaxAdvice);
    int applied = 0;
    for (int r = 0; r < n; r++) {
        for (int i = 0; i < count; i++) {
            board::Move m = moves[i];
            if (board::MovePromotion(m)) continue;
            if (board::MoveFrom(m) != records[r].from || board::MoveTo(m) != records[r].to) continue;
            bonus[i] = int16_t(records[r].bonus);
            time[i] = records[r].time;
            applied++;
            break;
        }
    }
    return applied;
}

int AdviceAllowed(const board::Tree& tree, const board::NodeRecord* root) {
    if (!PositionAllowsBook(tree, root)) return 0;
    if (!core::settings.openingAdvice) return 0;
    return StrengthAllowsBook(GamePlies());
}

}  // namespace book
