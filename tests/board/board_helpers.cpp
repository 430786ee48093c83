#include "board_helpers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "board/attacks.h"
#include "core/settings.h"

namespace boardtest {

int Load(Fixture& f, const std::string& fen, bool chess960) {
    board::InitBoardTables();
    core::settings.chess960 = chess960 ? 1 : 0;
    int result = 1;
    if (fen.empty()) board::SetStartPosition(board::Game);
    else result = board::ReadFen(fen.c_str(), board::Game);
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, *f.tree);
    board::SetUpTree(*f.tree);
    f.root = board::SetUpSearchNodes(*f.tree, board::Game);
    return result;
}

namespace {

std::string Square(int sq) { return board::SquareNames[sq >= 0 && sq <= 64 ? sq : 0]; }

std::vector<int> Attackers(const board::AttackEntry& e) {
    std::vector<int> v(e.squares, e.squares + std::min<uint32_t>(e.number, board::MaxAttackers));
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

std::string CompareWithRebuild(const board::Tree& tree, const board::NodeRecord* node) {
    board::SyncAttacks(tree);
    std::unique_ptr<board::Tree> fresh(new board::Tree());
    std::memcpy(fresh->board, tree.board, sizeof tree.board);
    board::SetUpTree(*fresh);

    // Board unchanged by the rebuild (it only drops men that do not fit).
    for (int sq = 0; sq <= 64; sq++)
        if (fresh->board[sq] != tree.board[sq]) return "board differs at " + Square(sq);
    for (int code = 0; code < 16; code++)
        if (fresh->pieceCount[code] != tree.pieceCount[code])
            return "piece count of code " + std::to_string(code) + " differs";

    // Piece lists: the same set of squares per side, each linked back.
    for (int side = 0; side < 2; side++) {
        if (tree.pieces[side][0] != fresh->pieces[side][0]) return "king square differs";
        std::vector<int> live, rebuilt;
        for (int i = 1; i < 17 && tree.pieces[side][i]; i++) {
            int sq = tree.pieces[side][i];
            if (sq == board::CapturedSlot) continue;
            if (sq < 1 || sq > 64) return "bad square in piece list";
            if (tree.squareLink[sq] != &tree.pieces[side][i]) return "square link of " + Square(sq) + " wrong";
            if (!tree.board[sq] || board::ColourOf(tree.board[sq]) != side)
                return "piece list names " + Square(sq) + " without an own man";
            live.push_back(sq);
        }
        for (int i = 1; i < 17 && fresh->pieces[side][i]; i++) rebuilt.push_back(fresh->pieces[side][i]);
        std::sort(live.begin(), live.end());
        std::sort(rebuilt.begin(), rebuilt.end());
        if (live != rebuilt) return "piece list of side " + std::to_string(side) + " differs";
        if (tree.squareLink[tree.pieces[side][0]] != &tree.pieces[side][0]) return "king link wrong";
    }

    // Kind lists: every live slot of the kind, nothing else.
    for (int code : {3, 5, 6, 7, 11, 13, 14, 15}) {
        const board::KindList* k = tree.kindList[code];
        if (!k) return "kind list missing";
        std::vector<int> live;
        for (uint32_t i = 0; i < k->count; i++) {
            if (!k->slots[i]) return "kind list entry null";
            int sq = *k->slots[i];
            if (sq == board::CapturedSlot) continue;
            if (tree.board[sq] != code) return "kind list of " + std::to_string(code) + " names " + Square(sq);
            live.push_back(sq);
        }
        if (k->slots[k->count]) return "kind list not terminated";
        if (int(live.size()) != tree.pieceCount[code]) return "kind list of " + std::to_string(code) + " incomplete";
    }

    // Attack tables as sets.
    for (int side = 0; side < 2; side++) {
        for (int sq = 1; sq <= 64; sq++) {
            const board::AttackEntry& a = tree.attackTable[side][sq];
            const board::AttackEntry& b = fresh->attackTable[side][sq];
            if (a.number != b.number || a.sliders != b.sliders || Attackers(a) != Attackers(b))
                return "attack entry of side " + std::to_string(side) + " on " + Square(sq) + " differs";
        }
    }

    if (node) {
        uint32_t key[2], pawnKey[2];
        board::ComputeKey(tree.board, key);
        board::ComputePawnKey(tree.board, pawnKey);
        if (key[0] != node->key[0] || key[1] != node->key[1]) return "key differs";
        if (pawnKey[0] != node->pawnKey[0] || pawnKey[1] != node->pawnKey[1]) return "pawn key differs";
        int32_t material[2] = {0, 0};
        uint32_t phase[2] = {0, 0}, signature[2] = {0, 0};
        int men = 0;
        for (int sq = 1; sq <= 64; sq++) {
            int code = tree.board[sq];
            if (!code) continue;
            men++;
            int s = board::ColourOf(code);
            if (!board::IsKing(code)) material[s] += board::PieceValue[code];
            phase[s] += uint32_t(board::PhaseUnits[code]);
            signature[s] = board::SignatureAdd(signature[s], code, sq);
        }
        for (int s = 0; s < 2; s++) {
            if (material[s] != node->material[s]) return "material differs";
            if (phase[s] != node->phase[s]) return "phase differs";
            if (signature[s] != node->signature[s]) return "signature differs";
        }
        if (men != node->men) return "men count differs";
        if (board::SquareScore(tree, node->side) != node->squareScore) return "square score differs";
        if (*tree.keyTop != node->key[1]) return "key history top is not the node's key";
        int checked = board::InCheck(tree, node->side);
        if (checked != ((node->flags & board::InCheckFlag) != 0)) return "check flag differs";
    }
    return "";
}

}  // namespace boardtest
