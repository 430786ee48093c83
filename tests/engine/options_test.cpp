#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "eval/cache.h"
#include "engine/shell.h"
#include "book/learn.h"
#include "engine/options.h"
#include "core/settings.h"
#include "search/limits.h"
#include "search/tt.h"

namespace {

std::vector<std::string> captured;
void Capture(const char* text) { captured.emplace_back(text); }

// The reply to `uci` with the engine's start values.
std::vector<std::string> DefaultReply() {
    std::vector<std::string> lines = {
        "id name Kestrion 3",
        "id author Vastel",
        "option name Hash type spin min 4 max 4096 default 64",
        "option name NalimovPath type string default <empty>",
        "option name NalimovCache type spin min 1 max 256 default 1",
        "option name OwnBook type check default true",
        "option name Ponder type check default true",
        "option name MultiPV type spin min 1 max 20 default 1",
        "option name UCI_EngineAbout type string default Kestrion 3 by Vastel, https://kestrion-chess.org",
        "option name UCI_Chess960 type check default false",
        "option name UCI_AnalyseMode type check default false",
        "option name UCI_ShowCurrLine type check default false",
        "option name UCI_ShowRefutations type check default false",
        "option name UCI_LimitStrength type check default false",
        "option name UCI_Elo type spin min 850 max 2400 default 1400",
        "option name UCI_SetPositionValue type string default <empty>",
        "option name UCI_KestrionbasesPath type string default /kestrionbases/bases.ini",
        "option name Keep Hash Tables type check default true",
        "option name Position Learning type check default true",
        "option name Prefer Open Positions type check default false",
        "option name Use Opening Advice type check default true",
        "option name Use Kestrionbases type combo default Always var Never var LikeTB var Normal var Always",
        "option name Use Tablebases type combo default Normal var Never var Late var Normal var Early",
    };
    for (const char* w : {"Queen", "Queen (Endgame)", "Rook", "Rook (Endgame)", "Bishop",
                          "Bishop (Endgame)", "Knight", "Knight (Endgame)", "Pawn", "Pawn (Endgame)"})
        lines.push_back(std::string("option name ") + w + " type spin min 25 max 400 default 100");
    lines.push_back("option name Draw Score type spin min -300 max 300 default 0");
    lines.push_back("option name Clear Hash type button");
    lines.push_back("option name Clear PosLearning type button");
    for (const char* w : {"King Safety", "Center Control", "Pawn Structure", "Pawn Structure (Endgame)",
                          "Passed Pawns", "Passed Pawns (Endgame)", "Bishop Pair", "Bishop Pair (Endgame)"})
        lines.push_back(std::string("option name ") + w + " type spin min 25 max 400 default 100");
    lines.push_back("option name Time Usage type spin min 25 max 400 default 100");
    lines.push_back("option name Knowledge or Speed type spin min -500 max 500 default 0");
    lines.push_back("uciok");
    for (auto& line : lines) line += "\n";
    return lines;
}

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        core::settings = core::Settings();
        search::searchState = search::Idle;
        engine::SetOptionOutput(Capture);
        captured.clear();
    }
    void TearDown() override {
        engine::SetOptionOutput(nullptr);
        core::settings = core::Settings();
        search::searchState = search::Idle;
        search::FreeHashTables();
    }
    static void Set(std::string line) {
        std::vector<char> text(line.begin(), line.end());
        text.push_back(0);
        engine::SetOption(text.data());
    }
    static std::vector<std::string> Reply() {
        captured.clear();
        engine::DeclareOptions();
        return captured;
    }
};

TEST_F(Options, UciReplyInOrder) {
    std::vector<std::string> got = Reply();
    std::vector<std::string> want = DefaultReply();
    ASSERT_EQ(got.size(), 47u);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "line " << i;
}

