// Probing: keys worked out by hand for single positions, the board's
// symmetries, colour normalisation, en passant, and the look-ahead.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "bb_support.h"
#include "board/types.h"

namespace {

using bbtest::ProbeText;
using bbtest::RawDiagram;
using bbtest::RawEntry;
using bitbases::Draw;
using bitbases::Loss;
using bitbases::NoVerdict;
using bitbases::Win;

// Loads one file made of the given entries.
struct Loaded {
    bbtest::TempDir tmp;
    bbtest::Session session;
    explicit Loaded(const std::vector<RawEntry>& entries) { Add(entries); }
    void Add(const std::vector<RawEntry>& entries) {
        static int n = 0;
        std::string file = tmp / ("t" + std::to_string(n++) + ".tbe");
        bbtest::WriteFile(file, bbtest::FileBytes(entries));
        std::string index;
        for (int i = 0; i < n; i++)
            if (FILE* f = std::fopen((tmp / ("t" + std::to_string(i) + ".tbe")).c_str(), "rb")) {
                std::fclose(f);
                index += tmp / ("t" + std::to_string(i) + ".tbe\n");
            }
        bbtest::WriteText(tmp / "bases.ini", index);
        std::vector<std::string> lines = session.Load(tmp / "bases.ini");
        for (const std::string& l : lines) EXPECT_EQ(l.find("info string error"), std::string::npos) << l;
    }
};

RawDiagram Hot(int bits, uint32_t key, int verdict = Win, int rest = Draw) {
    return bbtest::BuildDiagram(bits, std::map<uint32_t, int>{{key, verdict}}, rest);
}

// The eight symmetries of the board applied to "Ke1 Qd1 ke8" texts.
std::string Transform(const std::string& men, int t) {
    std::istringstream in(men);
    std::string word, out;
    while (in >> word) {
        int f = word[1] - 'a', r = word[2] - '1';
        if (t & 1) f = 7 - f;
        if (t & 2) r = 7 - r;
        if (t & 4) std::swap(f, r);
        out += std::string(1, word[0]) + char('a' + f) + char('1' + r) + " ";
    }
    return out;
}

// Swaps colours and mirrors ranks: the same position seen from the other side.
std::string SwapColours(const std::string& men) {
    std::istringstream in(men);
    std::string word, out;
    while (in >> word) {
        char c = word[0];
        c = std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c));
        out += std::string(1, c) + word[1] + char('1' + ('8' - word[2])) + " ";
    }
    return out;
}

TEST(BitbaseProbe, KingsAloneAndTooManyMen) {
    EXPECT_EQ(ProbeText("Ke1 ke8", 'w'), Draw);  // no table needed
    Loaded set({RawEntry("kqk.wtm.0w", bbtest::Constant(Win)), RawEntry("kqk.btm.0w", bbtest::Constant(Loss))});
    EXPECT_EQ(ProbeText("Ke1 Qd1 Qd2 ke8", 'w'), NoVerdict);  // 4 men, largest table 3
    uint8_t board[65] = {};
    board[1] = board::WKing;
    board[64] = board::BKing;
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 0), 0);
    board[10] = board::WQueen;
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 0), 28000);
    EXPECT_EQ(bitbases::ProbeScore(board, 1, 0), -28000);
    board[11] = board::WRook;
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 0), board::NoAnswer);
}

TEST(BitbaseProbe, PawnlessFoldAndColourSwap) {
    // Ke1 Qd1 ke8: the white king folds from e1 to d1 (triangle index 3),
    // the black king to d8 (59), the queen to e1 (4): key (3*64+59)*64+4.
    Loaded set({RawEntry("kqk.wtm.0w", Hot(16, 16068)), RawEntry("kqk.btm.0w", bbtest::Constant(Loss))});
    for (int t = 0; t < 8; t++) {
        EXPECT_EQ(ProbeText(Transform("Ke1 Qd1 ke8", t), 'w'), Win) << t;
        EXPECT_EQ(ProbeText(Transform("Ke1 Qd2 ke8", t), 'w'), Draw) << t;
        // Black's queen: the colours swap and black's move becomes white's.
        EXPECT_EQ(ProbeText(SwapColours(Transform("Ke1 Qd1 ke8", t)), 'b'), Win) << t;
        EXPECT_EQ(ProbeText(SwapColours(Transform("Ke1 Qd1 ke8", t)), 'w'), Loss) << t;
    }
}

