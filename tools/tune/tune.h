// The evaluation tuner: self-play data (gen), a reference engine's verdicts
// on it (label) and the logistic fit (fit).
#pragma once

namespace tune {

int Gen(int argc, char** argv);
int Fit(int argc, char** argv);
int Label(int argc, char** argv);

}  // namespace tune
