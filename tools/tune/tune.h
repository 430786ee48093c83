// The evaluation tuner: self-play data (gen) and the logistic fit (fit).
#pragma once

namespace tune {

int Gen(int argc, char** argv);
int Fit(int argc, char** argv);

}  // namespace tune
