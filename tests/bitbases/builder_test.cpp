// The bitbase builder: its diagrams read back through the engine's reader to
// the verdicts they were built from, free keys stay free, materials take the
// reader's colours, and a built file answers every position as the solver.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "bb_support.h"
#include "bbgen/builder.h"
#include "bbgen/diagram.h"
#include "bitbases/diagram.h"
#include "bitbases/format.h"
#include "endgame/solver.h"

namespace {

// The built diagram as the reader reads it from a file.
bitbases::DecisionDiagram ReadBack(const bbgen::BuiltDiagram& built) {
    std::vector<uint8_t> bytes(1, 0);
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(v >> (8 * i)));
    };
    put(uint32_t(built.levels.size()));
    for (const bbgen::BuiltLevel& l : built.levels) {
        put(l.width);
        put(l.entryCount);
        for (uint32_t w : l.words) put(w);
    }
    for (const bbgen::BuiltLevel& l : built.levels) put(l.twoWay);
    EXPECT_EQ(bytes.size(), built.FileBytes());
    bitbases::DecisionDiagram d;
    bitbases::ByteReader in{bytes.data(), bytes.size(), 0};
    EXPECT_TRUE(d.Read(in));
    EXPECT_EQ(in.Left(), 0u);
    return d;
}

uint32_t DiagramKey(uint32_t key, const uint8_t* map) {
    uint32_t d = 0;
    for (int j = 0; key; j++, key >>= 1)
        if (key & 1) d |= uint32_t(1) << map[j];
    return d;
}

// Every bound key of `values` walks to its verdict through `map`.
void ExpectAnswers(const std::vector<uint8_t>& values, const bbgen::BuiltDiagram& built, const uint8_t* map) {
    bitbases::DecisionDiagram d = ReadBack(built);
    int wrong = 0;
    for (uint32_t k = 0; k < values.size(); k++)
        if (values[k] != bbgen::DontCare && d.Walk(DiagramKey(k, map)) != values[k]) wrong++;
    EXPECT_EQ(wrong, 0);
}

// Tables with structure, noise and free keys, under several bit orders.
TEST(BitbaseBuilder, DiagramsAnswerEveryBoundKey) {
    std::mt19937 random(7);
    const int bits = 14;
    for (int round = 0; round < 6; round++) {
        std::vector<uint8_t> values(size_t(1) << bits);
        for (uint32_t k = 0; k < values.size(); k++) {
            int v = ((k >> 3) ^ (k >> 9)) % 3;                 // structure
            if (random() % 8 == 0) v = int(random() % 3);        // noise
            if (round >= 2 && random() % 3 == 0) v = bbgen::DontCare;  // scattered free keys
            if (round >= 4 && (k >> 12) == 3) v = bbgen::DontCare;    // a wholly free quarter
            values[k] = uint8_t(v);
        }
        uint8_t map[32] = {};
        std::vector<uint8_t> order(bits);
        for (int j = 0; j < bits; j++) order[size_t(j)] = uint8_t(j);
        if (round % 2) std::shuffle(order.begin(), order.end(), random);
        std::copy(order.begin(), order.end(), map);
        ExpectAnswers(values, bbgen::BuildDiagram(values, bits, map), map);
        for (int blockBits : {4, 6}) ExpectAnswers(values, bbgen::MergeFreeBlocks(values, bits, map, blockBits, 64), map);

        uint8_t best[32];
        bbgen::BuiltDiagram smallest = bbgen::SmallestDiagram(values, {6, 6, 2}, best);
        ExpectAnswers(values, smallest, best);
        // The plain order is among those tried.
        if (round % 2 == 0) {
            EXPECT_LE(smallest.FileBytes(), bbgen::BuildDiagram(values, bits, map).FileBytes());
        }
    }
}

// Free keys are used: a table that is one verdict wherever it is bound
// costs no more than the constant table, and one-entry nodes are found.
TEST(BitbaseBuilder, FreeKeysAndOneEntryNodesKeepDiagramsSmall) {
    const int bits = 12;
    uint8_t map[32] = {};
    for (int j = 0; j < bits; j++) map[j] = uint8_t(j);
    std::vector<uint8_t> constant(size_t(1) << bits, bitbases::Win), mostlyFree = constant;
    for (uint32_t k = 0; k < mostlyFree.size(); k++)
        if (k % 7) mostlyFree[k] = bbgen::DontCare;
    const uint64_t plain = bbgen::BuildDiagram(constant, bits, map).FileBytes();
    EXPECT_LE(bbgen::BuildDiagram(mostlyFree, bits, map).FileBytes(), plain);

    // Key bit 0 alone decides between draw and loss: every level-0 node has
    // consecutive successors and is stored as one entry.
    std::vector<uint8_t> alternating(size_t(1) << bits);
    for (uint32_t k = 0; k < alternating.size(); k++) alternating[k] = uint8_t(bitbases::Draw + (k & 1));
    bbgen::BuiltDiagram d = bbgen::BuildDiagram(alternating, bits, map);
    EXPECT_EQ(d.levels[0].twoWay, 0u);
    EXPECT_EQ(d.levels[0].entryCount, 1u);
    ExpectAnswers(alternating, d, map);
}

