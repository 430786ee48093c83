// Engine tables for the tools, set up as the engine's start-up does (without
// the speed calibration and the learning file).
#include <new>

#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "engine/platform.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/tt.h"

namespace tools {

int InitEngineTables() {
    static bool done = false;
    if (done) return 0;
    engine::RandomSeed(1);
    board::MainTree = new (std::nothrow) board::Tree();
    if (!board::MainTree || !search::AllocateBoardTables(*board::MainTree)) return -1;
    board::InitBoardTables();
    eval::InitEvalTables();
    if (!search::AllocateSearchTables(3277) || !search::AllocateEvalTables(819)) return -1;
    search::ClearAllTables(*board::MainTree);
    // A fixed poll schedule: tools never read commands during a search.
    engine::shell.calibration = 1000;
    engine::shell.pollIntervalSlow = 25000;
    engine::shell.pollIntervalFast = 6250;
    search::SetLevel(1, 3);
    board::SetStartPosition(board::Game);
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, *board::MainTree);
    board::SetUpTree(*board::MainTree);
    search::searchState = search::Idle;
    done = true;
    return 0;
}

}  // namespace tools
