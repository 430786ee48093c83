// Index functions: the members with a stated numbering, the en-passant
// configurations, and for every table that distinct positions get distinct
// entries inside the table's range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "index_support.h"
#include "tablebases/tbindex.h"
#include "tablebases/tbtables.h"

using namespace tablebases;
using tbtest::Material;
using tbtest::Pos;

namespace {

class TbIndexTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { VInitTbDescriptors(); }
};

TbIndex Index(int tb, int stm, const Material& m, const Pos& p, int invert = 0) {
    int w[24], b[24];
    tbtest::ToArrays(m, p, w, b);
    return (stm == 0 ? TbDescriptors[tb].calcW : TbDescriptors[tb].calcB)(w, b, p.ep, invert);
}

int TableNumber(const char* name) {
    for (int i = 1; i <= TableCount; i++)
        if (std::string(TbDescriptors[i].name) == name) return i;
    return 0;
}

}  // namespace

TEST_F(TbIndexTest, DescriptorsFollowTheirNames) {
    int wide = 0;
    for (int i = 1; i <= TableCount; i++) {
        const TbDescriptor& d = TbDescriptors[i];
        const Material m = tbtest::ParseMaterial(d.name);
        const int men = m.men();
        EXPECT_EQ(men, i <= 5 ? 3 : i <= 35 ? 4 : i <= 145 ? 5 : 6) << d.name;
        const std::string name = d.name;
        const size_t second = name.find('k', 1);
        const bool same = name.substr(1, second - 1) == name.substr(second + 1);
        // kpkp is the one table with equal men that keeps both files.
        EXPECT_EQ((d.flags & TbSymmetric) != 0, same && name != "kpkp") << d.name;
        if (d.flags & TbSymmetric) {
            EXPECT_EQ(d.calcW, d.calcB);
            EXPECT_EQ(d.entriesW, d.entriesB);
        }
        wide += (d.flags & TbWideEntries) != 0;
        EXPECT_GT(d.entriesW, 0u);
        EXPECT_GT(d.entriesB, 0u);
        EXPECT_LE(CTbParts(i, 0), 18) << d.name;
        EXPECT_LE(CTbParts(i, 1), 18) << d.name;
        if (men < 6) {
            EXPECT_EQ(d.flags & TbSplit, 0) << d.name;
        }
    }
    EXPECT_EQ(wide, 64);
    EXPECT_EQ(std::string(TbDescriptors[36].name), "kppkp");
    EXPECT_GT(TbDescriptors[36].entriesB, 71071628u);   // highest kppkp entry the probe knows of
}

TEST_F(TbIndexTest, KingPairNumberings) {
    int pawns = 0, pieces = 0;
    for (int i = 0; i < 64 * 64; i++) {
        pawns = std::max(pawns, IndexData.kingPair[0][i] == 4000 ? 0 : IndexData.kingPair[0][i] + 1);
        pieces = std::max(pieces, IndexData.kingPair[1][i] == 4000 ? 0 : IndexData.kingPair[1][i] + 1);
    }
    EXPECT_EQ(pawns, PawnPairs);
    EXPECT_EQ(pieces, PieceOnlyPairs);
    // a1 with the other king on b1 or a2 is unused; c1 against e5 is allowed.
    EXPECT_EQ(IndexData.kingPair[0][0 * 64 + 1], 4000);
    EXPECT_EQ(IndexData.kingPair[1][0 * 64 + 8], 4000);   // a2 lies above the diagonal
    EXPECT_EQ(IndexData.kingPair[0][0 * 64 + 2], 0);      // the first pair: a1, c1
    EXPECT_NE(IndexData.kingPair[1][2 * 64 + 36], 4000);
    EXPECT_EQ(IndexData.kingPair[0][4 * 64 + 40], 4000);  // e1 is mirrored away
}