TEST(BitbaseProbe, DiagonalRuleLooksAtTheOtherKing) {
    // Fold king on d4 (index 9). Black king on h8: file 7 is not below rank
    // 7, no reflection: Qb1 stays b1, key (9*64+63)*64+1. Black king on a8:
    // reflected to h1 with the queen, key (9*64+7)*64+18 for Qc3.
    std::map<uint32_t, int> hot = {{40897, Win}, {37330, Loss}};
    Loaded set({RawEntry("kqk.wtm.0w", bbtest::BuildDiagram(16, hot, Draw)),
                RawEntry("kqk.btm.0w", bbtest::Constant(Draw))});
    EXPECT_EQ(ProbeText("Kd4 Qb1 kh8", 'w'), Win);
    EXPECT_EQ(ProbeText("Kd4 Qa2 kh8", 'w'), Draw);
    EXPECT_EQ(ProbeText("Kd4 Qc3 kh1", 'w'), Loss);
    EXPECT_EQ(ProbeText("Kd4 Qc3 ka8", 'w'), Loss);
    EXPECT_EQ(ProbeText("Kd4 Qc3 kh8", 'w'), Draw);
}

TEST(BitbaseProbe, PawnFoldMirrorsFilesOnly) {
    // White king g1 -> b1 (index 1), pawn h4 -> a4 (24), black king a8 -> h8:
    // key (1*64+63)*64+24. The black-to-move side folds by the black king:
    // kh5 -> a5 (index 16), Kc1 -> f1 (5), Pe2 -> d2 (11): (16*64+5)*64+11.
    Loaded set({RawEntry("kpk.wtm.0w", Hot(17, 8152)), RawEntry("kpk.btm.0b", Hot(17, 65867, Loss))});
    EXPECT_EQ(ProbeText("Kg1 Ph4 ka8", 'w'), Win);
    EXPECT_EQ(ProbeText("Kb1 Pa4 kh8", 'w'), Win);
    EXPECT_EQ(ProbeText("Kg8 Ph5 ka1", 'w'), Draw);  // no rank mirror with pawns
    EXPECT_EQ(ProbeText("Kc1 Pe2 kh5", 'b'), Loss);
    EXPECT_EQ(ProbeText("Kf1 Pd2 ka5", 'b'), Loss);
    EXPECT_EQ(ProbeText("Kc1 Pe2 kh5", 'w'), Draw);
    // Black's pawn: colours swap, ranks mirror.
    EXPECT_EQ(ProbeText("Kh4 kc8 pe7", 'w'), Loss);
}

TEST(BitbaseProbe, EqualMenKeepTheHeavierSideWhite) {
    // Kb1 Ra5 kh8 be4, white to move: index 1, sub-table 0, rook a5 (32)
    // before bishop e4 (28): key ((1*64+63)*64+32)*64+28.
    std::vector<RawEntry> e = {RawEntry("krkb.wtm.0w", Hot(20, 522268)),
                               RawEntry("krkb.wtm.1w", bbtest::Constant(Draw)),
                               RawEntry("krkb.wtm.2w", bbtest::Constant(Draw))};
    for (int s = 0; s < 3; s++) e.emplace_back("krkb.btm." + std::to_string(s) + "w", bbtest::Constant(Loss));
    Loaded set(e);
    EXPECT_EQ(ProbeText("Kb1 Ra5 kh8 be4", 'w'), Win);
    EXPECT_EQ(ProbeText("Kh1 Be5 kb8 ra4", 'b'), Win);  // bishop against rook is swapped
    EXPECT_EQ(ProbeText("Kh1 Be5 kb8 ra4", 'w'), Loss);
    EXPECT_EQ(ProbeText("Kb1 Ra5 kh8 ra4", 'w'), NoVerdict);  // no krkr table
}

