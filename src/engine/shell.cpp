#include "engine/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "board/movegen.h"
#include "board/position.h"
#include "book/hooks.h"
#include "core/platform.h"
#include "engine/gamemove.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/state.h"
#include "search/tt.h"
#include "tablebases/tbprobe.h"

namespace engine {

ShellState shell;

namespace {

// Runs one interpreter line from a constant text (the interpreter edits it).
void RunLine(const char* text) {
    char line[4096];
    std::snprintf(line, sizeof line, "%s", text);
    Interpret(line);
}

void CalibrateSpeed() {
    int32_t first = core::Now();
    while (core::Now() == first) {
    }
    int32_t count = 1;
    while (core::Now() <= first + 1000) {
        eval::CalibrationWorkload();
        eval::CalibrationWorkload();
        count++;
    }
    search::pollSchedule.calibration = count;
}

// Every line from the host, read at the prompt or during a search.
void HandleLine(char* line) {
    if (shell.debug) {
        static char echo[4200];
        std::snprintf(echo, sizeof echo, "Kestrion got command %s", line);
        core::SendInfoString(echo);
    }
    Interpret(line);
}

void SetPollIntervals() {
    search::pollSchedule.pollIntervalSlow = int64_t(25) * search::pollSchedule.calibration;
    search::pollSchedule.pollIntervalFast = search::pollSchedule.pollIntervalSlow / 4;
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

    core::platform.commandLineMode = 1;
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

int StartUp(const StartOptions& options) {
    // 0. The layers below reach the shell only through these hooks.
    core::SetLineHandler(HandleLine);
    core::SetReleaseHandler(ReleaseAll);
    InstallReporter();
    book::InstallKnowledge();

    // 1. Unbuffered input: no byte may hide in a library buffer from the poll.
    if (options.interactive) std::setbuf(stdin, nullptr);

    // 2. Every process starts at another point of the random sequence.
    core::RandomSeed(1);
    if (options.interactive) {
        int draws = int((std::time(nullptr) + 1) % 1000) + 1;
        for (int i = 0; i < draws; i++) core::RandomNext();
    }

    // 3. The search board and its three tables.
    board::MainTree = new (std::nothrow) board::Tree();
    if (!board::MainTree || !search::AllocateBoardTables(*board::MainTree)) {
        core::SendInfoString("Not enough memory for Hash");
        core::ExitProcess(255);
    }

    // 4. Geometry and evaluation tables.
    board::InitBoardTables();
    eval::InitEvalTables();

    // 5. Hash tables: four fifths for the search, the rest for the evaluation.
    if (!search::AllocateHash(options.hashKilobytes)) return -1;

    // 6. Everything starts cleared.
    search::ClearAllTables(*board::MainTree);

    // 7. Clock fields of the limits.
    search::limits.clockTime = 0;
    search::limits.clockInc = 0;
    search::limits.suddenInc = 0;

    // 8. Nodes between clock checks, unless given.
    if (options.calibration > 0) search::pollSchedule.calibration = options.calibration;
    if (search::pollSchedule.calibration == 0) CalibrateSpeed();
    SetPollIntervals();

    // 9. Position learning.
    if (options.interactive) book::LoadLearning();

    // 10. A go without limits searches three plies.
    search::SetLevel(1, 3);

    // 11. The initial position.
    board::SetStartPosition(board::Game);
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, *board::MainTree);
    board::SetUpTree(*board::MainTree);

    // 12. Idle.
    search::searchState = search::Idle;
    return options.hashKilobytes;
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
    tablebases::VTbCloseAll();
}

int Main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "cs", 2) == 0)
        search::pollSchedule.calibration = ReadDecimal(argv[1] + 2);

    if (StartUp(StartOptions{}) < 0) {
        // Without its tables the engine cannot play: say so and fail.
        core::SendInfoString("Not enough memory for Hash");
        ReleaseAll();
        return 1;
    }

    if (argc > 3 && std::strncmp(argv[2], "fen", 3) == 0) return AnalysisMode(argc, argv);

    // Main loop.
    shell.quit = 0;
    for (;;) {
        if (!core::InputPending()) {
            core::SleepMs(10);
            if (shell.quit) break;
            continue;
        }
        core::ReadAndDispatch();
        if (shell.quit) break;
    }
    if (shell.debug) core::SendInfoString("ready!");
    ReleaseAll();
    return 0;
}

}  // namespace engine
