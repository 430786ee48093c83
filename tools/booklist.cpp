// book FILE.pbk [FEN...]: lists the book moves of a position with their
// weights; without a FEN, checks the file's shape.
#include <cstdio>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book.h"
#include "bookgen/pgn.h"
#include "command.h"

namespace {

int CheckFile(std::FILE* f) {
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    long count = size > 0 ? size / book::RecordSize : 0;
    long unsorted = 0, zero = 0;
    uint32_t previous = 0;
    uint8_t bytes[book::RecordSize];
    std::fseek(f, 0, SEEK_SET);
    for (long i = 0; i < count && std::fread(bytes, 1, book::RecordSize, f) == size_t(book::RecordSize); i++) {
        book::BookRecord r = book::DecodeBookRecord(bytes);
        if (i > 0 && r.key < previous) unsorted++;
        if (book::EffectiveWeight(r.weight) < 1) zero++;
        previous = r.key;
    }
    if (size % book::RecordSize)
        std::printf("trailing partial record of %ld bytes (ignored)\n", size % book::RecordSize);
    if (unsorted) std::printf("%ld records out of key order: lookups will miss\n", unsorted);
    if (zero) std::printf("%ld records that are never chosen (weight below 1 after squaring)\n", zero);
    std::printf("records %ld\n", count);
    return unsorted ? 1 : 0;
}

int BookList(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kestrion-tool book FILE.pbk [FEN...]\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "book: cannot open %s\n", argv[1]);
        return 1;
    }
    if (argc == 2) {
        int status = CheckFile(f);
        std::fclose(f);
        return status;
    }
    std::string fen;
    for (int i = 2; i < argc; i++) fen += (i > 2 ? " " : "") + std::string(argv[i]);
    board::InitBoardTables();
    board::GameRecord game;
    if (fen == "startpos") {
        board::SetStartPosition(game);
    } else if (!board::ReadFen(fen.c_str(), game)) {
        std::fprintf(stderr, "book: bad FEN: %s\n", fen.c_str());
        std::fclose(f);
        return 1;
    }
    board::StartGame(game);
    board::Tree& tree = book::ToolTree();
    board::CopyGameBoard(game, tree);
    board::SetUpTree(tree);
    board::NodeRecord* root = board::SetUpSearchNodes(tree, game);
    board::Move legal[256];
    int legalCount = board::LegalMoves(tree, root, legal, 256);

    uint32_t key = book::PositionKey(root);
    long count = book::RecordCount(f);
    long found = book::FindKey(f, count, key);
    long first = found, last = found;
    uint8_t bytes[book::RecordSize];
    auto keyAt = [&](long i) {
        std::fseek(f, i * book::RecordSize, SEEK_SET);
        if (std::fread(bytes, 1, book::RecordSize, f) != size_t(book::RecordSize)) return false;
        return book::DecodeBookRecord(bytes).key == key;
    };
    if (found >= 0) {
        while (first > 0 && keyAt(first - 1)) first--;
        while (last + 1 < count && keyAt(last + 1)) last++;
    }
    int total = 0, moves = 0;
    for (long i = first; found >= 0 && i <= last; i++)
        if (keyAt(i)) {
            int w = book::EffectiveWeight(book::DecodeBookRecord(bytes).weight);
            if (w > 0) total += w;
        }
    std::printf("key %08x\n", unsigned(key));
    for (long i = first; found >= 0 && i <= last; i++) {
        if (!keyAt(i)) continue;
        book::BookRecord r = book::DecodeBookRecord(bytes);
        board::Move move = 0;
        for (int k = 0; k < legalCount; k++)
            if (board::MoveFrom(legal[k]) == r.from && board::MoveTo(legal[k]) == r.to &&
                (board::MovePromotion(legal[k]) & 7) == (r.promotion & 7))
                move = legal[k];
        char text[16] = "????";
        if (move) board::WriteMoveText(text, move);
        int w = book::EffectiveWeight(r.weight);
        std::printf("%-6s weight %3d  chance %5.1f%%%s\n", text, int(r.weight),
                    w > 0 && total > 0 ? 100.0 * w / total : 0.0, move ? "" : "  (not legal here)");
        moves++;
    }
    std::fclose(f);
    std::printf("book moves %d\n", moves);
    return 0;
}

}  // namespace

KESTRION_TOOL(BookList, "book", "book FILE.pbk [FEN...]   list the book moves of a position", BookList);
