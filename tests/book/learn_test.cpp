#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "board/position.h"
#include "book/learn.h"
#include "book_support.h"
#include "core/settings.h"
#include "search/limits.h"
#include "search/tt.h"

namespace {

using book::LearnRecord;
using search::SearchEntry;

constexpr int TableKilobytes = 4096;

std::vector<uint8_t> Encode(const std::vector<LearnRecord>& records) {
    std::vector<uint8_t> bytes(records.size() * book::LearnRecordSize);
    for (size_t i = 0; i < records.size(); i++)
        book::EncodeLearnRecord(records[i], &bytes[i * book::LearnRecordSize]);
    return bytes;
}

std::vector<LearnRecord> ReadAll(const char* path) {
    std::vector<LearnRecord> out;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return out;
    uint8_t bytes[book::LearnRecordSize];
    while (std::fread(bytes, 1, sizeof bytes, f) == sizeof bytes) out.push_back(book::DecodeLearnRecord(bytes));
    std::fclose(f);
    return out;
}

class Learning : public booktest::InTempDir {
protected:
    void SetUp() override {
        booktest::InTempDir::SetUp();
        ASSERT_EQ(search::AllocateSearchTables(TableKilobytes), 1);
        search::ClearSearchTables();
        book::ForgetAll();
        tree = std::make_unique<board::Tree>();
        // A king and pawn position: ten men.
        const int squares[10] = {5, 9, 10, 11, 12, 13, 61, 49, 50, 51};
        const int codes[10] = {1, 2, 2, 2, 2, 2, 9, 10, 10, 10};
        for (int i = 0; i < 10; i++) tree->board[squares[i]] = uint8_t(codes[i]);
        root = board::NodeRecord{};
        root.key[0] = 0x0badf00du;
        root.key[1] = 0xfeedbeefu;
    }
    void TearDown() override {
        book::ForgetAll();
        core::settings = core::Settings();
        booktest::InTempDir::TearDown();
    }
    // A record of the tree's position (but another key than the root's).
    LearnRecord Record(uint32_t checkKey, uint32_t indexKey, int score = 37, int depth = 9) {
        LearnRecord r;
        r.checkKey = checkKey;
        r.indexKey = indexKey;
        r.move = 0x4321;
        r.score = int16_t(score);
        r.depth = uint8_t(depth);
        r.bound = 0x80;
        r.signature = book::SettingsSignature();
        r.men = 10;
        for (int sq = 1; sq <= 64; sq++) r.board[sq - 1] = tree->board[sq];
        return r;
    }
    SearchEntry& Main(uint32_t indexKey, int side = 0) {
        return search::SearchTables[0][side][indexKey % search::SearchEntries];
    }
    SearchEntry& Second(uint32_t indexKey, int side = 0) {
        return search::SearchTables[1][side][indexKey % search::SearchEntries];
    }
    std::unique_ptr<board::Tree> tree;
    board::NodeRecord root;
};

TEST(LearnRecordLayout, FieldsAtTheirOffsets) {
    LearnRecord r;
    r.checkKey = 0x11223344u;
    r.move = 0xa1b2c3d4u;
    r.score = -2;
    r.depth = 17;
    r.bound = 0x80;
    r.indexKey = 0x55667788u;
    r.signature = 0x99aabbccu;
    r.side = 1;
    r.men = 31;
    r.handSet = 1;
    r.reply = 0x01020304u;
    r.board[0] = 6;
    r.board[63] = 14;
    uint8_t b[96];
    book::EncodeLearnRecord(r, b);
    EXPECT_EQ(b[0], 0x44);
    EXPECT_EQ(b[3], 0x11);
    EXPECT_EQ(b[4], 0xd4);
    EXPECT_EQ(b[8] | b[9] | b[10] | b[11], 0);
    EXPECT_EQ(b[12], 0xfe);
    EXPECT_EQ(b[13], 0xff);
    EXPECT_EQ(b[14], 17);
    EXPECT_EQ(b[15], 0x80);
    EXPECT_EQ(b[16], 0x88);
    EXPECT_EQ(b[20], 0xcc);
    EXPECT_EQ(b[24], 1);
    EXPECT_EQ(b[25], 31);
    EXPECT_EQ(b[26], 1);
    EXPECT_EQ(b[27], 0);
    EXPECT_EQ(b[28], 0x04);
    EXPECT_EQ(b[32], 6);
    EXPECT_EQ(b[95], 14);
    LearnRecord back = book::DecodeLearnRecord(b);
    EXPECT_EQ(back.score, -2);
    EXPECT_EQ(back.reply, r.reply);
    EXPECT_EQ(std::memcmp(back.board, r.board, 64), 0);
}

TEST(LearnSignature, ChangesWithEveryShapingSettingButNotTimeUsage) {
    core::settings = core::Settings();
    uint32_t base = book::SettingsSignature();
    EXPECT_EQ(book::SettingsSignature(), base);
    core::settings.queen = 101;
    EXPECT_NE(book::SettingsSignature(), base);
    core::settings = core::Settings();
    core::settings.test3 = 1;  // the last value still counts
    EXPECT_NE(book::SettingsSignature(), base);
    core::settings = core::Settings();
    core::settings.drawScore = -20;
    EXPECT_NE(book::SettingsSignature(), base);
    core::settings = core::Settings();
    core::settings.timeUsage = 250;
    core::settings.knowledgeOrSpeed = 300;
    EXPECT_EQ(book::SettingsSignature(), base);
    core::settings = core::Settings();
}

TEST_F(Learning, SeedWritesAMatchingRecordAndMovesTheOldEntryAside) {
    SearchEntry old = search::EncodeEntry(0x77777777u, 0x99, 0, 5, 3, search::searchNumber);
    Main(1234) = old;
    booktest::WriteBytes("kestrion.pl2", Encode({Record(0xabcdef01u, 1234)}));
    EXPECT_EQ(book::SeedFromFile(*tree, &root), 0);  // not the root itself
    EXPECT_TRUE(search::EntryMatches(Main(1234), 0xabcdef01u));
    EXPECT_EQ(Main(1234).move, 0x4321u);
    EXPECT_EQ(search::EntryValue(Main(1234)), 37);
    EXPECT_EQ(search::EntryDepth(Main(1234)), 9);
    EXPECT_EQ(search::EntrySn(Main(1234)), 1);
    EXPECT_EQ(search::EntryFlags(Main(1234)) & 0xc0, 0x80);
    EXPECT_EQ(std::memcmp(&Second(1234), &old, sizeof old), 0);
}

TEST_F(Learning, RecordsOfOtherSettingsAreNeverUsed) {
    LearnRecord r = Record(0xabcdef01u, 1234);
    core::settings.queen = 150;
    r.signature = book::SettingsSignature();
    core::settings.queen = 100;
    booktest::WriteBytes("kestrion.pl2", Encode({r}));
    book::SeedFromFile(*tree, &root);
    EXPECT_FALSE(search::EntryMatches(Main(1234), 0xabcdef01u));
}

TEST_F(Learning, BoardsDifferingInTwentyEightSquaresAreUsedNotTwentyNine) {
    LearnRecord near = Record(0x10000001u, 500), far = Record(0x10000002u, 600);
    // Fill empty squares of the record boards until they differ in 28 and 29 squares.
    int changed = 0;
    for (int i = 0; i < 64 && changed < 29; i++) {
        if (near.board[i]) continue;
        if (changed < 28) near.board[i] = 3;
        far.board[i] = 3;
        changed++;
    }
    near.men = far.men = 10;  // 10..20 men accepted: the tree has 10
    booktest::WriteBytes("kestrion.pl2", Encode({near, far}));
    book::SeedFromFile(*tree, &root);
    EXPECT_TRUE(search::EntryMatches(Main(500), 0x10000001u));
    EXPECT_FALSE(search::EntryMatches(Main(600), 0x10000002u));
}

TEST_F(Learning, MenCountWindowAndPreferOpenAndHandSetFlag) {
    core::settings.preferOpen = 1;  // part of the signature: set before the records
    LearnRecord fewer = Record(0x20000001u, 701), more = Record(0x20000002u, 702), edge = Record(0x20000003u, 703);
    fewer.men = 11;  // the board has fewer men than the record: skipped
    more.men = 0;    // 0..10 men: the board's 10 is the last accepted
    edge.men = 1;    // 1..11 accepts 10
    LearnRecord black = Record(0x20000004u, 704);
    black.side = 1;
    LearnRecord handSet = Record(0x20000005u, 705);
    handSet.handSet = 1;
    booktest::WriteBytes("kestrion.pl2", Encode({fewer, more, edge, black, handSet}));
    book::SeedFromFile(*tree, &root);
    EXPECT_FALSE(search::EntryMatches(Main(701), 0x20000001u));
    EXPECT_TRUE(search::EntryMatches(Main(702), 0x20000002u));
    EXPECT_TRUE(search::EntryMatches(Main(703), 0x20000003u));
    EXPECT_FALSE(search::EntryMatches(Main(704, 1), 0x20000004u));  // other side, prefer open
    EXPECT_FALSE(search::EntryMatches(Main(705), 0x20000005u));     // no hand-set value now
}

TEST_F(Learning, ProtectedSlotsAreNotOverwrittenBySeeding) {
    SearchEntry image = search::EncodeEntry(0x31313131u, 0, 0, 50, 100, 1);
    book::Protect(&Main(888), image);
    book::RestoreAll();
    booktest::WriteBytes("kestrion.pl2", Encode({Record(0x42424242u, 888)}));
    book::SeedFromFile(*tree, &root);
    EXPECT_TRUE(search::EntryMatches(Main(888), 0x31313131u));
}

TEST_F(Learning, TruncatedRandomAndMissingFilesAreHarmless) {
    EXPECT_EQ(book::SeedFromFile(*tree, &root), 0);  // missing
    std::vector<uint8_t> bytes = Encode({Record(0x51515151u, 42)});
    bytes.resize(95);  // torn last record
    booktest::WriteBytes("kestrion.pl2", bytes);
    EXPECT_EQ(book::SeedFromFile(*tree, &root), 0);
    EXPECT_FALSE(search::EntryMatches(Main(42), 0x51515151u));
    std::srand(3);
    std::vector<uint8_t> noise(96 * 50 + 17);
    for (uint8_t& b : noise) b = uint8_t(std::rand());
    booktest::WriteBytes("kestrion.pl2", noise);
    EXPECT_EQ(book::SeedFromFile(*tree, &root), 0);
}

TEST_F(Learning, AppendCompletesTheCandidateAndPadsATornRecord) {
    core::settings.drawScore = 12;
    book::NoteRootResult(7, -40, 2, 0x2468u);
    root.side = 1;
    std::vector<uint8_t> torn(96 + 50, 0);  // one record and a torn one
    booktest::WriteBytes("kestrion.pl2", torn);
    ASSERT_EQ(book::AppendLearning(&root, tree->board, 0x1357u), 1);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), 96 * 3);
    std::vector<LearnRecord> all = ReadAll("kestrion.pl2");
    ASSERT_EQ(all.size(), 3u);
    const LearnRecord& r = all[2];
    EXPECT_EQ(r.checkKey, 0xfeedbeefu);
    EXPECT_EQ(r.move, 0x2468u);
    EXPECT_EQ(r.reply, 0x1357u);
    EXPECT_EQ(r.score, -28);  // plus the draw score
    EXPECT_EQ(r.depth, 7);
    EXPECT_EQ(r.bound, 0x80);
    EXPECT_EQ(r.side, 1);
    EXPECT_EQ(r.men, 10);
    EXPECT_EQ(r.handSet, 0);
    EXPECT_EQ(r.signature, book::SettingsSignature());
    EXPECT_EQ(r.board[4], 1);
    EXPECT_NE(all[1].signature, book::SettingsSignature());  // the padding never matches
}

