// Staged move pickers of the main and the quiescence search.
#include <cstdint>

#include "board/movegen.h"
#include "search/search.h"

namespace search {
namespace {

using board::ListEnd;
using board::Move;
using board::MoveEntry;
using board::NodeRecord;
using board::Tree;

// Main-search stages; each names what the next call hands out.
enum MainStage : uint8_t {
    StageHash = 0,
    StageSecond,
    StageGoodCaptures,
    StageKillers,
    StageBadCaptures,
    StageQuiets,
    StageDone
};

// Quiescence stages.
enum QuiesceStage : uint8_t { QStageHash = 0, QStageCaptures, QStageQuiets, QStageDone };

constexpr uint8_t CapturesGenerated = 1;
constexpr uint8_t QuietsGenerated = 2;
constexpr int32_t AnyScore = INT32_MIN;

bool InCheck(const NodeRecord* node) { return (node->flags & board::InCheckFlag) != 0; }

// Takes the best entry scoring at least `floor`: the first of equal scores
// wins, the last entry fills its place and becomes the terminator.
Move TakeBest(MoveEntry* list, int32_t floor) {
    if (list == nullptr) return 0;
    MoveEntry* best = nullptr;
    MoveEntry* entry = list;
    for (; entry->score != ListEnd; ++entry)
        if (best == nullptr || entry->score > best->score) best = entry;
    if (best == nullptr || best->score < floor) return 0;
    MoveEntry* last = entry - 1;
    Move move = best->move;
    *best = *last;
    last->score = ListEnd;
    return move;
}

// Drops a move already handed out from a freshly generated list.
void RemoveFromList(MoveEntry* list, Move move) {
    if (list == nullptr || move == 0) return;
    MoveEntry* entry = list;
    while (entry->score != ListEnd) ++entry;
    for (MoveEntry* e = list; e < entry;) {
        if (e->move == move) {
            --entry;
            *e = *entry;
            entry->score = ListEnd;
        } else {
            ++e;
        }
    }
}

void DropTried(NodeRecord* node, MoveEntry* list) {
    RemoveFromList(list, node->hashMove);
    RemoveFromList(list, node->savedMove);
}

// In check one generation call produces every evasion into both lists.
// Moves the hash stages have handed out never come twice.
void GenerateIfNeeded(Tree& tree, NodeRecord* node, uint8_t bit, int mode, int allPromotions) {
    if (InCheck(node)) {
        if (node->generated & (CapturesGenerated | QuietsGenerated)) return;
        board::GenerateMoves(tree, node, board::GenAll, allPromotions);
        node->generated |= CapturesGenerated | QuietsGenerated;
        DropTried(node, node->captureList);
        DropTried(node, node->quietList);
        return;
    }
    if (node->generated & bit) return;
    board::GenerateMoves(tree, node, mode, allPromotions);
    node->generated |= bit;
    DropTried(node, bit == CapturesGenerated ? node->captureList : node->quietList);
}

}  // namespace

void ResetMovePicker(NodeRecord* node) {
    node->generated = 0;
    node->stage = 0;
    node->savedMove = 0;
    node->moveCount = 0;
    node->legalCount = 0;
    node->spare = 0;
    node->quietEnd = node->quietList;
    node->captureEnd = node->captureList;
    if (node->quietList) node->quietList->score = ListEnd;
    if (node->captureList) node->captureList->score = ListEnd;
}

Move NextMove(Tree& tree, NodeRecord* node) {
    Move move;
    switch (node->stage) {
        case StageHash:
            node->stage = StageSecond;
            if (node->hashMove && board::MoveFits(node->hashMove, tree, node->flags))
                return node->hashMove;
            [[fallthrough]];
        case StageSecond:
            node->stage = StageGoodCaptures;
            if (node->secondMove && node->secondMove != node->hashMove &&
                board::MoveFits(node->secondMove, tree, node->flags)) {
                node->savedMove = node->secondMove;
                return node->secondMove;
            }
            [[fallthrough]];
        case StageGoodCaptures:
            GenerateIfNeeded(tree, node, CapturesGenerated, board::GenCaptures, 1);
            if ((move = TakeBest(node->captureList, GoodCaptureFloor)) != 0) return move;
            node->stage = StageKillers;
            [[fallthrough]];
        case StageKillers:
            GenerateIfNeeded(tree, node, QuietsGenerated, board::GenQuiets, 1);
            if ((move = TakeBest(node->quietList, KillerScore)) != 0) return move;
            node->stage = StageBadCaptures;
            [[fallthrough]];
        case StageBadCaptures:
            if ((move = TakeBest(node->captureList, AnyScore)) != 0) return move;
            node->stage = StageQuiets;
            [[fallthrough]];
        case StageQuiets:
            if ((move = TakeBest(node->quietList, AnyScore)) != 0) return move;
            node->stage = StageDone;
            [[fallthrough]];
        default:
            return 0;
    }
}

Move NextQuiesceMove(Tree& tree, NodeRecord* node, int qdepth) {
    (void)qdepth;
    Move move;
    switch (node->stage) {
        case QStageHash:
            node->stage = QStageCaptures;
            if (node->hashMove && board::MoveFits(node->hashMove, tree, node->flags))
                return node->hashMove;
            [[fallthrough]];
        case QStageCaptures: {
            GenerateIfNeeded(tree, node, CapturesGenerated, board::GenCaptures, 0);
            const bool open = InCheck(node) || node->quiescenceFlag;
            if ((move = TakeBest(node->captureList, open ? AnyScore : QuiesceCaptureFloor)) != 0)
                return move;
            if (!InCheck(node)) {
                node->stage = QStageDone;
                return 0;
            }
            node->stage = QStageQuiets;
        }
            [[fallthrough]];
        case QStageQuiets:
            if ((move = TakeBest(node->quietList, AnyScore)) != 0) return move;
            node->stage = QStageDone;
            [[fallthrough]];
        default:
            return 0;
    }
}

}  // namespace search
