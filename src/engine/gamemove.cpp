#include "engine/gamemove.h"

#include <new>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"

namespace engine {

namespace {

// A board of its own, so that checking a host's move never disturbs the
// search board.
board::Tree* scratch = nullptr;

int GameSide() {
    const board::GameRecord& game = board::Game;
    return game.states.empty() ? int(game.startSide) : game.states.back().side;
}

}  // namespace

board::Move LegalGameMove(const char* text) {
    board::Move read = board::ReadMoveText(text, board::Game.board, GameSide());
    if (!read) return 0;
    if (!scratch) {
        scratch = new (std::nothrow) board::Tree();
        if (!scratch) return 0;
    }
    board::Tree& tree = *scratch;
    board::CopyGameBoard(board::Game, tree);
    board::SetUpTree(tree);
    board::NodeRecord* root = board::SetUpRoot(tree, board::Game);
    board::GenerateMoves(tree, root, board::GenAll, 1);
    board::Move found = 0;
    for (board::MoveEntry* list : {root->captureList, root->quietList}) {
        for (board::MoveEntry* e = list; e->score != board::ListEnd && !found; e++) {
            board::Move m = e->move;
            if (board::MoveFrom(m) != board::MoveFrom(read) || board::MoveTo(m) != board::MoveTo(read) ||
                board::MovePromotion(m) != board::MovePromotion(read) ||
                ((m ^ read) & board::MoveCastle))
                continue;
            root->currentMove = m;
            if (board::MakeMove(tree, root)) {
                board::UnmakeMove(tree, root);
                found = m;
            }
        }
    }
    return found;
}

void ReleaseGameMoveBoard() {
    delete scratch;
    scratch = nullptr;
}

}  // namespace engine
