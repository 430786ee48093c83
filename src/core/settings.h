// Engine settings: one global value per option, with the engine's start values.
// Only the option handler writes them; every other subsystem reads them.
// Runtime flags live with their owners, not here.
#pragma once
#include <cstdint>

namespace core {

struct Settings {
    // Hash size is kept as the two table shares in kilobytes (see search/tt).
    char nalimovPath[752] = "/tablebases;/tablebases/tb6";
    int nalimovCacheMb = 1;
    int ownBook = 3;  // 3 on, 0 off
    int ponder = 1;
    int multiPv = 1;
    int chess960 = 0;
    int analyseMode = 0;
    int showCurrLine = 0;
    int showRefutations = 0;
    int limitStrength = 0;
    int elo = 1400;
    char bitbasePath[264] = "/kestrionbases/bases.ini";
    int keepHashSearch = 1;
    int keepHashEval = 1;
    int positionLearning = 1;
    int preferOpen = 0;
    int openingAdvice = 1;
    int test1 = 0, test2 = 0, test3 = 0;
    // Bitbase probing: on, depth margin, margin follows tablebases, always.
    int bitbaseUse = 1, bitbaseMargin = -99, bitbaseLikeTb = 0, bitbaseAlways = 1;
    // Tablebase probing: start depth margin, hit-rate limit, on.
    int tablebaseMargin = 0, tablebaseHitLimit = 30, tablebaseUse = 1;
    // Evaluation weights in percent of the built-in weight.
    int pawn = 100, knight = 100, bishop = 100, rook = 100, queen = 100;
    int pawnEnd = 100, knightEnd = 100, bishopEnd = 100, rookEnd = 100, queenEnd = 100;
    int kingSafety = 100;
    int pawnStructure = 100, pawnStructureEnd = 100;
    int passedPawns = 100, passedPawnsEnd = 100;
    int centerControl = 100;
    int bishopPair = 100, bishopPairEnd = 100;
    int timeUsage = 100;
    int knowledgeOrSpeed = 0;
    int drawScore = 0;
};

extern Settings settings;

}  // namespace core
