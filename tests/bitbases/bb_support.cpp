#include "bb_support.h"

#include <cstring>
#include <sstream>

#include "core/platform.h"
#include "core/settings.h"

namespace bbtest {

namespace {
std::vector<std::string>* captured = nullptr;
void Capture(const char* text) {
    if (captured) captured->push_back(text);
}
}  // namespace

Session::Session() : savedPath(core::settings.bitbasePath) {
    captured = &lines;
    core::SetOutputSink(Capture);
}

Session::~Session() {
    core::SetOutputSink(nullptr);
    captured = nullptr;
    std::strcpy(core::settings.bitbasePath, savedPath.c_str());
    bitbases::UnloadBitbases();
}

std::vector<std::string> Session::Load(const std::string& path, int reportMode) {
    lines.clear();
    std::strncpy(core::settings.bitbasePath, path.c_str(), sizeof core::settings.bitbasePath - 1);
    bitbases::LoadBitbases(reportMode);
    return lines;
}

int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

int ProbeText(const std::string& men, char side, const char* ep) {
    std::istringstream in(men);
    std::string word;
    int wk = -1, bk = -1, n = 0, codes[4] = {}, squares[4] = {};
    const std::string letters = "KQRBNPkqrbnp";
    while (in >> word) {
        int code = int(letters.find(word[0])) + 1;
        int sq = Sq(word.c_str() + 1);
        if (code == bitbases::WK) wk = sq;
        else if (code == bitbases::BK) bk = sq;
        else {
            codes[n] = code;
            squares[n++] = sq;
        }
    }
    return bitbases::Probe(bitbases::Set(), wk, bk, side == 'w', ep[0] == '-' ? 0 : Sq(ep), codes, squares);
}

}  // namespace bbtest
