// Position learning through the engine: a search that runs past three seconds leaves a record that
// the next search of the same position finds.
#include <gtest/gtest.h>

#include "../engine/engine_process.h"
#include "book/learn.h"
#include "book_support.h"

namespace {

using testing_support::RunEngine;

class EngineLearning : public booktest::InTempDir {};

TEST_F(EngineLearning, LongSearchAppendsARecordThatTheToolLists) {
    const std::string position = "position fen r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3\n";
    auto run = RunEngine({}, "uci\n" + position + "go movetime 10000\n", 60, "bestmove");
    ASSERT_NE(run.output.find("bestmove"), std::string::npos) << run.output;
    ASSERT_EQ(booktest::FileSize("kestrion.pl2"), 96);
    std::string command = std::string(KESTRION_TOOL) + " learn kestrion.pl2";
    std::FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
    EXPECT_NE(out.find("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w men 32"), std::string::npos) << out;
    EXPECT_EQ(out.find("other settings"), std::string::npos) << out;
    EXPECT_NE(out.find("records 1"), std::string::npos) << out;
    // Other settings: the record is ignored and a short search learns nothing.
    run = RunEngine({}, "uci\nsetoption name Queen value 120\n" + position + "go depth 2\nquit\n", 60, "bestmove");
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), 96);
    // Same settings: the seed finds the root, so even a short search writes.
    run = RunEngine({}, "uci\n" + position + "go depth 2\nquit\n", 60, "bestmove");
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), 192);
}

}  // namespace
