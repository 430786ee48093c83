// Shared set-up for the tree-search tests: one board, positions from FEN and
// game moves, and a small iterative-deepening driver.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "../engine/start.h"
#include "eval/cache.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/search.h"
#include "search/state.h"
#include "search/tt.h"

namespace searchtest {

inline board::Tree& TestTree() {
    static board::Tree* tree = [] {
        enginetest::StartEngine();
        search::SetHashSize(4);
        auto* t = new board::Tree();
        search::AllocateBoardTables(*t);
        return t;
    }();
    return *tree;
}

inline int SideToMove() {
    return board::Game.states.empty() ? int(board::Game.startSide) : board::Game.states.back().side;
}

// Sets up the game from a FEN and moves, then the search board and a fresh
// search state (no polling, empty hash, no killers or history).
inline board::NodeRecord* Position(const char* fen, std::initializer_list<const char*> moves = {}) {
    board::Tree& tree = TestTree();
    EXPECT_EQ(board::ReadFen(fen, board::Game), 1) << fen;
    board::StartGame(board::Game);
    for (const char* text : moves) {
        const board::Move m = board::ReadMoveText(text, board::Game.board, SideToMove());
        EXPECT_NE(m, 0u) << text;
        board::PlayGameMove(board::Game, m);
    }
    board::CopyGameBoard(board::Game, tree);
    board::SetUpTree(tree);
    board::NodeRecord* root = search::SetUpRoot(tree, board::Game);
    search::ClearSearchTables();
    eval::ClearEvalTables();
    search::NewSearchNumber();
    search::ClearKillersAndHistory(tree);
    tree.nodes = 0;
    search::sg = search::SearchGlobals{};
    search::sg.noPoll = 1;
    search::sg.iterationDepth = 1;
    search::sg.rootBalance = root->material[0] - root->material[1];
    eval::OptimisticMargin[0] = eval::OptimisticMargin[1] = 150;
    search::stopFlag = 0;
    search::searchState = search::Idle;
    search::limits = search::Limits{};
    return root;
}

// Plays one move text from `node`; returns the child (nullptr if illegal).
inline board::NodeRecord* Play(board::NodeRecord* node, const char* text) {
    board::Tree& tree = TestTree();
    node->currentMove = board::ReadMoveText(text, tree.board, node->side);
    if (!node->currentMove) return nullptr;
    return board::MakeMove(tree, node);
}

inline void Takeback(board::NodeRecord* node) { board::UnmakeMove(TestTree(), node); }

struct RootResult {
    int score = 0;
    board::Move move = 0;
};

// Iterative deepening over the root moves with the full window; a horizon
// of 0 switches the check and recapture extensions off.
inline RootResult Deepen(board::NodeRecord* root, int maxDepth, int horizon = -1) {
    board::Tree& tree = TestTree();
    RootResult result;
    for (int d = 1; d <= maxDepth; ++d) {
        search::sg.iterationDepth = d;
        search::sg.extensionHorizon = horizon >= 0 ? horizon : std::min(99, d + 12);
        search::ResetMovePicker(root);
        root->hashMove = result.move;
        root->secondMove = 0;
        int alpha = -board::MateValue, beta = board::MateValue, best = -board::MateValue;
        board::Move bestMove = 0, m;
        bool first = true;
        while ((m = search::NextMove(tree, root)) != 0) {
            root->currentMove = m;
            board::NodeRecord* child = board::MakeMove(tree, root);
            if (!child) continue;
            int s;
            if (first) {
                s = -search::Search(tree, child, -beta, -alpha, d - 1, 1, 0, 0);
            } else {
                s = -search::Search(tree, child, -alpha - 1, -alpha, d - 1, 1, 0, 1);
                if (s > alpha && s < beta) s = -search::Search(tree, child, -beta, -alpha, d - 1, 1, 0, 0);
            }
            board::UnmakeMove(tree, root);
            first = false;
            if (s > best) {
                best = s;
                bestMove = m;
            }
            if (s > alpha) alpha = s;
        }
        result.score = best;
        result.move = bestMove;
    }
    return result;
}

inline std::string MoveText(board::Move m) {
    char buffer[16] = {0};
    board::WriteMoveText(buffer, m);
    return buffer;
}

}  // namespace searchtest
