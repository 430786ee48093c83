#include "search/state.h"

namespace search {

SearchGlobals sg;

}  // namespace search
