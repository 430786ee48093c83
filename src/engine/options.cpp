#include "engine/options.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "bitbases/hooks.h"
#include "board/position.h"
#include "book/hooks.h"
#include "core/platform.h"
#include "core/settings.h"
#include "engine/shell.h"
#include "eval/cache.h"
#include "search/limits.h"
#include "search/tt.h"

namespace engine {

namespace {

constexpr int WeightMin = 25, WeightMax = 400;
constexpr int EloMin = 850, EloMax = 2400;
constexpr const char* EmptyText = "<empty>";
constexpr const char* AboutText = "Kestrion 3 by Vastel, https://kestrion-chess.org";

OptionOutput outputSink = nullptr;

void Send(const char* text) {
    if (outputSink)
        outputSink(text);
    else
        core::SendLine(text);
}

bool SameIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// Decimal integer as atoi reads it (a non-number is 0), saturating instead of
// overflowing.
int ReadInteger(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        v = v * 10 + (*text - '0');
        if (v > INT_MAX) {
            v = INT_MAX;
            break;
        }
    }
    return int(negative ? -v : v);
}

// ---------------------------------------------------------------------------
// Effects of the options that do more than store a value

void ClearHash(const char*) {
    if (board::MainTree) {
        search::ClearAllTables(*board::MainTree);
    } else {
        search::ClearSearchTables();
        eval::ClearEvalTables();
    }
}

void ClearLearning(const char*) { book::ClearPositionLearning(); }

// Protected entries point into the search tables: new tables make them dangle.
void SetHash(const char* value) {
    if (search::SetHashSize(ReadInteger(value))) book::ForgetAll();
}

void SetPositionValue(const char* value) {
    if (!SameIgnoringCase(value, EmptyText)) book::SetPositionValue(value);
}

void SetBitbasePath(const char* value) {
    if (SameIgnoringCase(value, EmptyText)) {
        core::settings.bitbasePath[0] = 0;
    } else {
        if (std::strlen(value) > size_t(MaxBitbasePath)) return;
        std::strcpy(core::settings.bitbasePath, value);
    }
    shell.bitbasesLoaded = 1;
    bitbases::LoadBitbases(1);
}

void SetNalimovPath(const char* value) {
    if (SameIgnoringCase(value, EmptyText)) {
        std::strcpy(core::settings.nalimovPath, EmptyText);
    } else {
        if (std::strlen(value) > size_t(MaxNalimovPath)) return;
        std::strcpy(core::settings.nalimovPath, value);
    }
    shell.tablebaseReopen = 1;
}

void SetNalimovCache(const char* value) {
    int v = ReadInteger(value);
    if (v < 1 || v > 256) return;
    core::settings.nalimovCacheMb = v;
    shell.tablebaseReopen = 1;
}

void SetElo(const char* value) {
    int v = ReadInteger(value);
    core::settings.elo = v < EloMin ? EloMin : v > EloMax ? EloMax : v;
}

void SetKeepHash(const char* value) {
    if (SameIgnoringCase(value, "true"))
        core::settings.keepHashSearch = core::settings.keepHashEval = 1;
    else if (SameIgnoringCase(value, "false"))
        core::settings.keepHashSearch = core::settings.keepHashEval = 0;
}


void Ignore(const char*) {}

// ---------------------------------------------------------------------------
// The option table, in the order of the `uci` reply. Start values are the
// settings record's own initialisers; each row says how its default is
// declared to the host.

enum class Kind { Spin, Check, Combo, String, Button };
// The declared default: the start value, the value now (so a host that sends
// `uci` again sees the settings it made), or a fixed text.
enum class Shown { Start, Current, Fixed };

using Field = int core::Settings::*;

struct Choice {
    const char* name;
    int values[4];
};

struct Option {
    const char* name;
    Kind kind;
    Shown shown;
    Field field;                       // Spin and Check
    int min, max;                      // Spin range; Check: max is the value stored for true
    const char* fixed;                 // Shown::Fixed: the declared default
    void (*apply)(const char* value);  // instead of the plain store
    const Field* fields;               // Combo: the settings a choice sets
    int width;                         // Combo: how many
    const Choice* choices;             // Combo: ended by a null name
    bool hidden;                       // accepted, never declared
};

const core::Settings Start{};

const Field BitbaseFields[] = {&core::Settings::bitbaseUse, &core::Settings::bitbaseMargin,
                               &core::Settings::bitbaseLikeTb, &core::Settings::bitbaseAlways};
// on, depth margin, margin follows tablebases, always
const Choice BitbaseChoices[] = {{"Never", {0, 0, 0, 0}},
                                 {"LikeTB", {1, 0, 1, 0}},
                                 {"Normal", {1, -99, 0, 0}},
                                 {"Always", {1, -99, 0, 1}},
                                 {nullptr, {}}};
const Field TablebaseFields[] = {&core::Settings::tablebaseMargin, &core::Settings::tablebaseHitLimit,
                                 &core::Settings::tablebaseUse};
// start depth margin, hit-rate limit, on
const Choice TablebaseChoices[] = {{"Never", {0, 30, 0, 0}},
                                   {"Late", {5, 20, 1, 0}},
                                   {"Normal", {0, 30, 1, 0}},
                                   {"Early", {-5, 40, 1, 0}},
                                   {nullptr, {}}};

constexpr Option Spin(const char* name, Field field, int min, int max, Shown shown = Shown::Start) {
    return {name, Kind::Spin, shown, field, min, max, nullptr, nullptr, nullptr, 0, nullptr, false};
}
constexpr Option Weight(const char* name, Field field) {
    return Spin(name, field, WeightMin, WeightMax, Shown::Current);
}
constexpr Option Check(const char* name, Field field, int trueValue = 1, Shown shown = Shown::Start) {
    return {name, Kind::Check, shown, field, 0, trueValue, nullptr, nullptr, nullptr, 0, nullptr, false};
}
constexpr Option Hidden(const char* name, Field field) {
    return {name, Kind::Check, Shown::Start, field, 0, 1, nullptr, nullptr, nullptr, 0, nullptr, true};
}
constexpr Option Text(const char* name, void (*apply)(const char*), Shown shown, const char* fixed) {
    return {name, Kind::String, shown, nullptr, 0, 0, fixed, apply, nullptr, 0, nullptr, false};
}
constexpr Option Button(const char* name, void (*apply)(const char*)) {
    return {name, Kind::Button, Shown::Fixed, nullptr, 0, 0, nullptr, apply, nullptr, 0, nullptr, false};
}
constexpr Option Combo(const char* name, const Field* fields, int width, const Choice* choices) {
    return {name, Kind::Combo, Shown::Start, nullptr, 0, 0, nullptr, nullptr, fields, width, choices, false};
}
// A spin with its own rule for the value.
constexpr Option SpinBy(const char* name, void (*apply)(const char*), Field field, int min, int max,
                        const char* fixed = nullptr) {
    return {name, Kind::Spin, fixed ? Shown::Fixed : Shown::Start, field, min, max, fixed, apply,
            nullptr, 0, nullptr, false};
}

const Option Options[] = {
    SpinBy("Hash", SetHash, nullptr, search::MinHashMegabytes, search::MaxHashMegabytes, "64"),
    Text("NalimovPath", SetNalimovPath, Shown::Fixed, EmptyText),
    SpinBy("NalimovCache", SetNalimovCache, &core::Settings::nalimovCacheMb, 1, 256),
    Check("OwnBook", &core::Settings::ownBook, 3),
    Check("Ponder", &core::Settings::ponder),
    Spin("MultiPV", &core::Settings::multiPv, 1, 20),
    Text("UCI_EngineAbout", Ignore, Shown::Fixed, AboutText),
    Check("UCI_Chess960", &core::Settings::chess960),
    Check("UCI_AnalyseMode", &core::Settings::analyseMode),
    Check("UCI_ShowCurrLine", &core::Settings::showCurrLine),
    Check("UCI_ShowRefutations", &core::Settings::showRefutations),
    Check("UCI_LimitStrength", &core::Settings::limitStrength),
    SpinBy("UCI_Elo", SetElo, &core::Settings::elo, EloMin, EloMax),
    Text("UCI_SetPositionValue", SetPositionValue, Shown::Fixed, EmptyText),
    Text("UCI_KestrionbasesPath", SetBitbasePath, Shown::Current, nullptr),
    {"Keep Hash Tables", Kind::Check, Shown::Start, &core::Settings::keepHashSearch, 0, 1, nullptr,
     SetKeepHash, nullptr, 0, nullptr, false},
    Check("Position Learning", &core::Settings::positionLearning),
    Check("Prefer Open Positions", &core::Settings::preferOpen),
    Check("Use Opening Advice", &core::Settings::openingAdvice, 1, Shown::Current),
    Combo("Use Kestrionbases", BitbaseFields, 4, BitbaseChoices),
    Combo("Use Tablebases", TablebaseFields, 3, TablebaseChoices),
    Weight("Queen", &core::Settings::queen),
    Weight("Queen (Endgame)", &core::Settings::queenEnd),
    Weight("Rook", &core::Settings::rook),
    Weight("Rook (Endgame)", &core::Settings::rookEnd),
    Weight("Bishop", &core::Settings::bishop),
    Weight("Bishop (Endgame)", &core::Settings::bishopEnd),
    Weight("Knight", &core::Settings::knight),
    Weight("Knight (Endgame)", &core::Settings::knightEnd),
    Weight("Pawn", &core::Settings::pawn),
    Weight("Pawn (Endgame)", &core::Settings::pawnEnd),
    // The host is always told 0 here, whatever score was set.
    {"Draw Score", Kind::Spin, Shown::Fixed, &core::Settings::drawScore, -300, 300, "0", nullptr, nullptr,
     0, nullptr, false},
    Button("Clear Hash", ClearHash),
    Button("Clear PosLearning", ClearLearning),
    Weight("King Safety", &core::Settings::kingSafety),
    Weight("Center Control", &core::Settings::centerControl),
    Weight("Pawn Structure", &core::Settings::pawnStructure),
    Weight("Pawn Structure (Endgame)", &core::Settings::pawnStructureEnd),
    Weight("Passed Pawns", &core::Settings::passedPawns),
    Weight("Passed Pawns (Endgame)", &core::Settings::passedPawnsEnd),
    Weight("Bishop Pair", &core::Settings::bishopPair),
    Weight("Bishop Pair (Endgame)", &core::Settings::bishopPairEnd),
    Spin("Time Usage", &core::Settings::timeUsage, WeightMin, WeightMax, Shown::Current),
    Spin("Knowledge or Speed", &core::Settings::knowledgeOrSpeed, -500, 500, Shown::Current),
    Hidden("test1", &core::Settings::test1),
    Hidden("test2", &core::Settings::test2),
    Hidden("test3", &core::Settings::test3),
};

void Apply(const Option& o, const char* value) {
    if (o.apply) {
        o.apply(value);
        return;
    }
    switch (o.kind) {
    case Kind::Spin: {
        int v = ReadInteger(value);
        if (v >= o.min && v <= o.max) core::settings.*o.field = v;
        break;
    }
    case Kind::Check:
        if (SameIgnoringCase(value, "true"))
            core::settings.*o.field = o.max;
        else if (SameIgnoringCase(value, "false"))
            core::settings.*o.field = 0;
        break;
    case Kind::Combo:
        // Combo values are compared exactly, case included.
        for (const Choice* c = o.choices; c->name; c++)
            if (std::strcmp(value, c->name) == 0) {
                for (int i = 0; i < o.width; i++) core::settings.*o.fields[i] = c->values[i];
                return;
            }
        break;
    case Kind::String:
    case Kind::Button:
        break;
    }
}

// The declaration line of one option.
void Declare(const Option& o, char* line, size_t size) {
    const core::Settings& from = o.shown == Shown::Current ? core::settings : Start;
    int n = std::snprintf(line, size, "option name %s type ", o.name);
    if (n < 0 || size_t(n) >= size) return;
    char* p = line + n;
    size_t room = size - size_t(n);
    switch (o.kind) {
    case Kind::Spin:
        if (o.shown == Shown::Fixed)
            std::snprintf(p, room, "spin min %d max %d default %s\n", o.min, o.max, o.fixed);
        else
            std::snprintf(p, room, "spin min %d max %d default %d\n", o.min, o.max, from.*o.field);
        break;
    case Kind::Check:
        std::snprintf(p, room, "check default %s\n", from.*o.field ? "true" : "false");
        break;
    case Kind::Combo: {
        const char* chosen = "";
        for (const Choice* c = o.choices; c->name; c++) {
            bool same = true;
            for (int i = 0; i < o.width; i++) same = same && from.*o.fields[i] == c->values[i];
            if (same) chosen = c->name;
        }
        int used = std::snprintf(p, room, "combo default %s", chosen);
        for (const Choice* c = o.choices; c->name && used > 0 && size_t(used) < room; c++)
            used += std::snprintf(p + used, room - size_t(used), " var %s", c->name);
        if (used > 0 && size_t(used) < room) std::snprintf(p + used, room - size_t(used), "\n");
        break;
    }
    case Kind::String: {
        const char* text = o.fixed;
        if (o.shown == Shown::Current)
            text = core::settings.bitbasePath[0] ? core::settings.bitbasePath : EmptyText;
        std::snprintf(p, room, "string default %s\n", text);
        break;
    }
    case Kind::Button:
        std::snprintf(p, room, "button\n");
        break;
    }
}


// Appends a word to a name or value, one space apart; 0 when it would not fit.
bool Append(char* target, size_t& length, size_t limit, const char* word, size_t wordLength) {
    size_t extra = wordLength + (length ? 1 : 0);
    if (length + extra > limit) return false;
    if (length) target[length++] = ' ';
    std::memcpy(target + length, word, wordLength);
    length += wordLength;
    target[length] = 0;
    return true;
}

// Next word of the text at p: its start and length, p moved past it; 0 at the end.
size_t NextWord(const char*& p, const char*& word) {
    while (*p == ' ' || *p == '\t') ++p;
    word = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    return size_t(p - word);
}

bool WordIs(const char* word, size_t length, const char* keyword) {
    if (std::strlen(keyword) != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) != keyword[i]) return false;
    return true;
}

}  // namespace

