// Helpers of the evaluation tests: a tree set up like a search root, and FEN
// texts of the current tree and of its colour-mirrored twin.
#pragma once
#include <memory>
#include <string>

#include "../engine/start.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace evaltest {

struct Root {
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    board::NodeRecord* node = nullptr;
    eval::SearchSwitches switches;  // what the set-up told the search
};

// Returns the reader's result; a refused FEN leaves the tree as it was.
inline bool Load(Root& r, const std::string& fen) {
    enginetest::StartEngine();
    if (!board::ReadFen(fen.c_str(), board::Game)) return false;
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, *r.tree);
    board::SetUpTree(*r.tree);
    r.node = eval::SetUpRoot(*r.tree, board::Game, &r.switches);
    return true;
}

inline int Full(Root& r) { return eval::Evaluate(*r.tree, r.node, -30000, 30000, 0); }

// FEN of a board; mirrored: ranks flipped, colours and side to move swapped.
inline std::string Fen(const uint8_t* b, int side, uint32_t flags, bool mirrored) {
    static const char Letters[] = "?KPN?BRQ";
    std::string s;
    for (int rank = 8; rank >= 1; rank--) {
        int empty = 0;
        for (int file = 1; file <= 8; file++) {
            int code = b[board::SquareAt(file, mirrored ? 9 - rank : rank)];
            if (!code) { empty++; continue; }
            if (empty) { s += char('0' + empty); empty = 0; }
            bool black = (code >> 3) != 0;
            if (mirrored) black = !black;
            char c = Letters[code & 7];
            s += black ? char(c - 'A' + 'a') : c;
        }
        if (empty) s += char('0' + empty);
        if (rank > 1) s += '/';
    }
    s += (side ^ (mirrored ? 1 : 0)) ? " b " : " w ";
    std::string castle;
    uint32_t wk = mirrored ? board::BlackKingSide : board::WhiteKingSide;
    uint32_t wq = mirrored ? board::BlackQueenSide : board::WhiteQueenSide;
    uint32_t bk = mirrored ? board::WhiteKingSide : board::BlackKingSide;
    uint32_t bq = mirrored ? board::WhiteQueenSide : board::BlackQueenSide;
    if (flags & wk) castle += 'K';
    if (flags & wq) castle += 'Q';
    if (flags & bk) castle += 'k';
    if (flags & bq) castle += 'q';
    s += castle.empty() ? "-" : castle;
    int ep = int(flags & board::EpMask);
    if (ep) {
        if (mirrored) ep = board::Mirror(ep);
        s += ' ';
        s += board::SquareNames[ep];
    } else {
        s += " -";
    }
    return s + " 0 1";
}

}  // namespace evaltest
