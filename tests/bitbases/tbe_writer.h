// Test helper: writes decision diagrams and whole bitbase files by the format,
// independently of the reader.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bbtest {

struct RawLevel {
    uint32_t width;
    std::vector<uint32_t> values;  // entries, packed at `width` bits each
};
struct RawDiagram {
    std::vector<RawLevel> levels;  // level 0 first
    std::vector<uint32_t> twoWay;
};

// Diagram over `bits` key bits: every key in `hot` answers its verdict, any
// other key `rest`. One-entry nodes are used where successors are
// consecutive, unless `twoWayOnly`.
RawDiagram BuildDiagram(int bits, const std::map<uint32_t, int>& hot, int rest, bool twoWayOnly = false);
// The same for a function given over every key.
RawDiagram BuildDiagram(int bits, const std::function<int(uint32_t)>& verdict, bool twoWayOnly = false);
// A diagram answering `verdict` for every key.
RawDiagram Constant(int verdict);

std::vector<uint8_t> DiagramBytes(const RawDiagram& d);

struct RawEntry {
    std::string name;        // plain text; masked when written
    uint8_t bitMap[32];      // identity unless set
    RawDiagram diagram;
    RawEntry(std::string n, RawDiagram d);
};

// Header with magic, version and checksum, then the entries.
std::vector<uint8_t> FileBytes(const std::vector<RawEntry>& entries);
// Recomputes the checksum of a file (after the test changed its body).
void FixChecksum(std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// A fresh empty directory for one test, removed by the destructor.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace bbtest