TEST_F(Learning, AppendToAnUnwritablePlaceFailsQuietly) {
    std::snprintf(book::LearnFileName, sizeof book::LearnFileName, "no/such/dir/kestrion.pl2");
    book::NoteRootResult(3, 10, 0, 0x1111u);
    EXPECT_EQ(book::AppendLearning(&root, tree->board, 0), 0);
    std::snprintf(book::LearnFileName, sizeof book::LearnFileName, "kestrion.pl2");
}

TEST_F(Learning, TrimKeepsTheNewestRecordsOfAnOversizedFile) {
    const long total = book::TrimThreshold + 1;
    {
        std::FILE* f = std::fopen("kestrion.pl2", "wb");
        ASSERT_NE(f, nullptr);
        uint8_t bytes[96] = {};
        for (long i = 0; i < total; i++) {
            LearnRecord r;
            r.checkKey = uint32_t(i);
            book::EncodeLearnRecord(r, bytes);
            ASSERT_EQ(std::fwrite(bytes, 1, 96, f), 96u);
        }
        std::fwrite(bytes, 1, 40, f);  // a torn tail
        std::fclose(f);
    }
    EXPECT_EQ(book::TrimLearningFile(), 235929);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), 235929L * 96);
    std::vector<LearnRecord> kept = ReadAll("kestrion.pl2");
    ASSERT_EQ(kept.size(), 235929u);
    EXPECT_EQ(kept.front().checkKey, uint32_t(total - 235929));
    EXPECT_EQ(kept.back().checkKey, uint32_t(total - 1));
    // At or below the threshold nothing changes.
    EXPECT_EQ(book::TrimLearningFile(), 235929);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), 235929L * 96);
}

