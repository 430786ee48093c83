// The same searches from a fresh start give the same trees: the bench run
// twice (each a new process) lists the same moves and node counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string RunBench(int depth) {
    std::string out;
    std::string command = std::string(KESTRION_TOOL) + " bench " + std::to_string(depth) + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

// Everything but the speed figure at the end.
std::string WithoutSpeed(const std::string& out) {
    size_t at = out.rfind(" nps ");
    return at == std::string::npos ? out : out.substr(0, at);
}

TEST(Determinism, BenchRepeatsNodeForNode) {
    const std::string first = RunBench(5), second = RunBench(5);
    ASSERT_NE(first.find("nodes "), std::string::npos) << first;
    // 33 positions, each with its move and node count, then the total.
    int lines = 0;
    for (char c : first) lines += c == '\n';
    EXPECT_EQ(lines, 34) << first;
    EXPECT_EQ(WithoutSpeed(first), WithoutSpeed(second));
}

}  // namespace