// kpk exactly as stated: the block start of the king pair plus the pawn's
// rank among its allowed squares, less one when the reference king is an
// allowed square below it. Tables recomputed here from their definition.
TEST_F(TbIndexTest, KpkHasTheStatedNumbering) {
    auto allowed = [](int kind, int k, int s) {
        if (s < 8 || s > 55 || s == k) return false;
        if (kind == 1 && ((k == s + 7 && (s & 7) != 0) || (k == s + 9 && (s & 7) != 7))) return false;
        return true;
    };
    auto rank = [&](int kind, int k, int s) {
        int n = 0;
        for (int x = 0; x < s; x++) n += allowed(kind, k, x);
        return n;
    };
    // Block starts for kind 0 and 1 over the pawn pair numbering.
    std::map<std::pair<int, int>, TbIndex> start[2];
    for (int kind = 0; kind < 2; kind++) {
        TbIndex sum = 0;
        for (int K = 0; K < 64; K++)
            for (int k = 0; k < 64; k++) {
                if ((K & 7) > 3 || (std::abs((K & 7) - (k & 7)) <= 1 && std::abs((K >> 3) - (k >> 3)) <= 1)) continue;
                start[kind][{K, k}] = sum;
                int n = 0;
                for (int s = 0; s < 64; s++) n += allowed(kind, k, s);
                sum += static_cast<TbIndex>(n - (allowed(kind, k, K) ? 1 : 0));
            }
    }
    const Material m = tbtest::ParseMaterial("kpk");
    int checked = 0;
    for (int stm = 0; stm < 2; stm++)
        tbtest::ForEachLegal(m, stm, [&](const Pos& p) {
            const int ref = stm == 0 ? p.king[0] : p.king[1];
            const int mask = (stm == 0 ? 0 : 56) ^ ((ref & 7) >= 4 ? 7 : 0);
            const int K = p.king[0] ^ mask, k = p.king[1] ^ mask, P = p.man[0][0] ^ mask;
            TbIndex expect;
            if (stm == 0)
                expect = start[1][{K, k}] + rank(1, k, P) - (allowed(1, k, K) && K < P ? 1 : 0);
            else
                expect = start[0][{k, K}] + rank(0, K, P) - (allowed(0, K, k) && k < P ? 1 : 0);
            ASSERT_EQ(Index(1, stm, m, p), expect);
            checked++;
        });
    EXPECT_GT(checked, 300000);
}

TEST_F(TbIndexTest, RookPairAgainstBishopAndPawnHasTheStatedNumbering) {
    const int tb = TableNumber("krrkbp");
    ASSERT_GT(tb, 0);
    EXPECT_EQ(TbDescriptors[tb].calcW, (&T33<4, 4, 3, 1>::IndCalcW));
    const Material m = tbtest::ParseMaterial("krrkbp");
    // F(k, s): s among the squares that are not k and not beside it on a line.
    auto F = [](int k, int s) {
        int n = 0;
        for (int x = 0; x < s; x++) n += x != k && std::abs((x & 7) - (k & 7)) + std::abs((x >> 3) - (k >> 3)) != 1;
        return n;
    };
    // Two-rook block starts over the pawn pair numbering.
    std::map<std::pair<int, int>, TbIndex> start;
    TbIndex sum = 0;
    for (int K = 0; K < 64; K++)
        for (int k = 0; k < 64; k++) {
            if ((K & 7) > 3 || (std::abs((K & 7) - (k & 7)) <= 1 && std::abs((K >> 3) - (k >> 3)) <= 1)) continue;
            start[{K, k}] = sum;
            const TbIndex n = static_cast<TbIndex>(F(k, 64) - 1);   // K itself is always allowed
            sum += n * (n - 1) / 2;
        }
    std::mt19937_64 rng(3);
    for (int i = 0; i < 3000; i++) {
        Pos p;
        ASSERT_TRUE(tbtest::RandomLegal(m, 0, rng, false, p));
        const int mask = (p.king[0] & 7) >= 4 ? 7 : 0;
        const int K = p.king[0] ^ mask, k = p.king[1] ^ mask;
        const int a = p.man[0][0] ^ mask, b = p.man[0][1] ^ mask, B = p.man[1][0] ^ mask, P = p.man[1][1] ^ mask;
        const int hi = std::max(a, b), lo = std::min(a, b);
        const TbIndex h = static_cast<TbIndex>(F(k, hi) - (hi > K)), l = static_cast<TbIndex>(F(k, lo) - (lo > K));
        const TbIndex pairPart = h * (h - 1) / 2 + l + start[{K, k}];
        const int bishop = B - (a < B) - (b < B) - (P < B) - (K < B) - (k < B);
        EXPECT_EQ(Index(tb, 0, m, p), pairPart * 2832 + static_cast<TbIndex>((P - 8) * 59 + bishop));
    }
}

