#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book.h"
#include "book/learn.h"
#include "bookgen/pgn.h"
#include "book_support.h"
#include "core/settings.h"
#include "search/limits.h"
#include "search/tt.h"

namespace {

struct Board {
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    board::NodeRecord* root = nullptr;
    void Load(const char* fen) {
        board::InitBoardTables();
        if (!fen) board::SetStartPosition(board::Game);
        else ASSERT_EQ(board::ReadFen(fen, board::Game), 1) << fen;
        board::StartGame(board::Game);
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
        root = board::SetUpSearchNodes(*tree, board::Game);
    }
    std::string San(const char* san) {
        board::Move m = book::SanToMove(*tree, root, san);
        if (!m) return "-";
        char text[16];
        board::WriteMoveText(text, m);
        return text;
    }
};

TEST(SanMoves, PiecesPawnsCastlingPromotionAndAmbiguity) {
    Board b;
    b.Load(nullptr);
    EXPECT_EQ(b.San("e4"), "e2e4");
    EXPECT_EQ(b.San("Nf3"), "g1f3");
    EXPECT_EQ(b.San("Nf3!?"), "g1f3");
    EXPECT_EQ(b.San("e5"), "-");
    EXPECT_EQ(b.San("Ke2"), "-");
    EXPECT_EQ(b.San("Zz9"), "-");
    b.Load("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(b.San("O-O"), "e1g1");
    EXPECT_EQ(b.San("O-O-O"), "e1c1");
    EXPECT_EQ(b.San("0-0+"), "e1g1");
    EXPECT_EQ(b.San("bxa8=Q"), "b7a8q");
    EXPECT_EQ(b.San("bxa8N"), "b7a8n");
    EXPECT_EQ(b.San("b8=Q"), "b7b8q");
    EXPECT_EQ(b.San("Rd1"), "a1d1");
    b.Load("4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1");
    EXPECT_EQ(b.San("Ne2"), "g1e2");
    EXPECT_EQ(b.San("Nd2"), "b1d2");
    b.Load("4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1");
    EXPECT_EQ(b.San("Nd2"), "-");  // two knights reach d2
    EXPECT_EQ(b.San("Nbd2"), "b1d2");
    EXPECT_EQ(b.San("Nfd2"), "f1d2");
}

// Replays every classification line; returns key -> legal (from, to) pairs.
std::map<uint32_t, std::set<int>> LinePositions() {
    std::map<uint32_t, std::set<int>> positions;
    std::string path = std::string(KESTRION_SOURCE_DIR) + "/data/eco_lines.txt";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (!f) return positions;
    Board b;
    b.Load(nullptr);
    char line[8192];
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        board::GameRecord game;
        board::SetStartPosition(game);
        board::StartGame(game);
        for (char* word = std::strtok(line, " \r\n"); word; word = std::strtok(nullptr, " \r\n")) {
            board::CopyGameBoard(game, *b.tree);
            board::SetUpTree(*b.tree);
            board::NodeRecord* root = board::SetUpSearchNodes(*b.tree, game);
            board::Move legal[256];
            int n = board::LegalMoves(*b.tree, root, legal, 256);
            std::set<int>& moves = positions[book::PositionKey(root)];
            board::Move played = 0;
            for (int i = 0; i < n; i++) {
                char text[16];
                board::WriteMoveText(text, legal[i]);
                if (!board::MovePromotion(legal[i]))
                    moves.insert(board::MoveFrom(legal[i]) * 256 + board::MoveTo(legal[i]));
                if (!std::strcmp(text, word)) played = legal[i];
            }
            EXPECT_NE(played, 0u) << "line move " << word << " is not legal";
            if (!played) break;
            board::PlayGameMove(game, played);
        }
    }
    std::fclose(f);
    return positions;
}

TEST(GeneratedData, EveryAdviceAndDefaultBookMoveIsLegalInItsPosition) {
    std::map<uint32_t, std::set<int>> positions = LinePositions();
    ASSERT_GT(positions.size(), 5000u);
    ASSERT_GT(book::BuiltinAdviceCount, 0);
    for (int i = 0; i < book::BuiltinAdviceCount; i++) {
        const book::AdviceRecord& r = book::BuiltinAdvice[i];
        auto p = positions.find(r.key);
        ASSERT_NE(p, positions.end()) << "advice key " << r.key << " is no line position (stale keys?)";
        EXPECT_TRUE(p->second.count(r.from * 256 + r.to)) << "advice record " << i;
    }
    std::string path = std::string(KESTRION_SOURCE_DIR) + "/data/kestrion.pbk";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint8_t bytes[8];
    long count = 0;
    uint32_t previous = 0;
    while (std::fread(bytes, 1, 8, f) == 8) {
        book::BookRecord r = book::DecodeBookRecord(bytes);
        EXPECT_GE(r.key, previous);
        previous = r.key;
        EXPECT_GE(r.weight, 1);
        EXPECT_LE(r.weight, 11);
        auto p = positions.find(r.key);
        ASSERT_NE(p, positions.end());
        EXPECT_TRUE(p->second.count(r.from * 256 + r.to));
        count++;
    }
    std::fclose(f);
    EXPECT_GT(count, 1000);
}

class BookFiles : public booktest::InTempDir {
protected:
    void TearDown() override {
        core::settings = core::Settings();
        booktest::InTempDir::TearDown();
    }
};

std::string RunTool(const std::string& command) {
    std::string out;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
    return out;
}

TEST_F(BookFiles, PgnToMakebookToProbe) {
    std::FILE* f = std::fopen("games.pgn", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[Event \"a\"]\n[Result \"1-0\"]\n\n1. e4 e5 {main} 2. Nf3 (2. f4) Nc6 3. Bb5 a6 1-0\n\n"
               "[Event \"b\"]\n[Result \"1/2-1/2\"]\n\n1. e4 c5 2. Nf3 d6 $2 1/2-1/2\n\n"
               "[Event \"broken\"]\n[Result \"0-1\"]\n\n1. e4 e5 2. Ke3 Nc6 0-1\n\n"
               "[Event \"c\"]\n[Result \"0-1\"]\n\n1. d4 d5 2. c4 0-1\n\n"
               "[Event \"d\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nf6 1-0\n",
               f);
    std::fclose(f);
    std::string out = RunTool(std::string(KESTRION_TOOL) + " makebook games.pgn out.pbk --plies 3 --min-games 2");
    EXPECT_NE(out.find("skipping the game at line"), std::string::npos) << out;
    EXPECT_NE(out.find("Ke3"), std::string::npos) << out;
    EXPECT_NE(out.find("games used 4, skipped 1"), std::string::npos) << out;
    // Positions in two or more games within 3 plies: start (4 games), after
    // 1.e4 (3), after 1.e4 e5 (2). Moves: e4, d4; e5, c5; Nf3.
    EXPECT_NE(out.find("book records 5"), std::string::npos) << out;
    ASSERT_EQ(booktest::FileSize("out.pbk"), 5 * 8);
    ASSERT_EQ(std::rename("out.pbk", "kestrion.pbk"), 0);

    Board b;
    b.Load(nullptr);
    board::Move legal[256];
    int n = board::LegalMoves(*b.tree, b.root, legal, 256);
    std::map<std::string, int> seen;
    for (int i = 0; i < 400; i++) {
        char text[16] = "none";
        board::Move m = book::ProbeBook(b.root, legal, n);
        if (m) board::WriteMoveText(text, m);
        seen[text]++;
    }
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_GT(seen["e2e4"], seen["d2d4"]);  // three games and better results
    EXPECT_GT(seen["d2d4"], 0);
    b.Load("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    n = board::LegalMoves(*b.tree, b.root, legal, 256);
    char text[16] = "none";
    board::Move m = book::ProbeBook(b.root, legal, n);
    if (m) board::WriteMoveText(text, m);
    EXPECT_STREQ(text, "g1f3");
    b.Load("rnbqkbnr/pppp1ppp/8/4p3/3PP3/8/PPP2PPP/RNBQKBNR b KQkq d3 0 2");
    n = board::LegalMoves(*b.tree, b.root, legal, 256);
    EXPECT_EQ(book::ProbeBook(b.root, legal, n), 0u);

    out = RunTool(std::string(KESTRION_TOOL) + " book kestrion.pbk startpos");
    EXPECT_NE(out.find("e2e4"), std::string::npos) << out;
    EXPECT_NE(out.find("book moves 2"), std::string::npos) << out;
}

TEST_F(BookFiles, MakebookSurvivesGarbageInput) {
    std::FILE* f = std::fopen("junk.pgn", "wb");
    ASSERT_NE(f, nullptr);
    std::srand(11);
    for (int i = 0; i < 20000; i++) std::fputc(std::rand() % 3 ? "1. e4 Nf3 {}()[]\"$*-O\n"[std::rand() % 22] : std::rand() & 255, f);
    std::fclose(f);
    std::string out = RunTool(std::string(KESTRION_TOOL) + " makebook junk.pgn junk.pbk");
    EXPECT_NE(out.find("book records"), std::string::npos) << out;
    out = RunTool(std::string(KESTRION_TOOL) + " makebook missing.pgn x.pbk");
    EXPECT_NE(out.find("cannot open"), std::string::npos) << out;
}

class PositionValues : public booktest::InTempDir {
protected:
    void SetUp() override {
        booktest::InTempDir::SetUp();
        board::InitBoardTables();
        ASSERT_EQ(search::AllocateSearchTables(4096), 1);
        search::ClearSearchTables();
        book::ForgetAll();
    }
    void TearDown() override {
        book::ForgetAll();
        search::searchState = search::Idle;
        core::settings = core::Settings();
        booktest::InTempDir::TearDown();
    }
    // The main slot of a FEN's side to move, and its check key.
    search::SearchEntry* SlotOf(const char* fen, uint32_t* checkKey) {
        board::GameRecord game;
        EXPECT_EQ(board::ReadFen(fen, game), 1);
        uint32_t key[2];
        board::ComputeKey(game.board, key);
        board::NodeRecord node{};
        node.key[0] = key[0];
        node.key[1] = key[1];
        node.flags = game.startFlags;
        node.side = uint8_t(game.startSide);
        *checkKey = key[1];
        return &search::SearchTables[0][game.startSide][search::HashIndex(&node)];
    }
};

const char* const BlackFen = "4k3/8/8/3p4/8/8/8/4K3 b - - 0 1";
const char* const WhiteFen = "4k3/8/8/3p4/8/8/3P4/4K3 w - - 0 1";

TEST_F(PositionValues, BlackToMoveStoresTheNegatedValue) {
    book::SetPositionValue((std::string("50 ") + BlackFen).c_str());
    ASSERT_EQ(book::ProtectedCount(), 1);
    uint32_t key;
    search::SearchEntry* slot = SlotOf(BlackFen, &key);
    const book::ProtectedEntry& e = book::ProtectedList()[0];
    EXPECT_EQ(e.slot, slot);
    EXPECT_TRUE(search::EntryMatches(e.image, key));
    EXPECT_EQ(search::EntryValue(e.image), -50);
    EXPECT_EQ(search::EntryDepth(e.image), 100);
    EXPECT_EQ(e.image.move, 0u);
    EXPECT_EQ(search::EntryFlags(e.image), 1);  // exact, protected age
    EXPECT_FALSE(search::EntryMatches(*slot, key));  // only restore writes the table
    book::RestoreAll();
    EXPECT_TRUE(search::EntryMatches(*slot, key));
    book::SetPositionValue((std::string("-20 ") + WhiteFen).c_str());
    EXPECT_EQ(search::EntryValue(book::ProtectedList()[1].image), -20);
}

TEST_F(PositionValues, ClearClearAllAndTheSpecialScores) {
    uint32_t blackKey, whiteKey;
    search::SearchEntry* blackSlot = SlotOf(BlackFen, &blackKey);
    search::SearchEntry* whiteSlot = SlotOf(WhiteFen, &whiteKey);
    book::SetPositionValue((std::string("30002 ") + BlackFen).c_str());
    EXPECT_EQ(book::ProtectedCount(), 0);
    book::SetPositionValue((std::string("50 ") + BlackFen).c_str());
    book::SetPositionValue((std::string("60 ") + WhiteFen).c_str());
    book::RestoreAll();
    book::SetPositionValue((std::string("CLEAR ") + BlackFen).c_str());
    ASSERT_EQ(book::ProtectedCount(), 1);
    EXPECT_FALSE(search::EntryMatches(*blackSlot, blackKey));
    book::SetPositionValue((std::string("50 ") + BlackFen).c_str());
    book::SetPositionValue((std::string("30001 ") + BlackFen).c_str());  // acts as clear
    EXPECT_EQ(book::ProtectedCount(), 1);
    // An analysis entry survives clearall; hand-set values go, slots cleared.
    search::SearchEntry other = search::EncodeEntry(0x12121212u, 0, 0, 5, 7, 3);
    book::Protect(&search::SearchTables[0][0][77], other);
    book::SetPositionValue("ClearAll");
    ASSERT_EQ(book::ProtectedCount(), 1);
    EXPECT_EQ(book::ProtectedList()[0].slot, &search::SearchTables[0][0][77]);
    EXPECT_FALSE(search::EntryMatches(*whiteSlot, whiteKey));
}

TEST_F(PositionValues, IgnoredWhileSearchingOrWhenMalformed) {
    search::searchState = search::Searching;
    book::SetPositionValue((std::string("50 ") + BlackFen).c_str());
    EXPECT_EQ(book::ProtectedCount(), 0);
    search::searchState = search::Idle;
    const char* bad[] = {"", "   ", "fifty 4k3/8/8/8/8/8/8/4K3 w - -", "50", "50 not/a/fen", "99999 4k3/8/8/8/8/8/8/4K3 w - -",
                         "clear", "12x 4k3/8/8/8/8/8/8/4K3 w - -"};
    for (const char* text : bad) book::SetPositionValue(text);
    EXPECT_EQ(book::ProtectedCount(), 0);
}

TEST_F(PositionValues, ClearPosLearningDeletesTheFileAndTheList) {
    booktest::WriteBytes("kestrion.pl2", std::vector<uint8_t>(96, 1));
    book::SetPositionValue((std::string("50 ") + BlackFen).c_str());
    book::ClearPositionLearning();
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), -1);
    EXPECT_EQ(book::ProtectedCount(), 0);
}

TEST_F(PositionValues, SeedingTheRootItselfWritesTheReplyForTheChild) {
    Board b;
    b.Load("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    // Learn c7c5 with the reply g1f3 at depth 10, score 25 (lower bound).
    board::Move best = 0, reply = 0;
    board::Move legal[256];
    int n = board::LegalMoves(*b.tree, b.root, legal, 256);
    for (int i = 0; i < n; i++)
        if (board::MoveFrom(legal[i]) == 51 && board::MoveTo(legal[i]) == 35) best = legal[i];
    ASSERT_NE(best, 0u);
    b.root->currentMove = best;
    board::NodeRecord* child = board::MakeMove(*b.tree, b.root);
    ASSERT_NE(child, nullptr);
    n = board::LegalMoves(*b.tree, child, legal, 256);
    for (int i = 0; i < n; i++)
        if (board::MoveFrom(legal[i]) == 7 && board::MoveTo(legal[i]) == 22) reply = legal[i];
    uint32_t childKey = child->key[1];
    uint32_t childIndex = search::HashIndex(child);
    board::UnmakeMove(*b.tree, b.root);
    ASSERT_NE(reply, 0u);
    book::NoteRootResult(10, 25, 2, best);
    ASSERT_EQ(book::AppendLearning(b.root, b.tree->board, reply), 1);

    search::ClearSearchTables();
    EXPECT_EQ(book::SeedFromFile(*b.tree, b.root), 1);
    search::ProbeResult hit;
    ASSERT_TRUE(search::ProbeSearch(b.root, hit));
    EXPECT_EQ(hit.move, best);
    EXPECT_EQ(hit.value, 25);
    EXPECT_EQ(hit.sn, 1);
    const search::SearchEntry& e = search::SearchTables[0][0][childIndex];
    ASSERT_TRUE(search::EntryMatches(e, childKey));
    EXPECT_EQ(e.move, reply);
    EXPECT_EQ(search::EntryValue(e), -25);
    EXPECT_EQ(search::EntryDepth(e), 9);
    EXPECT_EQ(search::EntryFlags(e) & 0xc0, 0x40);  // lower bound seen from the other side
    // The tree is back at the root.
    EXPECT_EQ(b.tree->board[51], board::BPawn);

    // An illegal learned move gives no child entry and no root answer.
    search::ClearSearchTables();
    std::remove("kestrion.pl2");
    book::NoteRootResult(10, 25, 2, board::MakeMoveWord(51, 27, board::BPawn));
    ASSERT_EQ(book::AppendLearning(b.root, b.tree->board, reply), 1);
    EXPECT_EQ(book::SeedFromFile(*b.tree, b.root), 0);
}

}  // namespace
