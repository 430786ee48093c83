#include "search/state.h"

namespace search {

SearchGlobals sg;

void ApplySearchSwitches(const eval::SearchSwitches& switches) {
    sg.nullMoveSwitch = switches.nullMoveSwitch;
    sg.nullMovePlyRule = switches.nullMovePlyRule;
    sg.fewPiecesFlag = switches.fewPiecesFlag;
    sg.checkExtPlyLimit = switches.checkExtPlyLimit;
    sg.endgameClass = switches.endgameClass;
}

}  // namespace search

namespace search {

board::NodeRecord* SetUpRoot(board::Tree& tree, const board::GameRecord& game) {
    eval::SearchSwitches switches;
    board::NodeRecord* root = eval::SetUpRoot(tree, game, &switches);
    ApplySearchSwitches(switches);
    return root;
}

}  // namespace search