TEST_F(TbIndexTest, EnPassantConfigurationsAsStated) {
    const int e5 = 36, d5 = 35, f5 = 37, d6 = 43, f6 = 45;
    EXPECT_EQ(IndEnPassant11W(e5, d5, d6), 3u);
    EXPECT_EQ(IndEnPassant11W(e5, f5, f6), 11u);
    // The same captures seen from black: white pawn on e4 just moved.
    const int e4 = 28, d4 = 27, f4 = 29, e3 = 20;
    EXPECT_EQ(IndEnPassant11B(e4, f4, e3), 4u);    // black pawn right of it: its file - 1
    EXPECT_EQ(IndEnPassant11B(e4, d4, e3), 10u);   // left of it: its file + 7

    // Two white pawns against one: every configuration against the formula.
    int configurations = 0;
    for (int ep = 40; ep < 48; ep++)
        for (int w1 = 8; w1 < 56; w1++)
            for (int w2 = w1 + 1; w2 < 56; w2++) {
                const int sqb = ep - 8;
                if (w1 == sqb || w2 == sqb || w1 == ep || w2 == ep || w1 == ep + 8 || w2 == ep + 8) continue;
                auto reduced = [&](int x, int capturer, int extra) {
                    return x - (sqb < x) - (ep < x) - (capturer + extra < x);
                };
                const int lo = w1, hi = w2;
                long expect;
                if (lo + 7 == ep && (lo & 7) != 0) expect = (lo & 7) + 14 * reduced(hi, lo, 15) - 127;
                else if (lo + 9 == ep && (lo & 7) != 7) expect = (lo & 7) + 14 * reduced(hi, lo, 17) - 119;
                else if (hi + 7 == ep && (hi & 7) != 0) expect = (hi & 7) + 14 * reduced(lo, hi, 15) - 113;
                else if (hi + 9 == ep && (hi & 7) != 7) expect = (hi & 7) + 14 * reduced(lo, hi, 17) - 105;
                else continue;
                ASSERT_EQ(IndEnPassant21W(w2, w1, sqb, ep), static_cast<uint32_t>(expect)) << w1 << " " << w2 << " " << ep;
                ASSERT_LT(expect, static_cast<long>(EnPassantRange(2, 1)));
                configurations++;
            }
    EXPECT_GT(configurations, 500);
}