TEST_F(Options, UciReplyShowsCurrentValues) {
    Set("name Queen value 150");
    Set("name Pawn (Endgame) value 25");
    Set("name Bishop Pair (Endgame) value 400");
    Set("name Use Opening Advice value false");
    Set("name Time Usage value 250");
    Set("name Knowledge or Speed value -500");
    Set("name Draw Score value -300");  // stored, but declared as 0
    Set("name UCI_Elo value 2000");     // a fixed line
    Set("name Keep Hash Tables value false");  // a fixed line
    Set("name UCI_KestrionbasesPath value /data/bb/bases.ini");
    EXPECT_EQ(core::settings.drawScore, -300);

    std::vector<std::string> want = DefaultReply();
    want[16] = "option name UCI_KestrionbasesPath type string default /data/bb/bases.ini\n";
    want[20] = "option name Use Opening Advice type check default false\n";
    want[23] = "option name Queen type spin min 25 max 400 default 150\n";
    want[32] = "option name Pawn (Endgame) type spin min 25 max 400 default 25\n";
    want[43] = "option name Bishop Pair (Endgame) type spin min 25 max 400 default 400\n";
    want[44] = "option name Time Usage type spin min 25 max 400 default 250\n";
    want[45] = "option name Knowledge or Speed type spin min -500 max 500 default -500\n";
    std::vector<std::string> got = Reply();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "line " << i;

    Set("name UCI_KestrionbasesPath value <EMPTY>");
    EXPECT_EQ(core::settings.bitbasePath[0], 0);
    EXPECT_EQ(Reply()[16], "option name UCI_KestrionbasesPath type string default <empty>\n");
}

TEST_F(Options, NamesIgnoreCaseAndSpaces) {
    Set("name hash value 2");
    EXPECT_EQ(search::searchKilobytes, 3277);
    EXPECT_EQ(eval::evalKilobytes, 819);
    Set("name OwnBook value false");
    EXPECT_EQ(core::settings.ownBook, 0);
    Set("NAME ownbook VALUE TRUE");
    EXPECT_EQ(core::settings.ownBook, 3);
    Set("  name   Passed    Pawns   value   300  ");
    EXPECT_EQ(core::settings.passedPawns, 300);
    Set("name king SAFETY value 55");
    EXPECT_EQ(core::settings.kingSafety, 55);
    Set("name Ponder value maybe");  // checks know only true and false
    EXPECT_EQ(core::settings.ponder, 1);
    Set("name Ponder");  // a check without a value
    EXPECT_EQ(core::settings.ponder, 1);
    Set("name No Such Option value 5");
    Set("value 5");
    EXPECT_EQ(core::settings.multiPv, 1);
}

TEST_F(Options, NewTablesDropProtectedEntries) {
    ASSERT_EQ(search::AllocateHash(search::StartHashKilobytes), 1);
    book::ForgetAll();
    search::SearchEntry image = search::EncodeEntry(77, 0, 0, 15, 100, search::LearnedSn);
    book::Protect(&search::SearchTables[0][1][5], image);
    Set("name Hash value 3");  // same size: the slots stay valid
    EXPECT_EQ(book::ProtectedCount(), 1);
    Set("name Hash value 8");
    EXPECT_EQ(book::ProtectedCount(), 0);
}

TEST_F(Options, CombosCompareExactly) {
    Set("name Use Tablebases value Early");
    EXPECT_EQ(core::settings.tablebaseMargin, -5);
    EXPECT_EQ(core::settings.tablebaseHitLimit, 40);
    EXPECT_EQ(core::settings.tablebaseUse, 1);
    Set("name Use Tablebases value normal");
    EXPECT_EQ(core::settings.tablebaseMargin, -5);

    Set("name Use Kestrionbases value LikeTB");
    EXPECT_EQ(core::settings.bitbaseUse, 1);
    EXPECT_EQ(core::settings.bitbaseMargin, 0);
    EXPECT_EQ(core::settings.bitbaseLikeTb, 1);
    EXPECT_EQ(core::settings.bitbaseAlways, 0);
    Set("name Use Kestrionbases value always");
    EXPECT_EQ(core::settings.bitbaseAlways, 0);
}

TEST_F(Options, SpinRanges) {
    Set("name Queen value 401");
    EXPECT_EQ(core::settings.queen, 100);
    Set("name Queen value 25");
    EXPECT_EQ(core::settings.queen, 25);
    Set("name MultiPV value 21");
    Set("name MultiPV value 0");
    EXPECT_EQ(core::settings.multiPv, 1);
    Set("name MultiPV value 20");
    EXPECT_EQ(core::settings.multiPv, 20);
    Set("name UCI_Elo value 3000");
    EXPECT_EQ(core::settings.elo, 2400);
    Set("name UCI_Elo value 100");
    EXPECT_EQ(core::settings.elo, 850);
    Set("name Draw Score value 301");
    EXPECT_EQ(core::settings.drawScore, 0);
    Set("name Draw Score value -300");
    EXPECT_EQ(core::settings.drawScore, -300);
    // Text that is not a number reads as 0.
    Set("name Draw Score value many");
    EXPECT_EQ(core::settings.drawScore, 0);
    Set("name Knowledge or Speed value 77x");
    EXPECT_EQ(core::settings.knowledgeOrSpeed, 77);
    Set("name NalimovCache value lots");
    EXPECT_EQ(core::settings.nalimovCacheMb, 1);
    engine::shell.tablebaseReopen = 0;
    Set("name NalimovCache value 64");
    EXPECT_EQ(core::settings.nalimovCacheMb, 64);
    EXPECT_EQ(engine::shell.tablebaseReopen, 1);
}

