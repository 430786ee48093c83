// Temporary weak stand-ins until the board lands: an empty board that
// generates no moves, so a search finds nothing to play.
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"

#define WEAK __attribute__((weak))

namespace board {

WEAK Tree* MainTree = nullptr;
extern const int PieceValue[16] WEAK;
const int PieceValue[16] = {0, 10000, 100, 325, 0, 325, 541, 1055,
                                 0, 10000, 100, 325, 0, 325, 541, 1055};

WEAK NodeRecord* SetUpRoot(Tree& tree, const GameRecord&) {
    NodeRecord* root = &tree.nodeArray[0];
    std::memset(root, 0, sizeof(*root));
    root->quietList = root->quietEnd = tree.quietStack;
    root->captureList = root->captureEnd = tree.captureStack;
    return root;
}
WEAK void GenerateMoves(Tree&, NodeRecord* node, int, int) {
    node->captureList[0] = MoveEntry{0, ListEnd};
    node->quietList[0] = MoveEntry{0, ListEnd};
}
WEAK NodeRecord* MakeMove(Tree&, NodeRecord*) { return nullptr; }
WEAK void UnmakeMove(Tree&, NodeRecord*) {}
WEAK int MoveFits(Move, const Tree&, uint32_t) { return 0; }
WEAK int WriteMoveText(char* buffer, Move move) {
    static const char* const files = "abcdefgh";
    int from = MoveFrom(move), to = MoveTo(move);
    if (!from || !to) {
        std::strcpy(buffer, "0000");
        return 4;
    }
    buffer[0] = files[FileOf(from) - 1];
    buffer[1] = char('0' + RankOf(from));
    buffer[2] = files[FileOf(to) - 1];
    buffer[3] = char('0' + RankOf(to));
    buffer[4] = 0;
    return 4;
}
WEAK int EstimateCapture(const Tree&, Move) { return 0; }
WEAK int OccurrencesSinceReset(const Tree&, const NodeRecord*) { return 0; }
WEAK int RepeatsOnce(const Tree&, const NodeRecord*) { return 0; }

WEAK int GivesNoCheckLine(const uint8_t*, int, int, int) { return 1; }
WEAK void InitBoardTables() {}
WEAK int ReadFen(const char*, GameRecord&) { return 0; }
WEAK void StartGame(GameRecord&) {}
WEAK void CopyGameBoard(const GameRecord&, Tree&) {}
WEAK void SetUpTree(Tree&) {}

}  // namespace board
