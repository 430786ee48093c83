#include "engine/uci.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bitbases/hooks.h"
#include "board/movegen.h"
#include "board/position.h"
#include "book/hooks.h"
#include "core/platform.h"
#include "core/settings.h"
#include "engine/gamemove.h"
#include "engine/options.h"
#include "engine/shell.h"
#include "eval/cache.h"
#include "search/limits.h"
#include "search/record.h"
#include "search/state.h"
#include "search/think.h"
#include "search/tt.h"
#include "tablebases/tbprobe.h"

namespace engine {

namespace {

constexpr int MaxWords = 2100;  // a 4095-character line has at most 2048 words

int SplitWords(char* text, char** words) {
    int count = 0;
    char* p = text;
    while (*p && count < MaxWords) {
        while (*p == ' ') p++;
        if (!*p) break;
        words[count++] = p;
        while (*p && *p != ' ') p++;
        if (*p) *p++ = 0;
    }
    return count;
}

// Decimal integer with optional sign; anything else reads as 0. Saturates
// instead of overflowing.
int32_t ReadNumber(const char* text) {
    const char* p = text;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > INT32_MAX) {
            value = int64_t(INT32_MAX) + (negative ? 1 : 0);
            break;
        }
    }
    if (negative) value = -value;
    if (value < INT32_MIN) value = INT32_MIN;
    return int32_t(value);
}

int GameSide() {
    const board::GameRecord& game = board::Game;
    return game.states.empty() ? int(game.startSide) : game.states.back().side;
}

char messageText[4200];

// A `position` that arrives during a search waits for its end, and so does a
// `go` sent after it: the host meant that go for that position.
constexpr int LineSize = 4096;
char pendingPosition[LineSize];
char pendingGo[LineSize];
bool positionPending = false, goPending = false;

void Hold(char* target, const char* rest) { std::snprintf(target, LineSize, "%s", rest); }

void PlayMoveWords(char** words, int first, int count) {
    for (int i = first; i < count; i++) {
        board::Move move = LegalGameMove(words[i]);
        if (move) board::PlayGameMove(board::Game, move);
    }
}

void CommandPosition(char** words, int count) {
    if (count < 2) return;
    int index = 2;
    if (std::strcmp(words[1], "fen") == 0) {
        messageText[0] = 0;
        size_t length = 0;
        while (index < count && std::strcmp(words[index], "moves") != 0) {
            size_t wordLength = std::strlen(words[index]);
            if (length + wordLength + 2 >= sizeof messageText) break;
            if (length) messageText[length++] = ' ';
            std::memcpy(messageText + length, words[index], wordLength + 1);
            length += wordLength;
            index++;
        }
        if (!board::ReadFen(messageText, board::Game)) {
            // The engine cannot hold that board: keep the last good position.
            core::SendInfoString("illegal position, the previous position is kept");
            return;
        }
    } else {
        board::SetStartPosition(board::Game);
    }
    board::StartGame(board::Game);
    bool hasMoves = false;
    if (std::strcmp(words[1], "startpos") == 0 || std::strcmp(words[1], "fen") == 0)
        hasMoves = index < count && std::strcmp(words[index], "moves") == 0;
    if (hasMoves) PlayMoveWords(words, index + 1, count);
    if (board::MainTree) {
        board::CopyGameBoard(board::Game, *board::MainTree);
        board::SetUpTree(*board::MainTree);
    }
}

void CommandIsReady() {
    if (shell.tablebaseReopen) {
        // Path and cache changes take effect here, in one re-registration.
        shell.tablebaseReopen = 0;
        tablebases::VTbCloseAll();
        if (core::settings.nalimovPath[0])
            tablebases::IInitializeTb(core::settings.nalimovPath, core::settings.nalimovCacheMb);
    }
    if (!shell.bitbasesLoaded) {
        shell.bitbasesLoaded = 1;
        bitbases::LoadBitbases(0);
    }
    core::SendLine("readyok\n");
}

