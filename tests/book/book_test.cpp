#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "book/book.h"
#include "book_support.h"
#include "bookgen/pgn.h"
#include "core/settings.h"

namespace {

using board::MakeMoveWord;
using book::BookRecord;
using booktest::WriteBook;

constexpr uint32_t Key = 0x12345678u;
const board::Move E2E4 = MakeMoveWord(13, 29, board::WPawn);
const board::Move D2D4 = MakeMoveWord(12, 28, board::WPawn);
const board::Move G1F3 = MakeMoveWord(7, 22, board::WKnight);
const board::Move Promote = MakeMoveWord(55, 63, board::WPawn, 0, board::WQueen);
const board::Move Underpromote = MakeMoveWord(55, 63, board::WPawn, 0, board::WKnight);

board::NodeRecord Root(uint32_t checkKey, int side = board::White) {
    board::NodeRecord node{};
    node.key[1] = checkKey;
    node.side = uint8_t(side);
    return node;
}

class BookProbe : public booktest::InTempDir {
protected:
    void TearDown() override {
        core::settings = core::Settings();
        booktest::InTempDir::TearDown();
    }
    const board::Move legal[3] = {E2E4, D2D4, G1F3};
};

TEST(BookWeight, SquaredAndWrappedToASignedByte) {
    EXPECT_EQ(book::EffectiveWeight(1), 1);
    EXPECT_EQ(book::EffectiveWeight(3), 9);
    EXPECT_EQ(book::EffectiveWeight(11), 121);
    EXPECT_EQ(book::EffectiveWeight(12), -112);
    EXPECT_EQ(book::EffectiveWeight(17), 33);
    EXPECT_EQ(book::EffectiveWeight(0), 0);
    EXPECT_EQ(book::EffectiveWeight(-4), -4);
}

TEST(BookKey, BlackToMoveIsMarked) {
    EXPECT_EQ(book::PositionKey(Key, board::White), Key);
    EXPECT_EQ(book::PositionKey(Key, board::Black), Key ^ 0xAAAAAAAAu);
}

TEST(BookRecordLayout, LittleEndianKeyThenMoveAndSignedWeight) {
    uint8_t bytes[8];
    book::EncodeRecord(BookRecord{0x01020304u, 13, 29, 0, -3}, bytes);
    const uint8_t expected[8] = {4, 3, 2, 1, 13, 29, 0, 0xfd};
    EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
    BookRecord back = book::DecodeBookRecord(bytes);
    EXPECT_EQ(back.key, 0x01020304u);
    EXPECT_EQ(back.weight, -3);
}

TEST_F(BookProbe, WeightsOneAndThreeChooseAboutOneToNine) {
    WriteBook("kestrion.pbk", {{Key - 1, 12, 28, 0, 11}, {Key, 13, 29, 0, 1}, {Key, 7, 22, 0, 3},
                               {Key + 1, 12, 28, 0, 11}});
    board::NodeRecord root = Root(Key);
    int first = 0, second = 0;
    for (int i = 0; i < 20000; i++) {
        board::Move m = book::ProbeBook(&root, legal, 3);
        ASSERT_TRUE(m == E2E4 || m == G1F3);
        (m == E2E4 ? first : second)++;
    }
    double ratio = double(second) / first;
    EXPECT_GT(ratio, 7.0);
    EXPECT_LT(ratio, 11.5);
}

TEST_F(BookProbe, WrappedOrNonPositiveWeightsAreNeverChosen) {
    WriteBook("kestrion.pbk", {{Key, 13, 29, 0, 12}, {Key, 12, 28, 0, 0}, {Key, 7, 22, 0, 17}});
    board::NodeRecord root = Root(Key);
    for (int i = 0; i < 500; i++) EXPECT_EQ(book::ProbeBook(&root, legal, 3), G1F3);
    WriteBook("kestrion.pbk", {{Key, 13, 29, 0, 0}});
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
    WriteBook("kestrion.pbk", {{Key, 13, 29, 0, -1}, {Key, 12, 28, 0, 12}});
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
}

TEST_F(BookProbe, CollectsTheWholeRunOfAKeyAroundTheMatch) {
    // Many records of one key in the middle of a long book: the binary search
    // lands inside the run and both directions must be walked.
    std::vector<BookRecord> records;
    for (uint32_t k = 0; k < 300; k++) records.push_back({k * 7, 1, 2, 0, 5});
    for (int i = 0; i < 20; i++) records.push_back({3000, 13, 29, 0, 1});
    records.push_back({3000, 7, 22, 0, 1});
    for (int i = 0; i < 20; i++) records.push_back({3000, 12, 28, 0, 1});
    for (uint32_t k = 0; k < 300; k++) records.push_back({3001 + k, 1, 2, 0, 5});
    WriteBook("kestrion.pbk", records);
    board::NodeRecord root = Root(3000);
    bool seen[3] = {false, false, false};
    for (int i = 0; i < 3000; i++) {
        board::Move m = book::ProbeBook(&root, legal, 3);
        for (int k = 0; k < 3; k++) seen[k] |= m == legal[k];
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST_F(BookProbe, FindsBlackPositionsByTheirMarkedKey) {
    WriteBook("kestrion.pbk", {{Key ^ 0xAAAAAAAAu, 13, 29, 0, 1}});
    board::NodeRecord white = Root(Key, board::White), black = Root(Key, board::Black);
    EXPECT_EQ(book::ProbeBook(&white, legal, 3), 0u);
    EXPECT_EQ(book::ProbeBook(&black, legal, 3), E2E4);
}

TEST_F(BookProbe, MissingEmptyOrIllegalGivesNoMove) {
    board::NodeRecord root = Root(Key);
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
    booktest::WriteBytes("kestrion.pbk", {});
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
    WriteBook("kestrion.pbk", {{Key, 50, 58, 0, 5}});
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
}

TEST_F(BookProbe, PromotionPieceMustMatch) {
    const board::Move promotions[2] = {Underpromote, Promote};
    WriteBook("kestrion.pbk", {{Key, 55, 63, board::WQueen, 3}});
    board::NodeRecord root = Root(Key);
    EXPECT_EQ(book::ProbeBook(&root, promotions, 2), Promote);
    WriteBook("kestrion.pbk", {{Key, 55, 63, 0, 3}});
    EXPECT_EQ(book::ProbeBook(&root, promotions, 2), 0u);
}

TEST_F(BookProbe, TrailingPartialRecordIsIgnored) {
    std::vector<uint8_t> bytes(8 * 2 + 5, 0xee);
    book::EncodeRecord(BookRecord{Key, 13, 29, 0, 2}, &bytes[0]);
    book::EncodeRecord(BookRecord{Key + 5, 12, 28, 0, 2}, &bytes[8]);
    booktest::WriteBytes("kestrion.pbk", bytes);
    board::NodeRecord root = Root(Key + 5);
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), D2D4);
    root = Root(0xeeeeeeeeu);
    EXPECT_EQ(book::ProbeBook(&root, legal, 3), 0u);
}

TEST_F(BookProbe, RandomBytesNeverCrashAndOnlyLegalMovesComeOut) {
    std::srand(7);
    for (int round = 0; round < 50; round++) {
        std::vector<uint8_t> bytes(size_t(std::rand() % 4000));
        for (uint8_t& b : bytes) b = uint8_t(std::rand());
        booktest::WriteBytes("kestrion.pbk", bytes);
        for (size_t at = 0; at + 8 <= bytes.size(); at += 8 * 37) {
            BookRecord r = book::DecodeBookRecord(&bytes[at]);
            board::NodeRecord root = Root(r.key);
            board::Move m = book::ProbeBook(&root, legal, 3);
            EXPECT_TRUE(m == 0 || m == E2E4 || m == D2D4 || m == G1F3);
        }
    }
}

TEST_F(BookProbe, StrengthLimitLeavesTheBookByGameLength) {
    core::settings.limitStrength = 1;
    core::settings.elo = 1400;  // four moves
    EXPECT_TRUE(book::StrengthAllowsBook(8));
    EXPECT_TRUE(book::StrengthAllowsBook(9));  // half the plies, rounded down, is still 4
    EXPECT_FALSE(book::StrengthAllowsBook(10));
    core::settings.elo = 1099;  // below 1100: one move
    EXPECT_TRUE(book::StrengthAllowsBook(3));
    EXPECT_FALSE(book::StrengthAllowsBook(4));
    core::settings.elo = 2400;
    EXPECT_TRUE(book::StrengthAllowsBook(29));
    EXPECT_FALSE(book::StrengthAllowsBook(30));
    core::settings.limitStrength = 0;
    EXPECT_TRUE(book::StrengthAllowsBook(500));
}

TEST_F(BookProbe, AdviceFileSetsBonusAndTimeOfMatchingMoves) {
    booktest::WriteAdvice("kestrion.opa", {{Key - 3, 13, 29, 1, 1},
                                           {Key, 55, 63, 20, 50},  // a promotion: ignored
                                           {Key, 13, 29, 9, 87},
                                           {Key, 40, 41, 5, 5},  // no such move
                                           {Key, 7, 22, -4, 0}});
    const board::Move moves[4] = {Promote, E2E4, D2D4, G1F3};
    int16_t bonus[4] = {0, 0, 0, 0};
    uint8_t time[4] = {0, 0, 0, 0};
    board::NodeRecord root = Root(Key);
    EXPECT_EQ(book::ApplyAdvice(&root, moves, 4, bonus, time), 2);
    EXPECT_EQ(bonus[0], 0);
    EXPECT_EQ(time[0], 0);
    EXPECT_EQ(bonus[1], 9);
    EXPECT_EQ(time[1], 87);
    EXPECT_EQ(bonus[2], 0);
    EXPECT_EQ(bonus[3], -4);  // sign-extended
    EXPECT_EQ(time[3], 0);
}

TEST_F(BookProbe, EmptyAdviceFileGivesNoAdviceAtAll) {
    ASSERT_GT(book::BuiltinAdviceCount, 0);
    const book::AdviceRecord& builtin = book::BuiltinAdvice[book::BuiltinAdviceCount / 2];
    book::AdviceRecord found[16];
    EXPECT_GT(book::LookupAdvice(builtin.key, found, 16), 0);  // no file: built-in table
    booktest::WriteBytes("kestrion.opa", {});
    EXPECT_EQ(book::LookupAdvice(builtin.key, found, 16), 0);
}

TEST_F(BookProbe, BrokenAdviceFilesOnlyEverTouchListedMoves) {
    std::srand(5);
    const board::Move moves[3] = {E2E4, D2D4, G1F3};
    for (int round = 0; round < 40; round++) {
        std::vector<uint8_t> bytes(size_t(std::rand() % 3000));
        for (uint8_t& b : bytes) b = uint8_t(std::rand());
        booktest::WriteBytes("kestrion.opa", bytes);
        for (size_t at = 0; at + 8 <= bytes.size(); at += 8 * 29) {
            book::AdviceRecord r = book::DecodeAdviceRecord(&bytes[at]);
            board::NodeRecord root = Root(r.key);
            int16_t bonus[4] = {0, 0, 0, 77};
            uint8_t time[4] = {0, 0, 0, 77};
            int n = book::ApplyAdvice(&root, moves, 3, bonus, time);
            EXPECT_GE(n, 0);
            EXPECT_EQ(bonus[3], 77);
            EXPECT_EQ(time[3], 77);
        }
    }
}

TEST(BuiltinAdvice, SortedWithinTheDocumentedRanges) {
    ASSERT_GT(book::BuiltinAdviceCount, 1000);
    int perKey = 1;
    for (int i = 0; i < book::BuiltinAdviceCount; i++) {
        const book::AdviceRecord& r = book::BuiltinAdvice[i];
        EXPECT_GE(r.bonus, 0);
        EXPECT_LE(r.bonus, 34);
        EXPECT_GE(r.time, 1);
        EXPECT_LE(r.time, 97);
        if (i > 0) {
            ASSERT_LE(book::BuiltinAdvice[i - 1].key, r.key) << "at " << i;
            perKey = book::BuiltinAdvice[i - 1].key == r.key ? perKey + 1 : 1;
            EXPECT_LE(perKey, 13);
        }
    }
}

// PGN tokenizer: no board needed.
book::PgnSource Text(const char* text) {
    book::PgnSource s;
    s.text = text;
    return s;
}

TEST(PgnReader, SkipsCommentsVariationsAndAnnotations) {
    book::PgnSource s = Text(
        "[Event \"x\"]\n[Result \"0-1\"]\n\n"
        "1. e4 {a comment (with parens)} e5 2. Nf3!? (2. f4 exf4 (2... d5) 3. Nf3) Nc6 $1 3.Bb5 ; rest\n"
        "3...a6 4. O-O+ 0-1\n"
        "[Event \"y\"]\n1. d4 d5 *\n");
    book::PgnGame g;
    ASSERT_TRUE(book::ReadPgnGame(s, g));
    std::vector<std::string> expected = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "O-O"};
    EXPECT_EQ(g.moves, expected);
    EXPECT_EQ(g.result, book::BlackWins);
    ASSERT_TRUE(book::ReadPgnGame(s, g));
    EXPECT_EQ(g.moves, (std::vector<std::string>{"d4", "d5"}));
    EXPECT_EQ(g.result, book::UnknownResult);
    EXPECT_FALSE(book::ReadPgnGame(s, g));
}