TEST_F(Options, PathsAndOverlongText) {
    engine::shell.tablebaseReopen = 0;
    Set("name NalimovPath value <Empty>");
    EXPECT_STREQ(core::settings.nalimovPath, "<empty>");
    EXPECT_EQ(engine::shell.tablebaseReopen, 1);
    Set("name NalimovPath value /tb one;/tb two");
    EXPECT_STREQ(core::settings.nalimovPath, "/tb one;/tb two");

    std::string longest(engine::MaxNalimovPath, 'p');
    Set("name NalimovPath value " + longest);
    EXPECT_EQ(std::string(core::settings.nalimovPath), longest);
    Set("name NalimovPath value " + longest + "q");
    EXPECT_EQ(std::string(core::settings.nalimovPath), longest);

    std::string bb(engine::MaxBitbasePath, 'b');
    Set("name UCI_KestrionbasesPath value " + bb + "x");
    EXPECT_STREQ(core::settings.bitbasePath, "/kestrionbases/bases.ini");
    EXPECT_EQ(engine::shell.bitbasesLoaded, 0);
    Set("name UCI_KestrionbasesPath value " + bb);
    EXPECT_EQ(std::string(core::settings.bitbasePath), bb);
    EXPECT_EQ(engine::shell.bitbasesLoaded, 1);

    // Names over 255 and values over 799 characters are refused whole.
    Set("name Queen " + std::string(250, 'x') + " value 200");
    Set("name Queen value 30 " + std::string(800, '7'));
    EXPECT_EQ(core::settings.queen, 100);
    Set("name Queen value " + std::string(799, ' ') + "30");
    EXPECT_EQ(core::settings.queen, 30);
}

TEST_F(Options, ButtonsTakeNoValue) {
    search::FreeHashTables();
    ASSERT_EQ(search::AllocateHash(search::StartHashKilobytes), 1);
    board::NodeRecord node{};
    node.key[0] = 17;
    node.key[1] = 23;
    search::StoreSearch(&node, 0x111, 1, -5, 5, 3, 0, 0);
    eval::EvalTables[1][9].data = 44;
    search::ProbeResult r{};

    Set("name Clear Hash value now");  // no option of that name takes a value
    EXPECT_EQ(search::ProbeSearch(&node, r), 1);
    Set("name clear   hash");
    EXPECT_EQ(search::ProbeSearch(&node, r), 0);
    EXPECT_EQ(eval::EvalTables[1][9].data, 0u);

    // Clear PosLearning removes the learning file in the working directory.
    char dir[] = "/tmp/kestrion-options-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char* home = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir), 0);
    FILE* f = std::fopen("kestrion.pl2", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    Set("name Clear PosLearning value yes");
    EXPECT_EQ(access("kestrion.pl2", F_OK), 0);
    Set("name Clear PosLearning");
    EXPECT_NE(access("kestrion.pl2", F_OK), 0);
    EXPECT_EQ(chdir(home), 0);
    std::free(home);
    rmdir(dir);
}

TEST_F(Options, IgnoredDuringASearch) {
    search::searchState = search::Searching;
    Set("name MultiPV value 4");
    Set("name Hash value 16");
    search::searchState = search::Pondering;
    Set("name Queen value 200");
    search::searchState = search::Idle;
    EXPECT_EQ(core::settings.multiPv, 1);
    EXPECT_EQ(core::settings.queen, 100);
    EXPECT_EQ(search::searchKilobytes, 0);
    Set("name MultiPV value 4");
    EXPECT_EQ(core::settings.multiPv, 4);
}

TEST_F(Options, HiddenSwitchesAndKeepHash) {
    Set("name TEST2 value true");
    EXPECT_EQ(core::settings.test1 + 2 * core::settings.test2, 2);
    Set("name Keep Hash Tables value false");
    EXPECT_EQ(core::settings.keepHashSearch + core::settings.keepHashEval, 0);
    for (const std::string& line : Reply()) EXPECT_EQ(line.find("test"), std::string::npos);
}

}  // namespace
