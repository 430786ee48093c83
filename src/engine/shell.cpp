#include "engine/shell.h"

namespace engine {

int Main(int, char**) { return 0; }
int StartUp(int hashKilobytes) { return hashKilobytes; }
void ReleaseAll() {}

}  // namespace engine
