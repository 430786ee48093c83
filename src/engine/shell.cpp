#include "engine/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "book/hooks.h"
#include "board/movegen.h"
#include "board/position.h"
#include "engine/gamemove.h"
#include "engine/options.h"
#include "engine/platform.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/tt.h"


namespace engine {

namespace {

constexpr int StartHashKilobytes = 4096;

// Runs one interpreter line from a constant text (the interpreter edits it).
void RunLine(const char* text) {
    char line[4096];
    std::snprintf(line, sizeof line, "%s", text);
    Interpret(line);
}

void CalibrateSpeed() {
    int32_t first = Now();
    while (Now() == first) {
    }
    int32_t count = 1;
    while (Now() <= first + 1000) {
        eval::CalibrationWorkload();
        eval::CalibrationWorkload();
        count++;
    }
    shell.calibration = count;
}

void SetPollIntervals() {
    shell.pollIntervalSlow = int64_t(25) * shell.calibration;
    shell.pollIntervalFast = shell.pollIntervalSlow / 4;
}

int32_t ReadDecimal(const char* text) {
    int64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (*text++ - '0');
        if (value > 100000000) break;  // far beyond any machine's count
    }
    return int32_t(value);
}

int AnalysisMode(int argc, char** argv) {
    // The FEN comes with commas for spaces, after the letters "fen".
    static char fenText[4096];
    std::snprintf(fenText, sizeof fenText, "%s", argv[2] + 3);
    for (char* p = fenText; *p; p++)
        if (*p == ',') *p = ' ';

    shell.commandLineMode = 1;
    RunLine("uci");
    RunLine("setoption name OwnBook value false");
    RunLine("setoption name Position Learning value false");
    RunLine("isready");
    static char positionLine[4200];
    std::snprintf(positionLine, sizeof positionLine, "position fen %s", fenText);
    Interpret(positionLine);

    const char* third = argv[3];
    int32_t value = ReadDecimal(third + (third[0] ? 1 : 0));
    char goLine[128];
    if (third[0] == 'd') {
        std::snprintf(goLine, sizeof goLine, "go depth %d", value);
        if (argc > 4 && std::strncmp(argv[4], "eval", 4) == 0) shell.evalPrint = 1;
    } else if (argc == 4) {
        std::snprintf(goLine, sizeof goLine, "go movetime %d", value);
    } else if (argv[4][0] == 'd') {
        std::snprintf(goLine, sizeof goLine, "go movetime %d depth %d", value,
                      ReadDecimal(argv[4] + 1));
        if (argc > 5 && std::strncmp(argv[5], "eval", 4) == 0) shell.evalPrint = 1;
    } else {
        std::snprintf(goLine, sizeof goLine, "go movetime %d", value);
        if (std::strncmp(argv[4], "eval", 4) == 0) shell.evalPrint = 1;
    }
    Interpret(goLine);
    ReleaseAll();
    return 0;
}

}  // namespace

int StartUp(int hashKilobytes) {
    // 1. Unbuffered input: no byte may hide in a library buffer from the poll.
    std::setbuf(stdin, nullptr);

    // 2. Every process starts at another point of the random sequence.
    RandomSeed(1);
    int draws = int((std::time(nullptr) + 1) % 1000) + 1;
    for (int i = 0; i < draws; i++) RandomNext();

    // 3. The search board and its three tables.
    board::MainTree = new (std::nothrow) board::Tree();
    if (!board::MainTree || !search::AllocateBoardTables(*board::MainTree)) {
        SendInfoString("Not enough memory for Hash");
        ExitProcess(255);
    }

    // 4. Geometry and evaluation tables.
    board::InitBoardTables();
    eval::InitEvalTables();

    // 5. Hash tables: four fifths for the search, the rest for the evaluation.
    int searchShare, evalShare;
    search::SplitKilobytes(hashKilobytes, searchShare, evalShare);
    if (!search::AllocateSearchTables(searchShare) || !search::AllocateEvalTables(evalShare))
        return -1;

    // 6. Everything starts cleared.
    search::ClearAllTables(*board::MainTree);

    // 7. Clock fields of the limits.
    search::limits.clockTime = 0;
    search::limits.clockInc = 0;
    search::limits.suddenInc = 0;

    // 8. Nodes between clock checks, unless given on the command line.
    if (shell.calibration == 0) CalibrateSpeed();
    SetPollIntervals();

    // 9. Position learning.
    book::LoadLearning();

    // 10. A go without limits searches three plies.
    search::SetLevel(1, 3);

    // 11. The initial position.
    board::SetStartPosition(board::Game);
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, *board::MainTree);
    board::SetUpTree(*board::MainTree);

    // 12. Idle.
    search::searchState = search::Idle;
    return hashKilobytes;
}

void ReleaseAll() {
    std::vector<board::GameState>().swap(board::Game.states);
    std::vector<uint32_t>().swap(board::Game.keys);
    search::FreeHashTables();
    if (board::MainTree) {
        search::FreeBoardTables(*board::MainTree);
        delete board::MainTree;
        board::MainTree = nullptr;
    }
    ReleaseGameMoveBoard();
    FreeOptionTexts();
}

int Main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "cs", 2) == 0) shell.calibration = ReadDecimal(argv[1] + 2);
    if (shell.calibration < 0) shell.calibration = 0;

    if (StartUp(StartHashKilobytes) < 0) {
        // Without its tables the engine cannot play: say so and fail.
        SendInfoString("Not enough memory for Hash");
        ReleaseAll();
        return 1;
    }

    if (argc > 3 && std::strncmp(argv[2], "fen", 3) == 0) return AnalysisMode(argc, argv);

    // Main loop.
    shell.quit = 0;
    for (;;) {
        if (!InputPending()) {
            SleepMs(10);
            if (shell.quit) break;
            continue;
        }
        ReadAndDispatch();
        if (shell.quit) break;
    }
    if (shell.debug) SendInfoString("ready!");
    ReleaseAll();
    return 0;
}

}  // namespace engine
