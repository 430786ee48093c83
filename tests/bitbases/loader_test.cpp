// Loading: the index file's rules, the messages, the file checks, and files
// that must be refused without losing what was loaded.
#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "bb_support.h"
#include "bitbases/format.h"

namespace {

using bbtest::RawEntry;
using bitbases::Draw;
using bitbases::Loss;
using bitbases::Win;

// King and queen against king: white to move wins, black to move loses.
std::vector<uint8_t> KqkFile() {
    return bbtest::FileBytes({RawEntry("kqk.wtm.0w", bbtest::Constant(Win)),
                              RawEntry("kqk.btm.0w", bbtest::Constant(Loss))});
}
std::vector<uint8_t> KrkFile() {
    return bbtest::FileBytes({RawEntry("krk.wtm.0w", bbtest::Constant(Win)),
                              RawEntry("krk.btm.0b", bbtest::Constant(Loss))});
}

std::string Info(const std::string& text) { return "info string " + text + "\n"; }

struct CurrentDir {
    char saved[4096];
    explicit CurrentDir(const std::string& dir) {
        if (!getcwd(saved, sizeof saved) || chdir(dir.c_str()) != 0) std::abort();
    }
    ~CurrentDir() {
        if (chdir(saved) != 0) std::abort();
    }
};

TEST(BitbaseLoader, IndexFileNamesFilesByItsOwnRules) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    mkdir((tmp / "work").c_str(), 0755);
    mkdir((tmp / "idx").c_str(), 0755);
    bbtest::WriteFile(tmp / "work/kqk.tbe", KqkFile());
    // Only a backslash separates the index file's directory: "sub\" here is
    // part of a file name in tmp.
    bbtest::WriteFile(tmp / "sub\\krk.tbe", KrkFile());
    bbtest::WriteText(tmp / "idx/bases.ini",
                      "# kqk.tbe in the index directory would be a decoy\n\r\n\nkqk.tbe\r\n#krk.tbe\nmissing.tbe\n");
    CurrentDir cd(tmp / "work");
    std::vector<std::string> lines = session.Load(tmp / "idx/bases.ini");
    std::vector<std::string> expected = {Info("loading kestrionbase kqk.tbe"),
                                         Info("error in kestrionbase missing.tbe"),
                                         Info("kestrionbases with 3 pieces found (0 MB)")};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(bbtest::ProbeText("Ke1 Qd1 ke8", 'w'), Win);
    EXPECT_EQ(bbtest::ProbeText("Ke1 Rd1 ke8", 'w'), bitbases::NoVerdict);

    // With a backslash in the index path, names without one are joined to
    // it; a name with a backslash is taken as it stands.
    bbtest::WriteText(tmp / "sub\\bases.ini", "krk.tbe\n" + (tmp / "work\\kqk.tbe") + "\n");
    bbtest::WriteFile(tmp / "work\\kqk.tbe", KqkFile());
    lines = session.Load(tmp / "sub\\bases.ini");
    expected = {Info("loading kestrionbase " + (tmp / "sub\\krk.tbe")),
                Info("loading kestrionbase " + (tmp / "work\\kqk.tbe")),
                Info("kestrionbases with 3 pieces found (0 MB)")};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(bbtest::ProbeText("Ke1 Rd1 ke8", 'b'), Loss);

    // Quiet loading says nothing but loads.
    EXPECT_TRUE(session.Load(tmp / "idx/bases.ini", 0).empty());
    EXPECT_EQ(bitbases::LargestPieceCount(), 3);
}

TEST(BitbaseLoader, SingleFilePathsAndEmptyPath) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    bbtest::WriteFile(tmp / "KQK.TBE", KqkFile());
    bbtest::WriteFile(tmp / "kqk.bin", KqkFile());
    EXPECT_EQ(session.Load(tmp / "KQK.TBE"),
              (std::vector<std::string>{Info("loading kestrionbase " + (tmp / "KQK.TBE")),
                                        Info("kestrionbases with 3 pieces found (0 MB)")}));
    EXPECT_EQ(bbtest::ProbeText("Kc3 Qc2 kh8", 'b'), Loss);
    for (std::string path : {tmp / "kqk.bin", std::string(".tbe"), std::string()}) {
        EXPECT_EQ(session.Load(path), std::vector<std::string>{Info("kestrionbases with 0 pieces found (0 MB)")});
        EXPECT_EQ(bitbases::LargestPieceCount(), 0);
        EXPECT_EQ(bbtest::ProbeText("Kc3 Qc2 kh8", 'b'), bitbases::NoVerdict);
    }
}

