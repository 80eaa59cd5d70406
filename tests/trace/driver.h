// Runs the trace program (natively or through Wine) on the current X display and plays the same
// input into it every time: keys, clicks and drags, moves, a minimise and restore, the close box.
#pragma once

#include <string>

struct TraceRun {
    std::string trace;   // what the program printed
    std::string errors;  // its standard error
    std::string failure; // empty when every step was seen through
    int exitCode = -1;
};

// `command` is split at spaces ("wine path/trace_program.exe" works). Returns false when the
// run could not be completed; `failure` then says at which step.
bool runTrace(const std::string& command, TraceRun* run);