TEST_F(Learning, FailedTrimLeavesTheFileWhole) {
    std::vector<uint8_t> bytes(size_t(book::TrimThreshold + 5) * 96, 0x5a);
    booktest::WriteBytes("kestrion.pl2", bytes);
    // The new file cannot be created: a directory that is not empty holds its name.
    ASSERT_EQ(mkdir("kestrion.pl2.new", 0700), 0);
    booktest::WriteBytes("kestrion.pl2.new/keep", {1});
    EXPECT_EQ(book::TrimLearningFile(), book::TrimThreshold + 5);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), long(bytes.size()));
    std::remove("kestrion.pl2.new/keep");
    rmdir("kestrion.pl2.new");
}

TEST_F(Learning, LeftoverOfAnInterruptedTrimIsRemoved) {
    std::vector<uint8_t> bytes(size_t(10) * 96, 0x11);
    booktest::WriteBytes("kestrion.pl2", bytes);
    booktest::WriteBytes("kestrion.pl2.new", std::vector<uint8_t>(96 * 3, 0x22));
    book::LoadLearning();
    EXPECT_EQ(booktest::FileSize("kestrion.pl2.new"), -1);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), long(bytes.size()));
}

// Protected entries.
class Protection : public Learning {};

SearchEntry Image(uint32_t key, int value, int depth) { return search::EncodeEntry(key, 0x55, 0, value, depth, 9); }