TEST(BitbaseLoader, EntriesFillSubTablesAndLaterOnesReplace) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    std::vector<RawEntry> entries;
    // White king folds: sub-table 0 holds kings on a1-d1, 1 on b2-c3, 2 on d3-d4.
    entries.emplace_back("kqkr.wtm.0w", bbtest::Constant(Win));
    entries.emplace_back("kqkr.wtm.1w", bbtest::Constant(Draw));
    entries.emplace_back("kqkr.wtm.2w", bbtest::Constant(Loss));
    entries.emplace_back("kqkr.wtm.0w", bbtest::Constant(Loss));
    bbtest::WriteFile(tmp / "kqkr.tbe", bbtest::FileBytes(entries));
    session.Load(tmp / "kqkr.tbe");
    EXPECT_EQ(bbtest::ProbeText("Kc1 Qa5 kh7 rh1", 'w'), Loss);  // replaced
    EXPECT_EQ(bbtest::ProbeText("Kf2 Qa5 kh7 rh1", 'w'), Draw);  // c2 after folding
    EXPECT_EQ(bbtest::ProbeText("Ke5 Qa5 kh7 rh1", 'w'), Loss);  // d4
    // 2056 + 67 + 64 * 3 sub-tables + three one-level diagrams of 28 bytes.
    EXPECT_EQ(bitbases::MemoryBytes(), 2056u + 67 + 192 + 3 * 28);
    EXPECT_EQ(bitbases::LargestPieceCount(), 4);
}

TEST(BitbaseLoader, HeaderChecks) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    std::vector<uint8_t> good = KqkFile();
    bbtest::WriteFile(tmp / "good.tbe", good);
    EXPECT_EQ(bitbases::CheckFile((tmp / "good.tbe").c_str()), 0);
    for (size_t bit = 12 * 8; bit < good.size() * 8; bit += 37) {
        std::vector<uint8_t> flipped = good;
        flipped[bit / 8] ^= uint8_t(1 << (bit % 8));
        bbtest::WriteFile(tmp / "flip.tbe", flipped);
        EXPECT_EQ(bitbases::CheckFile((tmp / "flip.tbe").c_str()), 3) << bit;
    }
    std::vector<uint8_t> magic = good, version = good;
    magic[0] ^= 1;
    version[4] = 2;
    bbtest::WriteFile(tmp / "magic.tbe", magic);
    bbtest::WriteFile(tmp / "version.tbe", version);
    EXPECT_EQ(bitbases::CheckFile((tmp / "magic.tbe").c_str()), 2);
    EXPECT_EQ(bitbases::CheckFile((tmp / "version.tbe").c_str()), 1);
    EXPECT_EQ(bitbases::CheckFile((tmp / "none.tbe").c_str()), 1);
    mkdir((tmp / "dir.tbe").c_str(), 0755);
    EXPECT_NE(bitbases::CheckFile((tmp / "dir.tbe").c_str()), 0);

    bbtest::WriteText(tmp / "bases.ini", tmp / "good.tbe\n" + tmp / "flip.tbe\n" + tmp / "magic.tbe\n" +
                                             tmp / "version.tbe\n" + tmp / "dir.tbe\n");
    std::vector<std::string> lines = session.Load(tmp / "bases.ini");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], Info("loading kestrionbase " + (tmp / "good.tbe")));
    for (int i = 1; i < 5; i++) EXPECT_EQ(lines[i].find("info string error in kestrionbase "), 0u) << lines[i];
    EXPECT_EQ(bbtest::ProbeText("Ke1 Qd1 ke8", 'w'), Win);
}

