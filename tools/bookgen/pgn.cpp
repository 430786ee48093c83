// PGN tokenizer, SAN move reader and game replay used by the book tools.
#include "bookgen/pgn.h"

#include <cctype>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book.h"

namespace book {

namespace {

int Get(PgnSource& s) {
    int c;
    if (s.pushed != -2) {
        c = s.pushed;
        s.pushed = -2;
    } else if (s.text) {
        c = s.text[s.at] ? (unsigned char)s.text[s.at++] : EOF;
    } else {
        c = std::fgetc(s.file);
    }
    if (c == '\n') s.line++;
    s.lastChar = c;
    return c;
}

void Unget(PgnSource& s, int c) {
    if (c == '\n') s.line--;
    s.pushed = c;
}

void SkipToLineEnd(PgnSource& s) {
    int c;
    while ((c = Get(s)) != EOF && c != '\n') {
    }
}

// Reads "[Name "value"]" after the opening bracket.
void ReadTag(PgnSource& s, PgnGame& game) {
    std::string name, value;
    int c;
    while ((c = Get(s)) != EOF && c != '"' && c != ']' && c != '\n')
        if (!std::isspace(c)) name += char(c);
    if (c == '"') {
        while ((c = Get(s)) != EOF && c != '"' && c != '\n') {
            if (c == '\\') {
                c = Get(s);
                if (c == EOF || c == '\n') break;
            }
            value += char(c);
        }
        while (c != EOF && c != ']' && c != '\n') c = Get(s);
    }
    if (name == "Result") {
        if (value == "1-0") game.result = WhiteWins;
        else if (value == "0-1") game.result = BlackWins;
        else if (value == "1/2-1/2") game.result = Drawn;
    } else if (name == "FEN") {
        game.fen = value;
    }
}

int ResultOfToken(const std::string& token) {
    if (token == "1-0") return WhiteWins;
    if (token == "0-1") return BlackWins;
    if (token == "1/2-1/2") return Drawn;
    if (token == "*") return UnknownResult;
    return -9;
}

// Strips move numbers ("12." / "12...") and annotation marks from a token.
std::string MoveOfToken(const std::string& token) {
    size_t i = 0;
    while (i < token.size() && std::isdigit((unsigned char)token[i])) i++;
    if (i > 0 && i < token.size() && token[i] == '.') {
        while (i < token.size() && token[i] == '.') i++;
    } else if (i == token.size()) {
        return "";  // a bare number
    } else {
        i = 0;
    }
    while (i < token.size() && token[i] == '.') i++;
    std::string move = token.substr(i);
    while (!move.empty() && std::strchr("!?+#", move.back())) move.pop_back();
    return move;
}

constexpr int MaxVariationDepth = 1000000;

}  // namespace

int ReadPgnGame(PgnSource& s, PgnGame& game) {
    game = PgnGame();
    bool started = false, inMoves = false;
    int variation = 0;
    std::string token;
    for (;;) {
        bool lineStart = s.lastChar == '\n';
        int c = Get(s);
        if (c == EOF) break;
        // A '%' in the first column escapes the whole line.
        if (c == '%' && lineStart) {
            SkipToLineEnd(s);
            continue;
        }
        if (c == '{') {
            while ((c = Get(s)) != EOF && c != '}') {
            }
            continue;
        }
        if (c == ';') {
            SkipToLineEnd(s);
            continue;
        }
        if (c == '(') {
            if (variation < MaxVariationDepth) variation++;
            continue;
        }
        if (c == ')') {
            if (variation > 0) variation--;
            continue;
        }
        if (c == '[' && variation == 0) {
            if (inMoves) {
                // Tags after moves: a game without a result ends here.
                Unget(s, c);
                return 1;
            }
            if (!started) game.line = s.line;
            started = true;
            ReadTag(s, game);
            continue;
        }
        if (std::isspace(c)) continue;
        // A token runs to the next blank or delimiter.
        token.clear();
        token += char(c);
        while ((c = Get(s)) != EOF && !std::isspace(c) && !std::strchr("{}()[];", c)) token += char(c);
        if (c != EOF) Unget(s, c);
        if (variation > 0) continue;
        if (token[0] == '$') continue;  // NAG
        if (!started) game.line = s.line;
        started = true;
        int result = ResultOfToken(token);
        if (result != -9) {
            if (game.result == UnknownResult) game.result = result;
            return 1;
        }
        std::string move = MoveOfToken(token);
        if (move.empty()) continue;
        inMoves = true;
        game.moves.push_back(move);
    }
    return started ? 1 : 0;
}

board::Move SanToMove(board::Tree& tree, board::NodeRecord* node, const char* sanText) {
    char san[16];
    size_t len = 0;
    for (const char* p = sanText; *p && len + 1 < sizeof san; p++)
        if (!std::strchr("x+#!?:-=", *p) || ((*p == '-') && (sanText[0] == 'O' || sanText[0] == '0')))
            san[len++] = *p;
    san[len] = 0;
    if (std::strlen(sanText) >= sizeof san) return 0;

    board::Move legal[256];
    int n = board::LegalMoves(tree, node, legal, 256);

    // Castling.
    if (!std::strcmp(san, "O-O") || !std::strcmp(san, "0-0") || !std::strcmp(san, "O-O-O") ||
        !std::strcmp(san, "0-0-0")) {
        bool queenSide = len == 5;
        for (int i = 0; i < n; i++) {
            board::Move m = legal[i];
            if (!(m & board::MoveCastle)) continue;
            if ((board::MoveTo(m) < board::MoveFrom(m)) == queenSide) return m;
        }
        return 0;
    }

    // Piece letter, optional disambiguation, destination, optional promotion.
    int kind = 2;  // pawn
    size_t at = 0;
    const char* letters = "KPNXBRQ";
    if (len > 0 && std::strchr("KNBRQ", san[0])) {
        kind = int(std::strchr(letters, san[0]) - letters) + 1;
        at = 1;
    }
    int promotion = 0;
    if (len >= 3 && std::strchr("NBRQnbrq", san[len - 1]) && std::isdigit((unsigned char)san[len - 2])) {
        promotion = int(std::strchr(letters, std::toupper((unsigned char)san[len - 1])) - letters) + 1;
        len--;
    }
    if (len < at + 2) return 0;
    char fileChar = san[len - 2], rankChar = san[len - 1];
    if (fileChar < 'a' || fileChar > 'h' || rankChar < '1' || rankChar > '8') return 0;
    int to = board::SquareAt(fileChar - 'a' + 1, rankChar - '0');
    int fromFile = 0, fromRank = 0;
    for (size_t i = at; i + 2 < len; i++) {
        if (san[i] >= 'a' && san[i] <= 'h') fromFile = san[i] - 'a' + 1;
        else if (san[i] >= '1' && san[i] <= '8') fromRank = san[i] - '0';
        else return 0;
    }

    board::Move found = 0;
    for (int i = 0; i < n; i++) {
        board::Move m = legal[i];
        if ((board::MovePiece(m) & 7) != kind || board::MoveTo(m) != to) continue;
        if (m & board::MoveCastle) continue;
        if ((board::MovePromotion(m) & 7) != promotion) continue;
        if (fromFile && board::FileOf(board::MoveFrom(m)) != fromFile) continue;
        if (fromRank && board::RankOf(board::MoveFrom(m)) != fromRank) continue;
        if (found) return 0;  // ambiguous
        found = m;
    }
    return found;
}

int ReplayGame(board::Tree& tree, const PgnGame& game, int maxPlies, std::vector<GamePly>& plies,
               std::string& error) {
    plies.clear();
    board::GameRecord record;
    if (game.fen.empty()) {
        board::SetStartPosition(record);
    } else if (!board::ReadFen(game.fen.c_str(), record)) {
        error = "bad FEN";
        return 0;
    }
    board::StartGame(record);
    int count = int(game.moves.size());
    if (count > maxPlies) count = maxPlies;
    for (int i = 0; i < count; i++) {
        board::CopyGameBoard(record, tree);
        board::SetUpTree(tree);
        board::NodeRecord* root = board::SetUpSearchNodes(tree, record);
        board::Move move = SanToMove(tree, root, game.moves[size_t(i)].c_str());
        if (!move) {
            error = "illegal or unreadable move " + std::to_string(i / 2 + 1) + (i % 2 ? "... " : ". ") +
                    game.moves[size_t(i)];
            return 0;
        }
        plies.push_back({PositionKey(root), root->side, move});
        board::PlayGameMove(record, move);
    }
    return 1;
}

board::Tree& ToolTree() {
    static board::Tree* tree = new board::Tree();
    return *tree;
}

}  // namespace book