TEST(PgnReader, ResultTagWinsAndMissingResultEndsAtNextTags) {
    book::PgnSource s = Text("[Result \"1/2-1/2\"]\n1. e4 e5\n[Result \"1-0\"]\n1. c4 1-0\n");
    book::PgnGame g;
    ASSERT_TRUE(book::ReadPgnGame(s, g));
    EXPECT_EQ(g.moves.size(), 2u);
    EXPECT_EQ(g.result, book::Drawn);
    ASSERT_TRUE(book::ReadPgnGame(s, g));
    EXPECT_EQ(g.moves, std::vector<std::string>{"c4"});
    EXPECT_EQ(g.result, book::WhiteWins);
}

TEST(PgnReader, BrokenInputEndsWithoutCrashing) {
    const char* inputs[] = {"[Event \"unterminated", "1. e4 {never closed", "((((1. e4", ")))) 1. e4 *",
                            "[FEN \"8/8 w\"]\n1. Kxx9 *", "\x01\xff\x80 [[ ]] \"\" 1-0"};
    for (const char* text : inputs) {
        book::PgnSource s = Text(text);
        book::PgnGame g;
        int games = 0;
        while (book::ReadPgnGame(s, g) && games < 10) games++;
        EXPECT_LT(games, 10) << text;
    }
}

}  // namespace
