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
    board::NodeRecord* root = board::SetUpSearchNodes(tree, board::Game);
    board::Move legal[256];
    int count = board::LegalMoves(tree, root, legal, 256);
    for (int i = 0; i < count; i++) {
        board::Move m = legal[i];
        if (board::MoveFrom(m) == board::MoveFrom(read) && board::MoveTo(m) == board::MoveTo(read) &&
            board::MovePromotion(m) == board::MovePromotion(read) && !((m ^ read) & board::MoveCastle))
            return m;
    }
    return 0;
}

void ReleaseGameMoveBoard() {
    delete scratch;
    scratch = nullptr;
}

}  // namespace engine
