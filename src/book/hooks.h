// Entry points of the opening-knowledge code used by the engine shell and
// the option handler.
#pragma once

namespace book {

// Gives the think controller the book, the advice and the learning code.
void InstallKnowledge();

// `UCI_SetPositionValue`: "<score> <fen>", "clear <fen>" or "clearall".
void SetPositionValue(const char* value);
// `Clear PosLearning`: deletes the learning file and empties the protected-entry list.
void ClearPositionLearning();
// Start-up: trims an oversized learning file.
void LoadLearning();
// Empties the protected-entry list (`ucinewgame`, re-allocated tables).
void ForgetAll();
void ForgetProtectedEntries();  // the same, for `ucinewgame`

}  // namespace book