// Every configuration function over every configuration: inside its range,
// and one value per set of squares.
TEST_F(TbIndexTest, EnPassantConfigurationsAreDistinctAndInRange) {
    struct Case { int white, black; bool blackToMove; };
    const Case cases[] = {{1, 1, false}, {1, 2, false}, {2, 1, false}, {2, 2, false}, {3, 1, false},
                          {1, 1, true}, {1, 2, true}, {2, 1, true}, {3, 1, true}};
    for (const Case& c : cases) {
        const int moving = c.blackToMove ? c.black : c.white, other = c.blackToMove ? c.white : c.black;
        const uint32_t range = EnPassantRange(moving, other);
        std::map<uint32_t, std::vector<int>> seen;
        // Work in white-to-move geometry and flip for black.
        for (int ep = 40; ep < 48; ep++)
            for (int dir = 0; dir < 2; dir++) {
                const int capturer = dir == 0 ? ep - 7 : ep - 9;
                if ((capturer >> 3) != 4) continue;
                const int stepped = ep - 8;
                std::vector<int> free;
                for (int s = 8; s < 56; s++)
                    if (s != stepped && s != ep && s != ep + 8 && s != capturer) free.push_back(s);
                const int extraMoving = moving - 1, extraOther = other - 1;
                std::vector<int> pick(static_cast<size_t>(extraMoving + extraOther), 0);
                // Enumerate the extra pawns (ordered within each side).
                std::function<void(int, int)> rec = [&](int i, int from) {
                    if (i == extraMoving + extraOther) {
                        std::vector<int> mv = {capturer}, ot = {stepped};
                        for (int j = 0; j < extraMoving; j++) mv.push_back(pick[j]);
                        for (int j = 0; j < extraOther; j++) ot.push_back(pick[extraMoving + j]);
                        std::set<int> all(mv.begin(), mv.end());
                        all.insert(ot.begin(), ot.end());
                        if (all.size() != mv.size() + ot.size()) return;
                        const int flip = c.blackToMove ? 56 : 0;
                        std::vector<int> w = c.blackToMove ? ot : mv, b = c.blackToMove ? mv : ot;
                        for (int& s : w) s ^= flip;
                        for (int& s : b) s ^= flip;
                        const int e = ep ^ flip;
                        uint32_t v;
                        if (c.white == 1 && c.black == 1) v = c.blackToMove ? IndEnPassant11B(w[0], b[0], e) : IndEnPassant11W(w[0], b[0], e);
                        else if (c.white == 1 && c.black == 2) v = c.blackToMove ? IndEnPassant12B(w[0], b[1], b[0], e) : IndEnPassant12W(w[0], b[1], b[0], e);
                        else if (c.white == 2 && c.black == 1) v = c.blackToMove ? IndEnPassant21B(w[1], w[0], b[0], e) : IndEnPassant21W(w[1], w[0], b[0], e);
                        else if (c.white == 2) v = IndEnPassant22W(w[1], w[0], b[1], b[0], e);
                        else v = c.blackToMove ? IndEnPassant31B(w[2], w[0], w[1], b[0], e) : IndEnPassant31W(w[2], w[0], w[1], b[0], e);
                        ASSERT_LT(v, range);
                        std::sort(w.begin(), w.end());
                        std::sort(b.begin(), b.end());
                        std::vector<int> key = w;
                        key.push_back(-1);
                        key.insert(key.end(), b.begin(), b.end());
                        key.push_back(e);
                        auto it = seen.emplace(v, key);
                        ASSERT_TRUE(it.second || it.first->second == key) << "value " << v;
                        return;
                    }
                    const bool sameSide = i > 0 && i != extraMoving;
                    for (size_t k = sameSide ? static_cast<size_t>(from) : 0; k < free.size(); k++) {
                        pick[static_cast<size_t>(i)] = free[k];
                        rec(i + 1, static_cast<int>(k) + 1);
                    }
                };
                rec(0, 0);
            }
        EXPECT_GT(seen.size(), range / 3) << c.white << c.black << c.blackToMove;
    }
}

TEST_F(TbIndexTest, BrokenEnPassantContractsEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(IndEnPassant11W(36, 34, 43), "sqb\\+8 == sqEnP");
    EXPECT_DEATH(IndEnPassant11W(38, 35, 43), "sqw\\+9 == sqEnP");
    int w[24] = {}, b[24] = {};
    w[0] = 6, w[16] = 0, w[17] = 1, b[0] = 60, b[12] = 50, b[4] = 35;
    EXPECT_DEATH((T33<4, 4, 3, 1>::IndCalcW(w, b, 43, 0)), "1 == piw2");
}

