// Main alpha-beta search, quiescence search and the move pickers.
#pragma once
#include "board/position.h"

namespace search {

int Search(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int depth,
           int nullAllowed, int threatExtensions, int nodeType);
int Quiesce(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int qdepth);

board::Move NextMove(board::Tree& tree, board::NodeRecord* node);
board::Move NextQuiesceMove(board::Tree& tree, board::NodeRecord* node, int qdepth);
void ResetMovePicker(board::NodeRecord* node);

// Flag bits the search adds to a node's flags word.
constexpr uint32_t NodeMateThreat = 0x800;
constexpr uint32_t NodeHashUpper = 0x1000;
constexpr uint32_t NodeHashLower = 0x2000;

// Ordering thresholds and killer scores written by the generator.
constexpr int32_t GoodCaptureFloor = -100;    // main search
constexpr int32_t QuiesceCaptureFloor = -99;  // quiescence
constexpr int32_t KillerScore = 0x7ffffe0b;
constexpr int32_t OldKillerScore = 0x7ffffe0a;

// Earlier occurrences of the node's position in the key history, stepping two
// plies back from four plies ago down to the last irreversible move.
int RepetitionCount(const board::Tree& tree, const board::NodeRecord* node);
// Contempt draw score of a repeated position at this node.
int RepetitionScore(const board::NodeRecord* node);
// The bitbase answer for the node (30001 = none), counted as a hit.
int BitbaseAnswer(const board::Tree& tree, const board::NodeRecord* node);
// The tablebase answer for the node (30001 = none); counts the hit and the time.
int TablebaseAnswer(const board::Tree& tree, const board::NodeRecord* node);
// Node score of an endgame-database answer (30001 = none).
int DatabaseScore(const board::NodeRecord* node, int answer);
// Killer and history bookkeeping for a quiet best move.
void UpdateKillers(board::Tree& tree, int ply, board::Move move);
void RewardHistory(board::Tree& tree, int side, board::Move move, int amount);
void ClearKillersAndHistory(board::Tree& tree);

}  // namespace search
