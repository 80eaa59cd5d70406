// Compares two message traces of the trace program: lines aligned message by message, and every
// difference either explained by a named rule or reported as a failure.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One line of a trace: "<phase> <via> <message> name=value ...".
struct TraceLine {
    int number = 0; // line number in the trace, from 1
    std::string text;
    std::string phase;
    std::string via; // sent, posted (by DispatchMessage) or taken (never dispatched)
    std::string name;
    std::vector<std::pair<std::string, std::string>> fields;
};

enum DiffKind {
    ONLY_LINUX, // a line of the Linux layer's trace with no counterpart
    ONLY_WINE,  // a line of the Win32 trace with no counterpart
    REORDERED,  // the same message on both sides, in another order among its neighbours
    FIELD,      // the same message in the same place with one field of another value
};

// A message that the layer never claims to produce; dropped from both traces before aligning.
struct IgnoredMessage {
    const char* name;
    const char* reason;
};

// A difference that is accounted for. `phase` is a phase name or "*"; `messages` one message
// name or several joined by '|'; `field` names the field of a FIELD difference; `when` is empty
// or "name=value ..." that every line of the difference must carry.
struct DiffRule {
    DiffKind kind;
    const char* phase;
    const char* messages;
    const char* field;
    const char* when;
    const char* reason;
};

// Where a rule comes from: a difference of the environment for good, a known fault of the layer
// whose fix is on its way, or a fault found here that nobody has taken on yet.
enum RuleList { RULE_NONE, RULE_ENVIRONMENT, RULE_PENDING, RULE_OPEN };

struct RuleSet {
    const IgnoredMessage* ignored;
    int ignoredCount;
    const DiffRule* environment;
    int environmentCount;
    const DiffRule* pending;
    int pendingCount;
    const DiffRule* open;
    int openCount;
};

struct Difference {
    DiffKind kind;
    TraceLine linuxLine; // number 0 when the difference has no Linux line
    TraceLine wineLine;  // number 0 when the difference has no Win32 line
    std::string field;
    RuleList list = RULE_NONE;
    const DiffRule* rule = nullptr;
};

struct Comparison {
    std::vector<Difference> differences;
    // Rules of the pending and open lists that no difference needed: their fault is gone.
    std::vector<const DiffRule*> unusedPending;
    std::vector<const DiffRule*> unusedOpen;
    int failures = 0;
    std::string report;
};

std::vector<TraceLine> parseTrace(const std::string& text);
Comparison compareTraces(const std::string& linuxTrace, const std::string& wineTrace,
                         const RuleSet& rules);