TEST_F(TbIndexTest, MirrorAndInvertFlag) {
    const Material m = tbtest::ParseMaterial("kpk");
    // White king e1 is seen as d1 with everything mirrored; d1 stays as it is.
    Pos e1;
    e1.king[0] = 4, e1.king[1] = 60, e1.man[0][0] = 9;   // Ke1 Kg8... Pb2
    Pos d1;
    d1.king[0] = 3, d1.king[1] = 60 ^ 7, d1.man[0][0] = 9 ^ 7;
    EXPECT_EQ(Index(1, 0, m, e1), Index(1, 0, m, d1));
    Pos d1b = d1;
    d1b.man[0][0] = 9;
    EXPECT_NE(Index(1, 0, m, d1), Index(1, 0, m, d1b));

    // Invert: ranks flipped before anything else, for every kind of table.
    std::mt19937_64 rng(17);
    for (const char* name : {"kpk", "krk", "kbnkp", "kqkr", "kppkp", "krrkbp", "kpppkp", "kbnkbn"}) {
        const int tb = TableNumber(name);
        const Material mat = tbtest::ParseMaterial(name);
        for (int stm = 0; stm < 2; stm++)
            for (int i = 0; i < 200; i++) {
                Pos p;
                if (!tbtest::RandomLegal(mat, stm, rng, i % 2 == 1, p)) continue;
                Pos flipped = p;
                for (int c = 0; c < 2; c++) {
                    flipped.king[c] ^= 56;
                    for (int j = 0; j < mat.count[c]; j++) flipped.man[c][j] ^= 56;
                }
                if (p.ep != 127) flipped.ep ^= 56;
                int w[24], b[24], fw[24], fb[24];
                tbtest::ToArrays(mat, p, w, b);
                tbtest::ToArrays(mat, flipped, fw, fb);
                const PfnCalcIndex f = stm == 0 ? TbDescriptors[tb].calcW : TbDescriptors[tb].calcB;
                EXPECT_EQ(f(fw, fb, flipped.ep, 1), f(w, b, p.ep, 0)) << name;
            }
    }
}

class ThreeMenTable : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { VInitTbDescriptors(); }
};

TEST_P(ThreeMenTable, EveryLegalPositionHasItsOwnEntry) {
    const int tb = GetParam();
    const TbDescriptor& d = TbDescriptors[tb];
    const Material m = tbtest::ParseMaterial(d.name);
    for (int stm = 0; stm < 2; stm++) {
        const TbIndex entries = stm == 0 ? d.entriesW : d.entriesB;
        std::vector<uint64_t> cls(entries, ~uint64_t(0));
        int clashes = 0, outside = 0;
        TbIndex highest = 0;
        tbtest::ForEachLegal(m, stm, [&](const Pos& p) {
            const TbIndex idx = Index(tb, stm, m, p);
            if (idx >= entries) { outside++; return; }
            highest = std::max(highest, idx);
            const uint64_t c = tbtest::SymmetryClass(m, p);
            if (cls[idx] != ~uint64_t(0) && cls[idx] != c) clashes++;
            cls[idx] = c;
        });
        EXPECT_EQ(outside, 0) << d.name << " " << stm;
        EXPECT_EQ(clashes, 0) << d.name << " " << stm;
        EXPECT_GT(highest, entries * 9 / 10) << d.name << " " << stm;   // the range is not padded
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, ThreeMenTable, ::testing::Range(1, 6));

TEST_F(TbIndexTest, FourMenTablesAroundSampledPositions) {
    for (int tb = 6; tb <= 35; tb++) tbtest::SampleTable(tb, 12, static_cast<uint64_t>(tb));
}

TEST_F(TbIndexTest, FiveAndSixMenTablesAroundSampledPositions) {
    for (int tb = 36; tb <= TableCount; tb++) tbtest::SampleTable(tb, 1, static_cast<uint64_t>(tb));
}
