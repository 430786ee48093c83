// Quiescence search: captures, promotions and check evasions below the
// horizon, with a stand-pat score from the full evaluation.
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/state.h"
#include "search/tt.h"

namespace search {
namespace {

using board::Move;
using board::NodeRecord;
using board::Tree;

// A stand pat this far below alpha cannot be repaired by one capture.
constexpr int StandPatHopeless = 1155;
// Slack added to a plain capture's gain before it is pruned as hopeless.
constexpr int DeltaMargin = 100;

int RebaseMate(int value, int ply) {
    if (value > board::MateBound) return value - ply + 1;
    if (value < -board::MateBound) return value + ply - 1;
    return value;
}

}  // namespace

int Quiesce(Tree& tree, NodeRecord* node, int alpha, int beta, int qdepth) {
    // 1. Count the node.
    PrefetchSearch(node, 1);
    eval::PrefetchEvalEntries(tree, node);
    node->bestMove = 0;
    ++tree.nodes;
    const int ply = node->ply;
    const int side = node->side;
    const bool inCheck = (node->flags & board::InCheckFlag) != 0;

    // 2. Below the first level a single earlier occurrence is a draw.
    if (qdepth < 0 && RepetitionCount(tree, node) >= 1) return RepetitionScore(node);

    // 3. Bitbases after a capture or promotion, within the quiescence limit.
    if (node->men <= sg.quiesceBitbaseLimit && ply >= 1 &&
        (board::MoveCaptured((node - 1)->currentMove) || board::MovePromotion((node - 1)->currentMove))) {
        const int score = DatabaseScore(node, BitbaseAnswer(tree, node));
        if (score != board::NoAnswer) return score;
    }
    node->hashMove = 0;
    ResetMovePicker(node);  // a re-search reuses the record

    // 4. Tier-1 probe; no depth test.
    ProbeResult hit;
    if (ProbeQuiesce(node, hit)) {  // tier 2 is never used here
        const Move m = hit.move;
        if (m && (inCheck || board::MoveCaptured(m) || board::MovePromotion(m))) node->hashMove = m;
        if (SignatureMatches(hit.sn) && !sg.hashCutoffsOff) {
            const bool upper = (hit.flags & EntryUpper) != 0;
            const bool lower = (hit.flags & EntryLower) != 0;
            if (lower && !upper && hit.value >= beta) {
                node->bestMove = m;
                return hit.value;
            }
            if (!lower && !upper) {
                node->bestMove = m;
                return RebaseMate(hit.value, ply);
            }
            if (upper && !lower && hit.value <= alpha) {
                node->bestMove = m;
                return hit.value;
            }
        }
    }

    // 5. Stand pat, or the mated score in check (the evaluation still runs
    // for its attack tables and margins).
    const int alphaAtEntry = alpha;
    int standPat = eval::Evaluate(tree, node, alpha, beta, qdepth);
    int bestScore;
    if (inCheck) {
        bestScore = ply - board::MateValue;
    } else {
        bestScore = standPat;
        if (alpha > standPat + StandPatHopeless) return alpha;
    }

    // 6. Stand-pat cut and the ply limits.
    if (bestScore >= beta) return bestScore;
    if (bestScore > alpha) alpha = bestScore;
    if (ply >= board::MaxPly - 1) return alpha;
    if (ply > 4 * sg.iterationDepth + 4) return alpha;

    // 7. Delta pruning applies outside check when the mover has more than its king.
    const bool deltaPruning = !inCheck && node->material[side] > 0;
    const int enemyKing = board::KingSquare(tree, side ^ 1);

    Move move;
    while ((move = NextQuiesceMove(tree, node, qdepth)) != 0) {
        if (deltaPruning && (board::MoveCaptured(move) || board::MovePromotion(move))) {
            const int promoted = board::MovePromotion(move);
            const int gain = promoted ? board::PieceValue[promoted] +
                                            board::PieceValue[board::MoveCaptured(move)]
                                      : board::PieceValue[board::MoveCaptured(move)] + DeltaMargin;
            const int optimistic = standPat + gain;
            if (optimistic < alpha) {
                const int code = promoted ? promoted : board::MovePiece(move);
                if (board::GivesNoCheckLine(tree.board, code, board::MoveTo(move), enemyKing)) {
                    if (optimistic > bestScore) bestScore = optimistic;
                    continue;
                }
            }
        }

        // 8. Search the move.
        node->currentMove = move;
        NodeRecord* child = board::MakeMove(tree, node);
        if (child == nullptr) continue;
        const int score = -Quiesce(tree, child, -beta, -alpha, qdepth - 1);
        board::UnmakeMove(tree, node);
        if (score > bestScore) {
            bestScore = score;
            node->bestMove = move;
            if (score >= beta) break;
            if (score > alpha) alpha = score;
        }
    }

    // 9. Store a result that has a move.
    if (node->bestMove) StoreQuiesce(node, node->bestMove, bestScore, alphaAtEntry, beta, qdepth);
    node->bestValue = bestScore;
    return bestScore;
}

}  // namespace search
