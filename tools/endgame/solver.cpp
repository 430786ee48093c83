#include "solver.h"

#include <sys/stat.h>

namespace endgame {

namespace {

Link MakeLink(const Table& parent, const Table* child, bool flip, const Table::Conversion& c) {
    Link link;
    link.table = child;
    link.flip = flip;
    if (!child) return link;
    bool used[MaxMen] = {};
    for (int j = 0; j < child->Men(); j++)
        for (int s = 0; s < parent.Men(); s++) {
            PieceType type = s == c.promoter ? c.promo : parent.Type(s);
            if (used[s] || s == c.victim || type != child->Type(j) || (parent.ColourOf(s) ^ flip) != child->ColourOf(j))
                continue;
            used[s] = true;
            link.from[j] = uint8_t(s);
            break;
        }
    return link;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

const Table* Solver::Find(const Material& m) const {
    bool swapped;
    auto it = tables.find(m.Canonical(swapped).Key());
    return it == tables.end() ? nullptr : it->second.get();
}

const Table* Solver::Get(const Material& given, std::string& error) {
    bool swapped;
    Material m = given.Canonical(swapped);
    if (const Table* t = Find(m)) return t;
    std::unique_ptr<Table> t(new Table(m));
    for (const Table::Conversion& c : t->Conversions()) {
        bool flip;
        Material cm = c.material.Canonical(flip);
        const Table* child = nullptr;
        if (cm.Men() > 2 && !(child = Get(cm, error))) return nullptr;
        t->SetLink(c.victim, c.promoter, c.promo, MakeLink(*t, child, flip, c));
    }
    std::string path = options.dir.empty() ? "" : options.dir + "/" + m.Name() + ".egt";
    if (!path.empty() && FileExists(path)) {
        if (!t->Load(path, error)) return nullptr;
    } else {
        if (!SolveTable(*t, options, error)) return nullptr;
        if (!path.empty() && !t->Save(path, error)) return nullptr;
    }
    Table* raw = t.get();
    tables[m.Key()] = std::move(t);
    return raw;
}

bool Solver::Probe(const Position& p, int& score) const {
    if (!IsLegal(p)) return false;
    if (p.count == 2) {
        score = 0;
        return true;
    }
    if (p.ep >= 0) return OnePly(p, score);
    Material m;
    for (int i = 0; i < p.count; i++) m.count[p.colour[i]][p.type[i]]++;
    const Table* t = Find(m);
    uint8_t sq[MaxMen];
    bool flip;
    if (!t || !t->Place(p, sq, flip)) return false;
    uint8_t v = t->Value(Colour(p.stm ^ flip), t->Index(sq));
    if (v == Broken) return false;
    score = ScoreOf(v);
    return true;
}

bool Solver::OnePly(const Position& p, int& score) const {
    Move moves[256];
    int n = GenerateMoves(p, moves);
    if (n == 0) {
        score = Attacked(p, p.KingSquare(p.stm), Colour(p.stm ^ 1)) ? -WinScore : 0;
        return true;
    }
    score = -WinScore;
    for (int i = 0; i < n; i++) {
        int child;
        if (!Probe(MakeMove(p, moves[i]), child)) return false;
        if (Parent(child) > score) score = Parent(child);
    }
    return true;
}

}  // namespace endgame