TEST(BitbaseProbe, EnPassantPawnMovesToItsBackRank) {
    // White to move, black pawn e5 takeable (ep e6): encoded on e8 (60).
    // Ka1, kh8, Pd5 (35): key ((0*64+63)*64+35)*64+60 = 260348.
    // Black to move, white pawn e4 takeable (ep e3): encoded on e1 (4),
    // then the black pawn d4 (27): ((0*64+63)*64+4)*64+27 = 258331.
    std::vector<RawEntry> e = {RawEntry("kpkp.wtm.0w", Hot(20, 260348)),
                               RawEntry("kpkp.btm.0w", Hot(20, 258331))};
    for (int s = 1; s < 8; s++) {
        e.emplace_back("kpkp.wtm." + std::to_string(s) + "w", bbtest::Constant(Loss));
        e.emplace_back("kpkp.btm." + std::to_string(s) + "w", bbtest::Constant(Loss));
    }
    Loaded set(e);
    EXPECT_EQ(ProbeText("Ka1 Pd5 kh8 pe5", 'w', "e6"), Win);
    EXPECT_EQ(ProbeText("Ka1 Pd5 kh8 pe5", 'w'), Draw);
    EXPECT_EQ(ProbeText("Ka1 Pe4 kh8 pd4", 'b', "e3"), Win);
    EXPECT_EQ(ProbeText("Ka1 Pe4 kh8 pd4", 'b'), Draw);

    // The engine's probe passes en passant on only with a pawn to take.
    uint8_t board[65] = {};
    board[1] = board::WKing;
    board[64] = board::BKing;
    board[37] = board::BPawn;  // e5
    board[36] = board::WPawn;  // d5
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 45), 28000);
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 0), 0);
    board[36] = 0;
    board[34] = board::WPawn;  // b5: cannot take
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 45), bitbases::ProbeScore(board, 0, 0));
    // Five men with the largest table of four: no answer without a probe.
    board[10] = board::WRook;
    board[11] = board::WRook;
    EXPECT_EQ(bitbases::ProbeScore(board, 0, 0), board::NoAnswer);
}

TEST(BitbaseProbe, FiveMenKeys) {
    // Kc2 (triangle index 5: sub-table 1, 5 mod 4 = 1), kh8 (63), then Qa1
    // (0), Rb1 (1), rg7 (54): ((((1*64+63)*64+0)*64+1)*64+54).
    std::vector<RawEntry> e;
    for (int s = 0; s < 3; s++) {
        std::string n = std::to_string(s);
        e.emplace_back("kqrkr.wtm." + n + "w", s == 1 ? Hot(26, 33292406) : bbtest::Constant(Loss));
        e.emplace_back("kqrkr.btm." + n + "w", bbtest::Constant(Loss));
    }
    // Ka1 (index 0), kh8, pawns h2 (15) and d5 (35), black pawn e5 taken en
    // passant as the third man, moved to e8 (60).
    for (int s = 0; s < 8; s++) {
        std::string n = std::to_string(s);
        e.emplace_back("kppkp.wtm." + n + "w", s == 0 ? Hot(26, 16578812) : bbtest::Constant(Loss));
        e.emplace_back("kppkp.btm." + n + "w", bbtest::Constant(Loss));
    }
    Loaded set(e);
    EXPECT_EQ(ProbeText("Kc2 Qa1 Rb1 kh8 rg7", 'w'), Win);
    EXPECT_EQ(ProbeText("Kf7 Qh8 Rg8 ka1 rb2", 'w'), Win);  // the same folded
    EXPECT_EQ(ProbeText("Kc2 Qb1 Ra1 kh8 rg7", 'w'), Draw);
    EXPECT_EQ(ProbeText("Ka1 Ph2 Pd5 kh8 pe5", 'w', "e6"), Win);
    EXPECT_EQ(ProbeText("Ka1 Ph2 Pd5 kh8 pe5", 'w'), Draw);
}

std::vector<RawEntry> SideOnly(const char* material, bool white, int subs, const RawDiagram& d) {
    std::vector<RawEntry> e;
    for (int s = 0; s < subs; s++)
        e.emplace_back(std::string(material) + (white ? ".wtm." : ".btm.") + std::to_string(s) + "w", d);
    return e;
}