void SetOptionOutput(OptionOutput sink) { outputSink = sink; }

void DeclareOptions() {
    Send("id name Kestrion 3\n");
    Send("id author Vastel\n");
    char line[1024];
    for (const Option& o : Options) {
        if (o.hidden) continue;
        Declare(o, line, sizeof line);
        Send(line);
    }
    Send("uciok\n");
}

void SetOption(char* text) {
    // 1. Nothing changes while a search runs.
    if (search::searchState != search::Idle || !text) return;

    // 2. Collect the name and the value word by word; 3. refuse overlong ones.
    char name[MaxOptionName + 1] = "";
    char value[MaxOptionValue + 1] = "";
    size_t nameLength = 0, valueLength = 0;
    bool inValue = false;
    const char* p = text;
    const char* word;
    size_t length;
    while ((length = NextWord(p, word)) != 0) {
        bool isName = WordIs(word, length, "name");
        if (isName || WordIs(word, length, "value")) {
            if ((length = NextWord(p, word)) == 0) break;
            inValue = !isName;
            if (isName)
                nameLength = 0;
            else
                valueLength = 0;
        }
        bool fits = inValue ? Append(value, valueLength, MaxOptionValue, word, length)
                            : Append(name, nameLength, MaxOptionName, word, length);
        if (!fits) return;
    }

    // 4. No name: nothing. 5. Buttons act only without a value, every other
    // option only with one. 6. The option of that name takes the value.
    if (!nameLength) return;
    for (const Option& o : Options)
        if (SameIgnoringCase(name, o.name)) {
            if ((o.kind == Kind::Button) == (valueLength == 0)) Apply(o, value);
            return;
        }
}

}  // namespace engine
