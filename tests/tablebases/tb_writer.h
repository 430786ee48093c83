// Test-side writer of whole table files for small materials: an image of a
// table side filled with one value, entries set through the engine's own
// index functions, written plain or compressed into a scratch directory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index_support.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"

namespace tbtest {

// A scratch directory, removed with everything in it when the object goes.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::string Sub(const std::string& name) const;   // made on demand
    std::string path;
};

// Table descriptors set up once per suite, every table closed after each
// test, and a scratch directory of its own.
class TableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tablebases::VInitTbDescriptors(); }
    void TearDown() override { tablebases::VTbCloseAll(); }
    ScratchDir scratch;
};

int TableNumber(const std::string& name);

struct TableImage {
    int iTb = 0;
    int side = 0;
    bool wide = false;
    std::vector<uint8_t> bytes;
};

// Every entry holds `raw` (a stored value, -32768..32767).
TableImage BlankTable(int iTb, int side, int raw);
void SetRaw(TableImage& t, uint64_t entry, int raw);
// Entry of a position of the table's own material (white as named).
uint64_t EntryOf(const TableImage& t, const Material& m, const Pos& p);

// Stored value for a win (moves > 0) or loss (moves < 0) in |moves| moves,
// 0 for a draw.
int RawForMoves(int moves);
// The score the probe must answer for it.
int ScoreForMoves(int moves);

// Writes <dir>/<name>.nbw|.nbb, or with ".emd" appended when compressed.
// `cut` bytes are left off the end.
bool WriteTable(const std::string& dir, const TableImage& t, bool compressed, size_t cut = 0);
std::string TablePath(const std::string& dir, const TableImage& t, bool compressed);

// The engine board (squares 1..64, engine codes) of a position; with
// `reversed`, colours swapped and ranks mirrored.
void EngineBoard(const Material& m, const Pos& p, bool reversed, uint8_t* board);

}  // namespace tbtest
