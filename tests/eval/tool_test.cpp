// The eval tool prints the parts and, last, the evaluation from the side to move.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "eval_support.h"

namespace {

std::string RunTool(const std::string& args) {
    std::string out;
    FILE* p = popen((std::string(KESTRION_TOOL) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

TEST(EvalTool, LastLineIsTheFullEvaluation) {
    const char* fen = "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R b KQ - 3 9";
    const std::string out = RunTool(std::string("eval \"") + fen + "\"");
    evaltest::Root r;
    evaltest::Load(r, fen);
    const std::string last = "eval " + std::to_string(evaltest::Full(r)) + "\n";
    ASSERT_GE(out.size(), last.size()) << out;
    EXPECT_EQ(out.substr(out.size() - last.size()), last) << out;
    EXPECT_NE(out.find("king safety "), std::string::npos);
    EXPECT_NE(out.find("material table "), std::string::npos);
    // a recognised draw is said so
    const std::string draw = RunTool("eval \"4k3/8/4P3/4K3/8/8/8/8 w - - 0 1\"");
    EXPECT_NE(draw.find("recognised draw"), std::string::npos) << draw;
    EXPECT_NE(draw.find("eval 0\n"), std::string::npos) << draw;
}

}  // namespace
