// Every legal position of every four-men table, both sides, and larger
// samples of the five- and six-men tables.
#include <gtest/gtest.h>

#include <vector>

#include "index_support.h"
#include "tablebases/tbindex.h"
#include "tablebases/tbtables.h"

using namespace tablebases;
using tbtest::Material;
using tbtest::Pos;

namespace {

void CheckEveryPosition(int tb, int stm) {
    const TbDescriptor& d = TbDescriptors[tb];
    const Material m = tbtest::ParseMaterial(d.name);
    const TbIndex entries = stm == 0 ? d.entriesW : d.entriesB;
    const PfnCalcIndex calc = stm == 0 ? d.calcW : d.calcB;
    std::vector<uint64_t> cls(entries, ~uint64_t(0));
    long clashes = 0, outside = 0, positions = 0;
    tbtest::ForEachLegal(m, stm, [&](const Pos& p) {
        int w[24], b[24];
        tbtest::ToArrays(m, p, w, b);
        const TbIndex idx = calc(w, b, p.ep, 0);
        positions++;
        if (idx >= entries) { outside++; return; }
        const uint64_t c = tbtest::SymmetryClass(m, p);
        if (cls[idx] != ~uint64_t(0) && cls[idx] != c) clashes++;
        cls[idx] = c;
    });
    EXPECT_GT(positions, 0);
    EXPECT_EQ(outside, 0) << d.name << " stm " << stm;
    EXPECT_EQ(clashes, 0) << d.name << " stm " << stm;
}

}  // namespace

class SlowTbIndex : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { VInitTbDescriptors(); }
};

TEST_P(SlowTbIndex, FourMenTableOverEveryLegalPosition) {
    const int tb = GetParam();
    CheckEveryPosition(tb, 0);
    if (!(TbDescriptors[tb].flags & TbSymmetric)) CheckEveryPosition(tb, 1);
}

INSTANTIATE_TEST_SUITE_P(Tables, SlowTbIndex, ::testing::Range(6, 36));

TEST(SlowTbIndexSample, FiveAndSixMenTablesAroundManyPositions) {
    VInitTbDescriptors();
    for (int tb = 36; tb <= TableCount; tb++) tbtest::SampleTable(tb, 25, 1000 + static_cast<uint64_t>(tb));
}
