// The tuner's position file and the rules that end a self-play game.
#include "tune/data.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace tune {

std::string WriteFen(const board::GameRecord& game) {
    std::string fen;
    for (int rank = 8; rank >= 1; rank--) {
        int empty = 0;
        for (int file = 1; file <= 8; file++) {
            const int code = game.board[board::SquareAt(file, rank)];
            if (!code) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            static const char Letters[] = "?kpn?brq";
            const char c = Letters[code & 7];
            fen += board::ColourOf(code) ? c : char(c - 'a' + 'A');
        }
        if (empty) fen += char('0' + empty);
        if (rank > 1) fen += '/';
    }
    const board::GameState& s = game.states.back();
    fen += s.side ? " b " : " w ";
    std::string castle;
    if (s.flags & board::WhiteKingSide) castle += 'K';
    if (s.flags & board::WhiteQueenSide) castle += 'Q';
    if (s.flags & board::BlackKingSide) castle += 'k';
    if (s.flags & board::BlackQueenSide) castle += 'q';
    fen += castle.empty() ? "-" : castle;
    fen += ' ';
    const int ep = int(s.flags & board::EpMask);
    fen += ep ? board::SquareNames[ep] : "-";
    fen += " 0 1";
    return fen;
}

bool ParseLine(const char* line, Sample& out) {
    const char* semi = std::strchr(line, ';');
    if (!semi || semi == line) return false;
    char* end = nullptr;
    const double r = std::strtod(semi + 1, &end);
    if (end == semi + 1 || !(r == 0 || r == 0.5 || r == 1)) return false;
    double e = -1;
    if (*end == ';') {
        const char* from = end + 1;
        e = std::strtod(from, &end);
        if (end == from || !(e >= 0 && e <= 1)) return false;
    }
    while (*end == ' ' || *end == '\t') end++;
    if (*end) return false;
    out.fen.assign(line, size_t(semi - line));
    out.result = float(r);
    out.expected = float(e);
    return true;
}

bool InfoVerdict(const std::string& line, double& expected, bool& bound) {
    if (line.compare(0, 5, "info ") != 0) return false;
    bound = line.find(" lowerbound") != std::string::npos || line.find(" upperbound") != std::string::npos;
    const size_t wdl = line.find(" wdl ");
    if (wdl != std::string::npos) {
        long w = 0, d = 0, l = 0;
        if (std::sscanf(line.c_str() + wdl + 5, "%ld %ld %ld", &w, &d, &l) != 3 || w < 0 || d < 0 || l < 0 ||
            w + d + l == 0)
            return false;
        expected = (double(w) + 0.5 * double(d)) / double(w + d + l);
        return true;
    }
    const size_t mate = line.find(" score mate ");
    if (mate == std::string::npos) return false;
    // "mate 0" is the side to move mated.
    expected = std::atoi(line.c_str() + mate + 12) > 0 ? 1 : 0;
    return true;
}

int Referee::LegalMoves(board::Move* out, int capacity) {
    board::CopyGameBoard(board::Game, *tree);
    board::SetUpTree(*tree);
    board::NodeRecord* root = board::SetUpSearchNodes(*tree, board::Game);
    return board::LegalMoves(*tree, root, out, capacity);
}

bool Referee::InCheck() {
    board::CopyGameBoard(board::Game, *tree);
    board::SetUpTree(*tree);
    return board::InCheck(*tree, board::Game.states.back().side) != 0;
}

namespace {
uint32_t PositionKey() {
    uint32_t key[2];
    board::ComputeKey(board::Game.board, key);
    const board::GameState& s = board::Game.states.back();
    return key[1] ^ (s.side ? 0x9e3779b9u : 0) ^ (s.flags & board::CastleMask);
}
}  // namespace

void Referee::Start() {
    keys.assign(1, PositionKey());
}

void Referee::Played(board::Move move) {
    if (board::IsIrreversible(move)) keys.clear();
    keys.push_back(PositionKey());
}

bool Referee::Repeated() const {
    int count = 0;
    for (size_t i = 0; i + 1 < keys.size(); i++) count += keys[i] == keys.back();
    return count >= 2;
}

bool Referee::DeadDraw() const {
    int minors = 0;
    for (int sq = 1; sq <= 64; sq++) {
        const int code = board::Game.board[sq];
        if (!code || board::IsKing(code)) continue;
        if ((code & 7) == 3 || (code & 7) == 5) minors++;
        else return false;
    }
    return minors <= 1;
}

}  // namespace tune
