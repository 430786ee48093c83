// A material such as KQRKR: the men of each side, kings included.
#pragma once

#include <cstdint>
#include <string>

#include "board.h"

namespace endgame {

struct Material {
    uint8_t count[2][6] = {};  // [colour][PieceType]; kings always 1

    int Men() const;
    bool HasPawns() const;
    bool BothHavePawns() const;
    std::string Name() const;  // white's men first, strongest first: "KQRKR"
    uint64_t Key() const;      // unique per material and colour assignment
    Material Swapped() const;
    // The form tables are kept under: the stronger side white. Sets
    // `swapped` when the colours had to change.
    Material Canonical(bool& swapped) const;
};

// Reads "KRPKR" and the like (men of each side in any order after its
// king). Returns false with a reason in `error`.
bool ParseMaterial(const std::string& text, Material& m, std::string& error);

}  // namespace endgame