void CommandGo(char** words, int count) {
    if (search::searchState != search::Idle) return;
    int ponder = ParseGo(words + 1, count - 1);

    // Strength limit: cut the search off after a random number of nodes.
    if (core::settings.limitStrength) {
        StrengthBudget budget = StrengthNodeBudget(core::settings.elo, core::RandomNext());
        if (core::settings.keepHashSearch) {
            search::ClearSearchTables();
            eval::ClearEvalTables();
        }
        if (budget.interval < search::pollSchedule.pollIntervalFast) search::pollSchedule.pollIntervalFast = budget.interval;
        search::limits.nodeLimit = budget.nodes;
    }

    search::limits.sideAtGo = GameSide();
    search::searchState = ponder ? search::Pondering : search::Searching;
    board::Move best = board::MainTree ? search::Think(*board::MainTree) : 0;
    search::searchState = search::Idle;

    char moveText[16];
    if (core::platform.commandLineMode) {
        MoveTextWithBlank(moveText, best);
        core::platform.commandLineMode = 0;
        if (shell.evalPrint)
            std::snprintf(messageText, sizeof messageText, "%s %d", moveText + 1, search::whiteViewScore);
        else
            std::snprintf(messageText, sizeof messageText, "%s", moveText + 1);
        core::SendLine(messageText);
        core::platform.commandLineMode = 1;
    }
    MoveTextWithBlank(moveText, best);
    int length = std::snprintf(messageText, sizeof messageText, "bestmove%s", moveText);
    if (best && search::ponderMove) {
        char ponderText[16];
        MoveTextWithBlank(ponderText, search::ponderMove);
        std::snprintf(messageText + length, sizeof messageText - size_t(length), " ponder%s",
                      ponderText);
    }
    std::strncat(messageText, "\n", sizeof messageText - std::strlen(messageText) - 1);
    core::SendLine(messageText);
    if (shell.autoQuit) shell.quit = 1;
}

void CommandCpuTime(char** words, int count) {
    if (count > 1) {
        if (std::strcmp(words[1], "on") == 0) core::platform.cpuTime = 1;
        else if (std::strcmp(words[1], "off") == 0) core::platform.cpuTime = 0;
    }
    core::SendInfoString(core::platform.cpuTime ? "cputime is on" : "cputime is off");
}

// After a search: the position (and go) held back while it ran.
void RunHeldCommands() {
    static char line[LineSize + 16];
    while (positionPending && !shell.quit) {
        positionPending = false;
        std::snprintf(line, sizeof line, "position %s", pendingPosition);
        Interpret(line);
        if (!goPending) break;
        goPending = false;
        std::snprintf(line, sizeof line, "go %s", pendingGo);
        char* words[MaxWords + 1];
        words[0] = line;
        char* rest = line + 2;
        *rest++ = 0;
        int count = 1 + SplitWords(rest, words + 1);
        CommandGo(words, count);
    }
}

}  // namespace

void MoveTextWithBlank(char* buffer, board::Move move) {
    buffer[0] = ' ';
    if (!move) {
        std::strcpy(buffer + 1, "0000");
        return;
    }
    board::WriteMoveText(buffer + 1, move);
}

StrengthBudget StrengthNodeBudget(int elo, uint32_t random) {
    int64_t n = int64_t(std::pow(2.0, (elo - 1000) / 100.0) * 10.0);
    int64_t d = int64_t(int32_t(random));
    if (d < 0) d = -d;
    int64_t lo = (3 * n) / 4;
    int64_t hi = n - lo;
    if (hi <= 2) {
        lo = n - 3;
        hi = 3;
    }
    int64_t interval = -1;
    if (d & 1) {
        int64_t m = int64_t(double(n) * (double(n) / double(hi)));
        if (m != n && m > n) n = n + d % (m - n);
    } else {
        if (lo > 0) n = n - d % lo;
        if (n <= 2) {
            n = 3;
            interval = 1;
        }
    }
    if (interval < 0) interval = n / 50 + 1;
    return {int32_t(n), int32_t(interval)};
}

