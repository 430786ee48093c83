#include "book/book.h"
#include "book/hooks.h"
#include "book/learn.h"
#include "search/record.h"

namespace book {

void InstallKnowledge() {
    search::KnowledgeHooks k{};
    k.bookMove = BookMove;
    k.adviceAllowed = AdviceAllowed;
    k.applyAdvice = ApplyAdvice;
    k.seedFromFile = SeedFromFile;
    k.learnAfterSearch = LearnAfterSearch;
    k.noteRootResult = NoteRootResult;
    k.restoreProtected = RestoreAll;
    k.forgetProtected = ForgetAll;
    k.protect = Protect;
    k.refreshProtected = Refresh;
    search::knowledge = k;
}

}  // namespace book
