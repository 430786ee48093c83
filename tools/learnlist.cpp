// learn FILE.pl2: lists the records of a learning file readably.
#include <cstdio>
#include <string>

#include "board/movegen.h"
#include "book/learn.h"
#include "command.h"

namespace {

std::string Placement(const uint8_t* squares) {
    static const char letters[] = "?KPN?BRQ?kpn?brq";
    std::string out;
    for (int rank = 8; rank >= 1; rank--) {
        int empty = 0;
        for (int file = 1; file <= 8; file++) {
            int code = squares[(rank - 1) * 8 + file - 1];
            if (code == 0) {
                empty++;
                continue;
            }
            if (empty) out += char('0' + empty);
            empty = 0;
            out += code < 16 ? letters[code] : '?';
        }
        if (empty) out += char('0' + empty);
        if (rank > 1) out += '/';
    }
    return out;
}

std::string MoveText(uint32_t move) {
    if (!move) return "-";
    char text[16];
    board::WriteMoveText(text, move);
    return text;
}

int LearnList(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrion-tool learn FILE.pl2\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "learn: cannot open %s\n", argv[1]);
        return 1;
    }
    uint32_t current = book::SettingsSignature();
    uint8_t bytes[book::LearnRecordSize];
    long count = 0;
    size_t got;
    while ((got = std::fread(bytes, 1, book::LearnRecordSize, f)) == size_t(book::LearnRecordSize)) {
        book::LearnRecord r = book::DecodeLearnRecord(bytes);
        std::printf("%ld: %s %c men %d depth %d score %d%s move %s reply %s sig %08x%s%s\n", count,
                    Placement(r.board).c_str(), r.side == 0 ? 'w' : r.side == 1 ? 'b' : '?', int(r.men),
                    int(r.depth), int(r.score), (r.bound & 0x80) ? " (lower bound)" : "",
                    MoveText(r.move).c_str(), MoveText(r.reply).c_str(), unsigned(r.signature),
                    r.signature == current ? "" : " (other settings)", r.handSet ? " hand-set values" : "");
        count++;
    }
    if (got > 0) std::printf("partial record of %zu bytes at the end (ignored)\n", got);
    std::fclose(f);
    std::printf("records %ld\n", count);
    return 0;
}

}  // namespace

KESTRION_TOOL(LearnList, "learn", "learn FILE.pl2   list the records of a learning file", LearnList);
