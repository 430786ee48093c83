// Process entry, start-up, main loop and release of everything at exit.
#pragma once

namespace engine {

int Main(int argc, char** argv);
// Builds every table and allocates the hash for the given kilobytes.
// Returns the size on success, -1 on failure.
int StartUp(int hashKilobytes);
void ReleaseAll();

}  // namespace engine