int ParseGo(char** words, int count) {
    using search::limits;
    search::searchMoves[0] = 0;
    limits.nodeLimit = 0;
    search::pollSchedule.pollIntervalFast = search::pollSchedule.pollIntervalSlow / 4;

    enum {
        BitPonder = 1, BitInfinite = 2, BitOwnTime = 4, BitInc = 8, BitMovesToGo = 16,
        BitDepth = 32, BitMoveTime = 64, BitNodes = 128, BitMate = 256, BitSearchMoves = 512
    };
    int bits = 0;
    int32_t ownTime = 0, ownInc = 0, movesToGo = 0, depth = 0, moveTime = 0, nodes = 0;
    int searchMoveCount = 0;
    int side = GameSide();
    static const char* const ValueWords[] = {"wtime", "btime", "winc", "binc", "movestogo",
                                             "depth", "movetime", "nodes", "mate"};

    for (int i = 0; i < count; i++) {
        const char* w = words[i];
        if (std::strcmp(w, "ponder") == 0) { bits |= BitPonder; continue; }
        if (std::strcmp(w, "infinite") == 0) { bits |= BitInfinite; continue; }
        if (std::strcmp(w, "searchmoves") == 0) { bits |= BitSearchMoves; continue; }
        int valueWord = -1;
        for (int k = 0; k < 9; k++)
            if (std::strcmp(w, ValueWords[k]) == 0) valueWord = k;
        if (valueWord >= 0) {
            if (i + 1 >= count) break;  // a keyword without its value ends the reading
            int32_t v = ReadNumber(words[++i]);
            switch (valueWord) {
                case 0: case 1:
                    if (valueWord == side) { ownTime = v; bits |= BitOwnTime; }
                    break;
                case 2: case 3:
                    if (valueWord - 2 == side) { ownInc = v; bits |= BitInc; }
                    break;
                case 4: movesToGo = v; bits |= BitMovesToGo; break;
                case 5: depth = v; bits |= BitDepth; break;
                case 6: moveTime = v; bits |= BitMoveTime; break;
                case 7: nodes = v; bits |= BitNodes; break;
                case 8: bits |= BitMate; break;
            }
            continue;
        }
        if (bits & BitSearchMoves) {
            board::Move move = LegalGameMove(w);
            if (move && searchMoveCount < search::MaxSearchMoves) {
                search::searchMoves[searchMoveCount++] = move;
                search::searchMoves[searchMoveCount] = 0;
            }
        }
    }

    if (bits & BitInfinite) {
        search::SetLevel(1, 99);
    } else if (bits & BitMoveTime) {
        search::SetLevel(0, moveTime);
        if (bits & BitDepth) limits.depthLimit = depth;
    } else if (bits & BitDepth) {
        search::SetLevel(1, depth);
    } else if (bits & BitNodes) {
        int64_t interval = int64_t(nodes) / 50 + 1;
        if (interval < search::pollSchedule.pollIntervalFast) search::pollSchedule.pollIntervalFast = interval;
        limits.nodeLimit = nodes;
        search::SetLevel(1, 98);
    } else if (bits & BitMate) {
        search::SetLevel(1, 99);
    } else if (bits & BitOwnTime) {
        if (bits & BitMovesToGo) {
            limits.movesToGo = movesToGo;
            limits.clockTime = ownTime;
            limits.clockInc = (bits & BitInc) ? ownInc : 0;
            search::SetLevel(2, 0);
        } else {
            limits.suddenTime = ownTime;
            limits.suddenInc = (bits & BitInc) ? ownInc : 0;
            limits.suddenTime2 = ownTime;
            search::SetLevel(3, 0);
        }
    }
    limits.infinite = (bits & (BitInfinite | BitMate)) ? 1 : 0;
    return (bits & BitPonder) ? 1 : 0;
}

int Interpret(char* line) {
    char* p = line;
    while (*p == ' ') p++;
    if (!*p) return 0;
    char* command = p;
    while (*p && *p != ' ') p++;
    char* rest = p;
    if (*p) *p = 0, rest = p + 1;

    if (std::strcmp(command, "stop") == 0) {
        search::stopFlag = 1;
        return 1;
    }
    if (std::strcmp(command, "isready") == 0) {
        CommandIsReady();
        return 1;
    }
    if (std::strcmp(command, "uci") == 0) {
        DeclareOptions();
        return 1;
    }
    if (std::strcmp(command, "setoption") == 0) {
        if (search::searchState == search::Idle) SetOption(rest);
        return 1;
    }
    if (search::searchState != search::Idle) {
        if (std::strcmp(command, "position") == 0) {
            Hold(pendingPosition, rest);
            positionPending = true;
            goPending = false;
            return 1;
        }
        if (std::strcmp(command, "go") == 0 && positionPending) {
            Hold(pendingGo, rest);
            goPending = true;
            return 1;
        }
    }

    char* words[MaxWords + 1];
    words[0] = command;
    int count = 1 + SplitWords(rest, words + 1);

    if (std::strcmp(command, "go") == 0) {
        CommandGo(words, count);
        if (search::searchState == search::Idle) RunHeldCommands();
        return 1;
    }
    if (std::strcmp(command, "ponderhit") == 0) {
        search::PonderHit();
        return 1;
    }
    if (std::strcmp(command, "quit") == 0) {
        if (search::searchState != search::Idle) search::stopFlag = 1;
        shell.quit = 1;
        return 1;
    }
    if (std::strcmp(command, "ucinewgame") == 0) {
        book::ForgetProtectedEntries();
        return 1;
    }
    if (std::strcmp(command, "debug") == 0) {
        if (count > 1 && std::strcmp(words[1], "on") == 0) shell.debug = 1;
        else if (count > 1 && std::strcmp(words[1], "off") == 0) shell.debug = 0;
        return 1;
    }
    if (std::strcmp(command, "cputime") == 0) {
        CommandCpuTime(words, count);
        return 1;
    }
    if (std::strcmp(command, "autoquit") == 0) {
        shell.autoQuit = 1;
        core::SendInfoString("AutoQuit switched on");
        return 1;
    }
    if (std::strcmp(command, "position") == 0) {
        CommandPosition(words, count);
        return 1;
    }
    return 0;
}

}  // namespace engine
