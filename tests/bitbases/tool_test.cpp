// kestrion-tool bitbases: probe, info and bench on a set written by the test.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bitbases/format.h"
#include "tbe_writer.h"

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

TEST(BitbaseTool, ProbeInfoAndBench) {
    bbtest::TempDir dir;
    const std::string path = dir / "krk.tbe";
    bbtest::WriteFile(path, bbtest::FileBytes({bbtest::RawEntry("krk.wtm.0w", bbtest::Constant(bitbases::Win)),
                                               bbtest::RawEntry("krk.btm.0w", bbtest::Constant(bitbases::Loss))}));
    const std::string tool = KESTRION_TOOL;
    // Either colour may hold the rook; other materials and bad text answer none.
    const std::string fens =
        "4k3/8/8/8/8/8/8/R3K3 w - - 0 1\\n4k3/8/8/8/8/8/8/R3K3 b - - 0 1\\n"
        "4k2r/8/8/8/8/8/8/4K3 w - - 0 1\\n4k3/8/8/8/8/8/8/Q3K3 w - - 0 1\\nnot a fen\\n";
    EXPECT_EQ(Shell("printf '" + fens + "' | " + tool + " bitbases probe " + path), "win\nloss\nloss\nnone\nnone\n");

    const std::string info = Shell(tool + " bitbases info " + path);
    EXPECT_NE(info.find("krk    white to move: 1 of 1 sub-tables"), std::string::npos) << info;
    EXPECT_NE(info.find("tables 1, largest 3 men\nbytes "), std::string::npos) << info;

    const std::string bench = Shell(tool + " bitbases bench " + path + " 2000");
    EXPECT_NE(bench.find("krk    2000 positions, 2000 answered"), std::string::npos) << bench;
    EXPECT_NE(bench.find("us per probe "), std::string::npos) << bench;

    // Nothing to load is an error.
    const std::string missing = Shell(tool + " bitbases info " + (dir / "missing.tbe") + "; echo status $?");
    EXPECT_NE(missing.find("error in kestrionbase"), std::string::npos) << missing;
    EXPECT_EQ(missing.substr(missing.size() - 9), "status 1\n") << missing;
}

}  // namespace
