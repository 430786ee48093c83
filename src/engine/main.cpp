#include "engine/shell.h"

int main(int argc, char** argv) { return engine::Main(argc, argv); }