TEST_F(Protection, SearchedImageCannotReplaceAHandSetValue) {
    SearchEntry* slot = &Main(10);
    book::Protect(slot, Image(0xaaaa0001u, 50, 100));
    testing::internal::CaptureStdout();
    book::Protect(slot, Image(0xaaaa0001u, -7, 12));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("info string cannot overwrite!"), std::string::npos);
    ASSERT_EQ(book::ProtectedCount(), 1);
    EXPECT_EQ(search::EntryValue(book::ProtectedList()[0].image), 50);
    // A new hand-set value may replace it, with the protected age.
    book::Protect(slot, Image(0xaaaa0001u, 80, 100));
    EXPECT_EQ(search::EntryValue(book::ProtectedList()[0].image), 80);
    EXPECT_EQ(search::EntrySn(book::ProtectedList()[0].image), 1);
    EXPECT_TRUE(search::EntryMatches(book::ProtectedList()[0].image, 0xaaaa0001u));
}

TEST_F(Protection, TheEntryAfterAFullListDropsTheHundredOldest) {
    for (uint32_t i = 0; i < uint32_t(book::MaxProtected); i++) book::Protect(&Main(i), Image(0x1000u + i, 1, 5));
    book::RestoreAll();
    ASSERT_EQ(search::EntrySn(Main(0)), 1);
    book::Protect(&Main(9999), Image(0x9999u, 1, 5));
    EXPECT_EQ(book::ProtectedCount(), book::MaxProtected - 100 + 1);
    EXPECT_EQ(book::ProtectedList()[0].slot, &Main(100));
    EXPECT_EQ(book::ProtectedList()[book::ProtectedCount() - 1].slot, &Main(9999));
    for (uint32_t i = 0; i < 100; i++) {
        EXPECT_EQ(search::EntrySn(Main(i)), 0);
        EXPECT_EQ(Main(i).check ^ Main(i).move ^ Main(i).move2 ^ Main(i).data, 0x1000u + i);  // still decodable
    }
    EXPECT_EQ(search::EntrySn(Main(100)), 1);
}

TEST_F(Protection, RefreshCopiesSearchedEntriesOfTheSamePositionOnly) {
    book::Protect(&Main(1), Image(0xb0000001u, 10, 6));
    book::Protect(&Main(2), Image(0xb0000002u, 10, 6));
    book::Protect(&Main(3), Image(0xb0000003u, 10, 100));
    Main(1) = search::EncodeEntry(0xb0000001u, 0x66, 0, 44, 9, 7);   // deeper result, same position
    Main(2) = search::EncodeEntry(0xcccccccc, 0x66, 0, 44, 9, 7);    // another position
    Main(3) = search::EncodeEntry(0xb0000003u, 0x66, 0, 44, 9, 7);   // hand-set: kept
    book::Refresh();
    const book::ProtectedEntry* list = book::ProtectedList();
    EXPECT_EQ(search::EntryValue(list[0].image), 44);
    EXPECT_EQ(search::EntrySn(list[0].image), 1);
    EXPECT_EQ(search::EntryValue(list[1].image), 10);
    EXPECT_EQ(search::EntryValue(list[2].image), 10);
    book::RestoreAll();
    EXPECT_TRUE(search::EntryMatches(Main(2), 0xb0000002u));
    book::ForgetAll();
    EXPECT_EQ(book::ProtectedCount(), 0);
    EXPECT_TRUE(search::EntryMatches(Main(2), 0xb0000002u));  // the table entries stay
}

}  // namespace
