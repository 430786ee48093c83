// kestrion-tool tune gen|label|fit: the steps of the evaluation tuner.
#include <cstdio>
#include <cstring>

#include "command.h"
#include "tune/tune.h"

namespace {

int RunTune(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "gen") == 0) return tune::Gen(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "fit") == 0) return tune::Fit(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "label") == 0) return tune::Label(argc - 1, argv + 1);
    std::fprintf(stderr, "usage: tune gen ... | tune label ... | tune fit ... (see README)\n");
    return 2;
}

}  // namespace

KESTRION_TOOL(Tune, "tune", "tune gen|label|fit ...  self-play positions, reference labels and the evaluation's weight fit", RunTune);
