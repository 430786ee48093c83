#include "engine/options.h"

#include <cctype>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bitbases/hooks.h"
#include "board/position.h"
#include "book/hooks.h"
#include "engine/platform.h"
#include "engine/settings.h"
#include "search/limits.h"
#include "search/tt.h"

namespace engine {

namespace {

constexpr int WeightMin = 25, WeightMax = 400;
constexpr int EloMin = 850, EloMax = 2400, EloDefault = 1400;
constexpr int MaxOptionTexts = 50;
constexpr const char* EmptyText = "<empty>";

OptionOutput outputSink = nullptr;
char* optionTexts[MaxOptionTexts];
int optionTextCount = 0;

void Send(const char* text) {
    if (outputSink)
        outputSink(text);
    else
        SendLine(text);
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
// Effects

void ClearAllTables() {
    search::ClearSearchTables();
    search::ClearEvalTables();
    if (board::MainTree) {
        search::ClearPawnCache(*board::MainTree);
        search::ClearAuxTable(*board::MainTree);
        search::ClearMaterialTable(*board::MainTree);
    }
}

// Protected entries point into the search tables: new tables make them dangle.
void SetHash(const char* value) {
    const search::SearchEntry* before = search::SearchTables[0][0];
    int kilobytesBefore = search::searchKilobytes;
    search::SetHashSize(ReadInteger(value));
    if (search::SearchTables[0][0] != before || search::searchKilobytes != kilobytesBefore)
        book::ForgetAll();
}

void SetPositionValue(const char* value) {
    if (!SameIgnoringCase(value, EmptyText)) book::SetPositionValue(value);
}

void SetBitbasePath(const char* value) {
    if (SameIgnoringCase(value, EmptyText)) {
        settings.bitbasePath[0] = 0;
    } else {
        if (std::strlen(value) > size_t(MaxBitbasePath)) return;
        std::strcpy(settings.bitbasePath, value);
    }
    settings.bitbasesLoaded = 1;
    bitbases::LoadBitbases(1);
}

void SetNalimovPath(const char* value) {
    if (SameIgnoringCase(value, EmptyText)) {
        std::strcpy(settings.nalimovPath, EmptyText);
    } else {
        if (std::strlen(value) > size_t(MaxNalimovPath)) return;
        std::strcpy(settings.nalimovPath, value);
    }
    settings.tablebaseReopen = 1;
}

void SetNalimovCache(const char* value) {
    int v = ReadInteger(value);
    if (v < 1 || v > 256) return;
    settings.nalimovCacheMb = v;
    settings.tablebaseReopen = 1;
}

void SetElo(const char* value) {
    int v = ReadInteger(value);
    settings.elo = v < EloMin ? EloMin : v > EloMax ? EloMax : v;
}

void SetKeepHash(const char* value) {
    if (SameIgnoringCase(value, "true"))
        settings.keepHashSearch = settings.keepHashEval = 1;
    else if (SameIgnoringCase(value, "false"))
        settings.keepHashSearch = settings.keepHashEval = 0;
}

void SetBitbaseUse(const char* value) {
    // on, depth margin, margin follows tablebases, always
    static const struct { const char* name; int v[4]; } choices[] = {
        {"Never", {0, 0, 0, 0}},
        {"LikeTB", {1, 0, 1, 0}},
        {"Normal", {1, -99, 0, 0}},
        {"Always", {1, -99, 0, 1}},
    };
    for (const auto& c : choices)
        if (std::strcmp(value, c.name) == 0) {
            settings.bitbaseUse = c.v[0];
            settings.bitbaseMargin = c.v[1];
            settings.bitbaseLikeTb = c.v[2];
            settings.bitbaseAlways = c.v[3];
            return;
        }
}

void SetTablebaseUse(const char* value) {
    // start depth margin, hit-rate limit, on
    static const struct { const char* name; int v[3]; } choices[] = {
        {"Never", {0, 30, 0}},
        {"Late", {5, 20, 1}},
        {"Normal", {0, 30, 1}},
        {"Early", {-5, 40, 1}},
    };
    for (const auto& c : choices)
        if (std::strcmp(value, c.name) == 0) {
            settings.tablebaseMargin = c.v[0];
            settings.tablebaseHitLimit = c.v[1];
            settings.tablebaseUse = c.v[2];
            return;
        }
}

void Ignore(const char*) {}

// ---------------------------------------------------------------------------
// The option table in the order names are matched.

enum class Kind { Spin, Check, Action };

struct OptionRule {
    const char* name;
    Kind kind;
    int* field;                    // Spin and Check
    int min, max;                  // Spin range; Check: max is the value stored for true
    void (*action)(const char*);  // Action
};

const OptionRule Rules[] = {
    {"Hash", Kind::Action, nullptr, 0, 0, SetHash},
    {"UCI_SetPositionValue", Kind::Action, nullptr, 0, 0, SetPositionValue},
    {"UCI_KestrionbasesPath", Kind::Action, nullptr, 0, 0, SetBitbasePath},
    {"NalimovPath", Kind::Action, nullptr, 0, 0, SetNalimovPath},
    {"NalimovCache", Kind::Action, nullptr, 0, 0, SetNalimovCache},
    {"Ponder", Kind::Check, &settings.ponder, 0, 1, nullptr},
    {"OwnBook", Kind::Check, &settings.ownBook, 0, 3, nullptr},
    {"UCI_ShowCurrLine", Kind::Check, &settings.showCurrLine, 0, 1, nullptr},
    {"UCI_ShowRefutations", Kind::Check, &settings.showRefutations, 0, 1, nullptr},
    {"UCI_EngineAbout", Kind::Action, nullptr, 0, 0, Ignore},
    {"UCI_Chess960", Kind::Check, &settings.chess960, 0, 1, nullptr},
    {"UCI_AnalyseMode", Kind::Check, &settings.analyseMode, 0, 1, nullptr},
    {"UCI_LimitStrength", Kind::Check, &settings.limitStrength, 0, 1, nullptr},
    {"UCI_Elo", Kind::Action, nullptr, 0, 0, SetElo},
    {"MultiPV", Kind::Spin, &settings.multiPv, 1, 20, nullptr},
    {"Use Kestrionbases", Kind::Action, nullptr, 0, 0, SetBitbaseUse},
    {"Use Tablebases", Kind::Action, nullptr, 0, 0, SetTablebaseUse},
    {"Keep Hash Tables", Kind::Action, nullptr, 0, 0, SetKeepHash},
    {"Position Learning", Kind::Check, &settings.positionLearning, 0, 1, nullptr},
    {"Prefer Open Positions", Kind::Check, &settings.preferOpen, 0, 1, nullptr},
    {"Use Opening Advice", Kind::Check, &settings.openingAdvice, 0, 1, nullptr},
    {"test1", Kind::Check, &settings.test1, 0, 1, nullptr},
    {"test2", Kind::Check, &settings.test2, 0, 1, nullptr},
    {"test3", Kind::Check, &settings.test3, 0, 1, nullptr},
    {"Queen", Kind::Spin, &settings.queen, WeightMin, WeightMax, nullptr},
    {"Rook", Kind::Spin, &settings.rook, WeightMin, WeightMax, nullptr},
    {"Bishop", Kind::Spin, &settings.bishop, WeightMin, WeightMax, nullptr},
    {"Knight", Kind::Spin, &settings.knight, WeightMin, WeightMax, nullptr},
    {"Pawn", Kind::Spin, &settings.pawn, WeightMin, WeightMax, nullptr},
    {"Queen (Endgame)", Kind::Spin, &settings.queenEnd, WeightMin, WeightMax, nullptr},
    {"Rook (Endgame)", Kind::Spin, &settings.rookEnd, WeightMin, WeightMax, nullptr},
    {"Bishop (Endgame)", Kind::Spin, &settings.bishopEnd, WeightMin, WeightMax, nullptr},
    {"Knight (Endgame)", Kind::Spin, &settings.knightEnd, WeightMin, WeightMax, nullptr},
    {"Pawn (Endgame)", Kind::Spin, &settings.pawnEnd, WeightMin, WeightMax, nullptr},
    {"King Safety", Kind::Spin, &settings.kingSafety, WeightMin, WeightMax, nullptr},
    {"Passed Pawns", Kind::Spin, &settings.passedPawns, WeightMin, WeightMax, nullptr},
    {"Passed Pawns (Endgame)", Kind::Spin, &settings.passedPawnsEnd, WeightMin, WeightMax, nullptr},
    {"Pawn Structure", Kind::Spin, &settings.pawnStructure, WeightMin, WeightMax, nullptr},
    {"Pawn Structure (Endgame)", Kind::Spin, &settings.pawnStructureEnd, WeightMin, WeightMax, nullptr},
    {"Center Control", Kind::Spin, &settings.centerControl, WeightMin, WeightMax, nullptr},
    {"Bishop Pair", Kind::Spin, &settings.bishopPair, WeightMin, WeightMax, nullptr},
    {"Bishop Pair (Endgame)", Kind::Spin, &settings.bishopPairEnd, WeightMin, WeightMax, nullptr},
    {"Time Usage", Kind::Spin, &settings.timeUsage, WeightMin, WeightMax, nullptr},
    {"Knowledge or Speed", Kind::Spin, &settings.knowledgeOrSpeed, -500, 500, nullptr},
    {"Draw Score", Kind::Spin, &settings.drawScore, -300, 300, nullptr},
};

void Apply(const OptionRule& rule, const char* value) {
    switch (rule.kind) {
    case Kind::Spin: {
        int v = ReadInteger(value);
        if (v >= rule.min && v <= rule.max) *rule.field = v;
        break;
    }
    case Kind::Check:
        if (SameIgnoringCase(value, "true"))
            *rule.field = rule.max;
        else if (SameIgnoringCase(value, "false"))
            *rule.field = 0;
        break;
    case Kind::Action:
        rule.action(value);
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

// ---------------------------------------------------------------------------
// Declarations

void AddText(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AddText(const char* format, ...) {
    if (optionTextCount >= MaxOptionTexts) return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    size_t length = std::strlen(buffer) + 1;
    char* text = static_cast<char*>(std::malloc(length));
    if (!text) return;
    std::memcpy(text, buffer, length);
    optionTexts[optionTextCount++] = text;
}

void AddWeight(const char* name, int value) {
    AddText("option name %s type spin min %d max %d default %d", name, WeightMin, WeightMax, value);
}

void BuildOptionTexts() {
    FreeOptionTexts();
    const Settings& s = settings;
    AddText("option name Keep Hash Tables type check default true");
    AddText("option name Position Learning type check default true");
    AddText("option name Prefer Open Positions type check default false");
    AddText("option name Use Opening Advice type check default %s", s.openingAdvice ? "true" : "false");
    AddText("option name Use Kestrionbases type combo default Always var Never var LikeTB var Normal "
            "var Always");
    AddText("option name Use Tablebases type combo default Normal var Never var Late var Normal "
            "var Early");
    AddWeight("Queen", s.queen);
    AddWeight("Queen (Endgame)", s.queenEnd);
    AddWeight("Rook", s.rook);
    AddWeight("Rook (Endgame)", s.rookEnd);
    AddWeight("Bishop", s.bishop);
    AddWeight("Bishop (Endgame)", s.bishopEnd);
    AddWeight("Knight", s.knight);
    AddWeight("Knight (Endgame)", s.knightEnd);
    AddWeight("Pawn", s.pawn);
    AddWeight("Pawn (Endgame)", s.pawnEnd);
    // The host is always told 0 here, whatever score was set.
    AddText("option name Draw Score type spin min -300 max 300 default %d", 0);
    AddText("option name Clear Hash type button");
    AddText("option name Clear PosLearning type button");
    AddWeight("King Safety", s.kingSafety);
    AddWeight("Center Control", s.centerControl);
    AddWeight("Pawn Structure", s.pawnStructure);
    AddWeight("Pawn Structure (Endgame)", s.pawnStructureEnd);
    AddWeight("Passed Pawns", s.passedPawns);
    AddWeight("Passed Pawns (Endgame)", s.passedPawnsEnd);
    AddWeight("Bishop Pair", s.bishopPair);
    AddWeight("Bishop Pair (Endgame)", s.bishopPairEnd);
    AddText("option name Time Usage type spin min %d max %d default %d", WeightMin, WeightMax,
            s.timeUsage);
    AddText("option name Knowledge or Speed type spin min %d max %d default %d", -500, 500,
            s.knowledgeOrSpeed);
}

}  // namespace

void SetOptionOutput(OptionOutput sink) { outputSink = sink; }

void DeclareOptions() {
    char line[600];
    Send("id name Kestrion 3\n");
    Send("id author Vastel\n");
    std::snprintf(line, sizeof line, "option name Hash type spin min %d max %d default 64\n",
                  search::MinHashMegabytes, search::MaxHashMegabytes);
    Send(line);
    Send("option name NalimovPath type string default <empty>\n");
    Send("option name NalimovCache type spin min 1 max 256 default 1\n");
    Send("option name OwnBook type check default true\n");
    Send("option name Ponder type check default true\n");
    Send("option name MultiPV type spin min 1 max 20 default 1\n");
    Send("option name UCI_EngineAbout type string default Kestrion 3 by Vastel, "
         "https://kestrion-chess.org\n");
    Send("option name UCI_Chess960 type check default false\n");
    Send("option name UCI_AnalyseMode type check default false\n");
    Send("option name UCI_ShowCurrLine type check default false\n");
    Send("option name UCI_ShowRefutations type check default false\n");
    Send("option name UCI_LimitStrength type check default false\n");
    std::snprintf(line, sizeof line, "option name UCI_Elo type spin min %d max %d default %d\n", EloMin,
                  EloMax, EloDefault);
    Send(line);
    Send("option name UCI_SetPositionValue type string default <empty>\n");
    std::snprintf(line, sizeof line, "option name UCI_KestrionbasesPath type string default %s\n",
                  settings.bitbasePath[0] ? settings.bitbasePath : EmptyText);
    Send(line);
    BuildOptionTexts();
    for (int i = 0; i < optionTextCount; ++i) {
        std::snprintf(line, sizeof line, "%s\n", optionTexts[i]);
        Send(line);
    }
    Send("uciok\n");
}

void FreeOptionTexts() {
    for (int i = 0; i < optionTextCount; ++i) {
        std::free(optionTexts[i]);
        optionTexts[i] = nullptr;
    }
    optionTextCount = 0;
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

    // 4. No name, 5. no value: only the buttons.
    if (!nameLength) return;
    if (!valueLength) {
        if (SameIgnoringCase(name, "Clear Hash"))
            ClearAllTables();
        else if (SameIgnoringCase(name, "Clear PosLearning"))
            book::ClearPositionLearning();
        return;
    }

    // 6. The first option of that name takes the value.
    for (const OptionRule& rule : Rules)
        if (SameIgnoringCase(name, rule.name)) {
            Apply(rule, value);
            return;
        }
}

}  // namespace engine
