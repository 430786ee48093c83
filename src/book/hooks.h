// Entry points of the opening-knowledge code used by the option handler.
#pragma once

namespace book {

// `UCI_SetPositionValue`: "<score> <fen>" fixes the value of a position.
void SetPositionValue(const char* value);
// `Clear PosLearning`: deletes the learning file and empties the protected-entry list.
void ClearPositionLearning();

}  // namespace book