TEST(BitbaseProbe, LookAheadReadsTheOtherSide) {
    // Only white to move is stored, and white to move always wins: no
    // black move reaches a child that loses or draws, so black loses.
    Loaded set(SideOnly("kqkn", true, 3, bbtest::Constant(Win)));
    EXPECT_EQ(ProbeText("Kh1 Qd1 ka8 nh8", 'b'), Loss);
    // Black's only move Kxb7 leads to king and knight against king, which is
    // not loaded: with that child unknown there is no verdict, not a loss.
    EXPECT_EQ(ProbeText("Kh1 Qb7 ka8 nh8", 'b'), NoVerdict);
    set.Add({RawEntry("knk.wtm.0w", bbtest::Constant(Draw)), RawEntry("knk.btm.0w", bbtest::Constant(Draw))});
    EXPECT_EQ(ProbeText("Kh1 Qb7 ka8 nh8", 'b'), Draw);

    // White to move always loses: any black move wins.
    Loaded losing(SideOnly("kqkn", true, 3, bbtest::Constant(Loss)));
    EXPECT_EQ(ProbeText("Kh1 Qd1 ka8 nh8", 'b'), Win);
    // Kxa7 reaches the unloaded knk, but Kc8 wins, and that decides.
    EXPECT_EQ(ProbeText("Kh1 Qa7 kb8 nh8", 'b'), Win);

    // Without moves: mate and stalemate, whatever the stored side says.
    Loaded kqk(SideOnly("kqk", true, 1, bbtest::Constant(Draw)));
    EXPECT_EQ(ProbeText("Kc6 Qb7 ka8", 'b'), Loss);
    EXPECT_EQ(ProbeText("Kc7 Qb6 ka8", 'b'), Draw);
    EXPECT_EQ(ProbeText("Kc7 Qd6 ka8", 'b'), Draw);  // Ka7 reaches a drawn child

    // A table with neither side complete answers nothing.
    Loaded partial(SideOnly("krkn", true, 1, bbtest::Constant(Win)));
    EXPECT_EQ(ProbeText("Kh1 Rd1 ka8 nh8", 'b'), NoVerdict);
    EXPECT_EQ(ProbeText("Kh1 Rd1 ka8 nh8", 'w'), NoVerdict);
}

// A random table seen through the board's symmetries and through a
// permuted bit map must answer alike.
TEST(BitbaseProbe, SymmetriesAndBitMapAgreeOnARandomTable) {
    std::mt19937 rng(11);
    std::vector<int> truth(1 << 16);
    for (int& v : truth) v = int(rng() % 3);
    auto reversed = [](uint32_t d) {
        uint32_t k = 0;
        for (int j = 0; j < 16; j++)
            if (d >> j & 1) k |= 1u << (15 - j);
        return k;
    };
    RawEntry plain("kqk.wtm.0w", bbtest::BuildDiagram(16, [&](uint32_t k) { return truth[k]; }));
    RawEntry permuted("kqk.wtm.0w", bbtest::BuildDiagram(16, [&](uint32_t d) { return truth[reversed(d)]; }));
    for (int j = 0; j < 16; j++) permuted.bitMap[j] = uint8_t(15 - j);
    RawEntry black("kqk.btm.0b", bbtest::Constant(Loss));

    std::vector<std::string> positions;
    std::vector<int> answers;
    const char* files = "abcdefgh";
    while (positions.size() < 300) {
        int a = int(rng() % 64), b = int(rng() % 64), c = int(rng() % 64);
        if (a == b || a == c || b == c) continue;
        if (std::abs(a % 8 - b % 8) <= 1 && std::abs(a / 8 - b / 8) <= 1) continue;
        // Kings together on a long diagonal keep both orientations in the
        // key (the builder fills both); those are not folded to one.
        if ((a % 8 == a / 8 && b % 8 == b / 8) || (a % 8 + a / 8 == 7 && b % 8 + b / 8 == 7)) continue;
        auto name = [&](char p, int s) { return std::string(1, p) + files[s % 8] + char('1' + s / 8) + " "; };
        positions.push_back(name('K', a) + name('Q', c) + name('k', b));
    }
    {
        Loaded set({plain, black});
        for (const std::string& p : positions) {
            answers.push_back(ProbeText(p, 'w'));
            ASSERT_GE(answers.back(), Win);
            for (int t = 1; t < 8; t++) ASSERT_EQ(ProbeText(Transform(p, t), 'w'), answers.back()) << p << t;
            ASSERT_EQ(ProbeText(SwapColours(p), 'b'), answers.back()) << p;
        }
    }
    Loaded set({permuted, black});
    int differ = 0;
    for (size_t i = 0; i < positions.size(); i++) {
        EXPECT_EQ(ProbeText(positions[i], 'w'), answers[i]) << positions[i];
        differ += answers[i] != answers[0];
    }
    EXPECT_GT(differ, 0);  // the table is not constant
}

}  // namespace