// Files that pass the checksum but hold nonsense: each is refused whole, and
// the table loaded before keeps answering.
TEST(BitbaseLoader, BrokenContentIsRefusedAndNothingElseLost) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    std::vector<std::vector<uint8_t>> bad;
    for (const char* name : {"kk.wtm.0w", "kqrbnk.wtm.0w", "kqrkbn.wtm.0w", ".wtm.0w", "", "kqk", "kqk.wtm.1w",
                             "kqk.wtm.0", "kqk.wtm.x0w", "kqkx.wtm.0w", "qkk.wtm.0w", "kqkk.wtm.0w", "kqk.wt"})
        bad.push_back(bbtest::FileBytes({RawEntry("krk.wtm.0w", bbtest::Constant(Win)),
                                         RawEntry(name, bbtest::Constant(Win))}));
    RawEntry mapped("krk.btm.0w", bbtest::Constant(Draw));
    mapped.bitMap[3] = 32;
    bad.push_back(bbtest::FileBytes({mapped}));
    // Level count, width, node numbers pointing outside what was read.
    std::vector<uint8_t> good = bbtest::FileBytes({RawEntry("krk.wtm.0w", bbtest::Constant(Draw))});
    size_t levels = 12 + 1 + 10 + 4 + 32 + 1;  // the level count of the only entry
    for (uint32_t patch : {0, 1, 2}) {
        std::vector<uint8_t> b = good;
        if (patch == 0) b[levels] = 33;                    // levels
        if (patch == 1) b[levels + 4] = 40;                // width of level 0
        if (patch == 2) b[b.size() - 8] = 0x0f;            // entries 3, 3: no verdict
        bbtest::FixChecksum(b);
        bad.push_back(b);
    }
    // Every cut of a good file, checksum repaired.
    for (size_t n = 13; n < good.size(); n++) {
        std::vector<uint8_t> b(good.begin(), good.begin() + n);
        bbtest::FixChecksum(b);
        bad.push_back(b);
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 50; i++) {
        std::vector<uint8_t> b = good;
        for (size_t j = 12; j < b.size(); j++) b[j] = uint8_t(rng());
        bbtest::FixChecksum(b);
        bad.push_back(b);
    }

    bbtest::WriteFile(tmp / "kqk.tbe", KqkFile());
    for (size_t i = 0; i < bad.size(); i++) {
        bbtest::WriteFile(tmp / "bad.tbe", bad[i]);
        bbtest::WriteText(tmp / "bases.ini", tmp / "kqk.tbe\n" + tmp / "bad.tbe\n");
        std::vector<std::string> lines = session.Load(tmp / "bases.ini");
        ASSERT_EQ(lines.size(), 3u) << i;
        EXPECT_EQ(lines[1], Info("error in kestrionbase " + (tmp / "bad.tbe"))) << i;
        EXPECT_EQ(lines[2], Info("kestrionbases with 3 pieces found (0 MB)")) << i;
        EXPECT_EQ(bbtest::ProbeText("Ke1 Qd1 ke8", 'w'), Win) << i;
        EXPECT_EQ(bbtest::ProbeText("Ke1 Rd1 ke8", 'w'), bitbases::NoVerdict) << i;
    }
}

TEST(BitbaseLoader, OverlongIndexLinesAreReportedNotSplit) {
    bbtest::TempDir tmp;
    bbtest::Session session;
    bbtest::WriteFile(tmp / "kqk.tbe", KqkFile());
    std::string longName = std::string(280, 'a');
    // The tail of the long line names a real file: it must not be loaded.
    bbtest::WriteFile(tmp / "krk.tbe", KrkFile());
    std::string longLine = std::string(255 - (tmp.path.size() + 1) % 255, 'x') + tmp.path + "/krk.tbe";
    bbtest::WriteText(tmp / "bases.ini",
                      "#" + longName + "\n" + longLine + "\n" + tmp / "kqk.tbe\n" + longName + "\n");
    std::vector<std::string> lines = session.Load(tmp / "bases.ini");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], Info("error in kestrionbase " + longLine.substr(0, 255)));
    EXPECT_EQ(lines[1], Info("loading kestrionbase " + (tmp / "kqk.tbe")));
    EXPECT_EQ(lines[2], Info("error in kestrionbase " + longName.substr(0, 255)));
    EXPECT_EQ(bbtest::ProbeText("Ke1 Rd1 ke8", 'w'), bitbases::NoVerdict);
}

}  // namespace
