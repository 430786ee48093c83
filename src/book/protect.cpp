// Protected table entries: hand-set position values and the entries of an
// analysis line, kept as images and written back before analysis searches.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "book/learn.h"
#include "core/platform.h"
#include "search/limits.h"

namespace book {

namespace {

constexpr uint32_t AgeMask = uint32_t(search::SnMask) << 24;
constexpr int NoOpScore = 30002;
constexpr int ClearScore = 30001;
constexpr int MaxHandValue = 30000;

ProtectedEntry entries[MaxProtected];
int entryCount = 0;

int FindSlot(const search::SearchEntry* slot) {
    for (int i = 0; i < entryCount; i++)
        if (entries[i].slot == slot) return i;
    return -1;
}

void WithAge(search::SearchEntry& e, int age) {
    search::SetEntryData(e, (e.data & ~AgeMask) | (uint32_t(age) << 24));
}

void RemoveAt(int i) {
    std::memmove(&entries[i], &entries[i + 1], sizeof(ProtectedEntry) * size_t(entryCount - i - 1));
    entryCount--;
}

// A slot that matches no position: all words zero is an empty slot.
void ClearSlot(search::SearchEntry* slot) { *slot = search::SearchEntry{0, 0, 0, 0}; }

int IgnoreCaseEqual(const char* a, const char* b) {
    for (; *a && *b; a++, b++)
        if (std::tolower((unsigned char)*a) != std::tolower((unsigned char)*b)) return 0;
    return *a == *b;
}

// Splits off the first word; returns the rest with leading blanks skipped.
const char* FirstWord(const char* text, char* word, size_t size) {
    while (*text == ' ') text++;
    size_t n = 0;
    while (*text && *text != ' ') {
        if (n + 1 < size) word[n++] = *text;
        text++;
    }
    word[n] = 0;
    while (*text == ' ') text++;
    return text;
}

// Sets the FEN up on the game board; returns the main table slot of its side.
search::SearchEntry* SlotOfFen(const char* fen, uint32_t* checkKey, int* side) {
    if (!search::HashAllocated())
        return nullptr;
    board::GameRecord game;
    if (!board::ReadFen(fen, game)) return nullptr;
    board::Game = game;
    board::StartGame(board::Game);
    uint32_t key[2];
    board::ComputeKey(board::Game.board, key);
    board::NodeRecord node{};
    node.side = uint8_t(board::Game.startSide);
    node.flags = board::Game.startFlags;
    node.key[0] = key[0];
    node.key[1] = key[1];
    *checkKey = key[1];
    *side = node.side & 1;
    return search::SlotAt(1, *side, search::HashIndex(&node));
}

}  // namespace

int IsHandSet(const search::SearchEntry& image) { return search::EntryDepth(image) == HandSetDepth; }

void Protect(search::SearchEntry* slot, const search::SearchEntry& image) {
    search::SearchEntry marked = image;
    WithAge(marked, ProtectedAge);
    int i = FindSlot(slot);
    if (i >= 0) {
        if (!IsHandSet(marked) && IsHandSet(entries[i].image)) {
            core::SendInfoString("cannot overwrite!");
            return;
        }
        entries[i].image = marked;
        return;
    }
    if (entryCount == MaxProtected) {
        // Release the oldest entries to the ordinary replacement.
        for (int k = 0; k < ProtectedDropCount; k++)
            if (search::EntrySn(*entries[k].slot) == ProtectedAge) WithAge(*entries[k].slot, 0);
        std::memmove(&entries[0], &entries[ProtectedDropCount],
                     sizeof(ProtectedEntry) * size_t(MaxProtected - ProtectedDropCount));
        entryCount -= ProtectedDropCount;
    }
    entries[entryCount++] = {slot, marked};
}

void RestoreAll() {
    for (int i = 0; i < entryCount; i++) *entries[i].slot = entries[i].image;
}

void Refresh() {
    for (int i = 0; i < entryCount; i++) {
        if (IsHandSet(entries[i].image)) continue;
        search::SearchEntry current = *entries[i].slot;
        if (search::EntryKey(current) != search::EntryKey(entries[i].image)) continue;
        WithAge(current, ProtectedAge);
        entries[i].image = current;
    }
}

void ForgetAll() { entryCount = 0; }
void ForgetProtectedEntries() { ForgetAll(); }
int ProtectedCount() { return entryCount; }
const ProtectedEntry* ProtectedList() { return entries; }

int HandSetCount() {
    int n = 0;
    for (int i = 0; i < entryCount; i++) n += IsHandSet(entries[i].image);
    return n;
}

void SetPositionValue(const char* text) {
    if (!text || search::searchState != search::Idle) return;
    char word[64];
    const char* rest = FirstWord(text, word, sizeof word);
    if (!word[0]) return;

    if (IgnoreCaseEqual(word, "clearall")) {
        for (int i = entryCount - 1; i >= 0; i--) {
            if (!IsHandSet(entries[i].image)) continue;
            ClearSlot(entries[i].slot);
            RemoveAt(i);
        }
        return;
    }

    bool clear = IgnoreCaseEqual(word, "clear");
    long value = 0;
    if (!clear) {
        char* end = nullptr;
        errno = 0;
        value = std::strtol(word, &end, 10);
        if (end == word || *end || errno) return;  // not a score
        if (value == NoOpScore) return;
        if (value == ClearScore)
            clear = true;
        else if (value < -MaxHandValue || value > MaxHandValue)
            return;
    }

    uint32_t checkKey = 0;
    int side = 0;
    search::SearchEntry* slot = SlotOfFen(rest, &checkKey, &side);
    if (!slot) return;
    if (clear) {
        int i = FindSlot(slot);
        if (i >= 0) {
            ClearSlot(slot);
            RemoveAt(i);
        }
        return;
    }
    if (side == board::Black) value = -value;
    uint32_t data = uint32_t(uint16_t(int16_t(value))) | (uint32_t(HandSetDepth) << 16) |
                    (uint32_t(ProtectedAge) << 24);
    Protect(slot, search::EntryWithData(checkKey, 0, 0, data));
}

void ClearPositionLearning() {
    std::remove(LearnFileName);
    ForgetAll();
}

}  // namespace book