TEST(BitbaseBuilder, MaterialsTakeTheReadersColours) {
    struct Case {
        const char* text;
        const char* name;
    } cases[] = {{"KRK", "krk"},     {"kkq", "kqk"},        {"KQKR", "kqkr"},  {"KRKQ", "kqkr"},
                 {"kbkr", "krkb"},   {"KBKN", "kbkn"},   {"KNKB", "kbkn"},  {"kpkrr", "krrkp"},
                 {"KPPKR", "kppkr"}, {"KQRBKN", ""},     {"KK", ""},        {"KXK", ""}};
    for (const Case& c : cases) {
        bbgen::BitbaseMaterial m;
        std::string error;
        bool ok = bbgen::ParseBitbaseMaterial(c.text, m, error);
        EXPECT_EQ(ok, c.name[0] != 0) << c.text;
        if (ok) {
            EXPECT_EQ(m.name, c.name) << c.text;
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
    EXPECT_EQ(bbgen::AllMaterials(3).size(), 5u);
    EXPECT_EQ(bbgen::AllMaterials(4).size(), 30u);
    bbgen::BitbaseMaterial kpkp;
    std::string error;
    ASSERT_TRUE(bbgen::ParseBitbaseMaterial("kpkp", kpkp, error));
    EXPECT_EQ(kpkp.SubTables(), 8);
    EXPECT_EQ(bbgen::KeyBits(kpkp), 20);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A built king-and-rook-against-king file, loaded by the engine's loader,
// answers every legal position as the solver does; the bytes do not depend
// on the thread count.
TEST(BitbaseBuilder, BuiltFileAnswersAsTheSolverAndIsDeterministic) {
    bbtest::TempDir one, two;
    bbgen::BitbaseMaterial krk;
    std::string error;
    ASSERT_TRUE(bbgen::ParseBitbaseMaterial("krk", krk, error));
    std::vector<bbgen::MaterialResult> results;
    bbgen::BuildOptions options;
    options.out = one.path;
    ASSERT_TRUE(bbgen::BuildSet({krk}, options, results, error)) << error;
    options.out = two.path;
    options.threads = 2;
    ASSERT_TRUE(bbgen::BuildSet({krk}, options, results, error)) << error;
    ASSERT_EQ(results.size(), 1u);
    std::vector<uint8_t> bytes = ReadBytes(one / "krk.tbe");
    EXPECT_EQ(bytes.size(), results[0].fileBytes);
    EXPECT_EQ(bytes, ReadBytes(two / "krk.tbe"));
    EXPECT_EQ(ReadBytes(one / "bases.ini"), ReadBytes(two / "bases.ini"));

    bbtest::Session session;
    session.Load(one / "krk.tbe", 0);
    ASSERT_EQ(bitbases::Set().count, 1);
    EXPECT_EQ(bitbases::MemoryBytes(), 2056 + results[0].memoryBytes);

    endgame::Solver solver(endgame::SolveOptions{});
    ASSERT_TRUE(solver.Get(krk.Solver(), error)) << error;
    int checked = 0, wrong = 0;
    for (int wk = 0; wk < 64; wk++)
        for (int bk = 0; bk < 64; bk++)
            for (int rook = 0; rook < 64; rook++)
                for (int stm = 0; stm < 2; stm++) {
                    if (wk == bk || rook == wk || rook == bk) continue;
                    endgame::Position p;
                    p.count = 3;
                    p.type[0] = p.type[1] = endgame::King;
                    p.type[2] = endgame::Rook;
                    p.colour[1] = endgame::Black;
                    p.square[0] = uint8_t(wk);
                    p.square[1] = uint8_t(bk);
                    p.square[2] = uint8_t(rook);
                    p.stm = endgame::Colour(stm);
                    int score;
                    if (!endgame::IsLegal(p) || !solver.Probe(p, score)) continue;
                    int codes[4] = {bitbases::WR}, squares[4] = {rook};
                    int v = bitbases::Probe(bitbases::Set(), wk, bk, stm == 0, 0, codes, squares);
                    int want = score > 0 ? bitbases::Win : score < 0 ? bitbases::Loss : bitbases::Draw;
                    checked++;
                    wrong += v != want;
                }
    EXPECT_GT(checked, 300000);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
