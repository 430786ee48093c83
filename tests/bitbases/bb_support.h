// Shared set-up of the bitbase tests: the bitbase path, captured output, and
// probes by square names.
#pragma once
#include <string>
#include <vector>

#include "bitbases/hooks.h"
#include "bitbases/probe.h"
#include "tbe_writer.h"

namespace bbtest {

// Captures info lines and restores the path and an empty set afterwards.
struct Session {
    std::vector<std::string> lines;
    std::string savedPath;
    Session();
    ~Session();
    // Sets the bitbase path and loads verbosely; returns the lines sent.
    std::vector<std::string> Load(const std::string& path, int reportMode = 1);
};

int Sq(const char* name);  // "e4" -> 28
// Probe by names: "Ke1 Qd1 ke8" (upper case white), side 'w' or 'b',
// en-passant square name or "-".
int ProbeText(const std::string& men, char side, const char* ep = "-");

}  // namespace bbtest
