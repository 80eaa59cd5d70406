// Aligns two traces by their messages (a longest common subsequence over phase, message and the
// fields that say which key or state it is), then sorts every difference into a rule or a failure.
#include "tests/trace/compare.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sstream>

namespace {

// Fields that tell one message of a kind from another of the same kind; they take part in the
// alignment, so a different key is a missing key rather than a changed field.
const char* identityField(const std::string& name) {
    if (name == "WM_KEYDOWN" || name == "WM_KEYUP" || name == "WM_SYSKEYDOWN" ||
        name == "WM_SYSKEYUP") {
        return "vk";
    }
    if (name == "WM_CHAR" || name == "WM_SYSCHAR") {
        return "char";
    }
    if (name == "WM_SIZE") {
        return "type";
    }
    if (name == "WM_ACTIVATE") {
        return "state";
    }
    if (name == "WM_SHOWWINDOW") {
        return "shown";
    }
    return nullptr;
}

const std::string* fieldOf(const TraceLine& line, const std::string& name) {
    for (const auto& field : line.fields) {
        if (field.first == name) {
            return &field.second;
        }
    }
    return nullptr;
}

std::string keyOf(const TraceLine& line) {
    std::string key = line.phase + " " + line.name;
    const char* identity = identityField(line.name);
    if (identity != nullptr) {
        const std::string* value = fieldOf(line, identity);
        key += " " + std::string(identity) + "=" + (value != nullptr ? *value : "");
    }
    // An activation while minimised and one after are different steps of a restore; pointer
    // messages at different places are different events.
    bool pointer = line.name == "WM_MOUSEMOVE" || line.name.find("BUTTON") != std::string::npos;
    for (const char* name : {"minimized", "x", "y"}) {
        if (name[0] == 'm' ? line.name == "WM_ACTIVATE" : pointer) {
            const std::string* value = fieldOf(line, name);
            key += " " + std::string(name) + "=" + (value != nullptr ? *value : "");
        }
    }
    return key;
}

bool ignored(const RuleSet& rules, const std::string& name) {
    for (int i = 0; i < rules.ignoredCount; i++) {
        if (name == rules.ignored[i].name) {
            return true;
        }
    }
    return false;
}

bool nameListed(const char* list, const std::string& name) {
    std::string names = list;
    size_t start = 0;
    for (;;) {
        size_t bar = names.find('|', start);
        if (names.compare(start, bar == std::string::npos ? std::string::npos : bar - start,
                          name) == 0) {
            return true;
        }
        if (bar == std::string::npos) {
            return false;
        }
        start = bar + 1;
    }
}

// Every "name=value" of the condition is carried by the line.
bool lineMeets(const TraceLine& line, const char* when) {
    std::istringstream words(when != nullptr ? when : "");
    for (std::string word; words >> word;) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        const std::string* value = fieldOf(line, word.substr(0, eq));
        if (value == nullptr || *value != word.substr(eq + 1)) {
            return false;
        }
    }
    return true;
}

bool ruleMatches(const DiffRule& rule, const Difference& difference) {
    if (rule.kind != difference.kind) {
        return false;
    }
    const TraceLine* lines[2] = {difference.linuxLine.number != 0 ? &difference.linuxLine : nullptr,
                                 difference.wineLine.number != 0 ? &difference.wineLine : nullptr};
    for (const TraceLine* line : lines) {
        if (line == nullptr) {
            continue;
        }
        if (std::strcmp(rule.phase, "*") != 0 && line->phase != rule.phase) {
            return false;
        }
        if (!nameListed(rule.messages, line->name) || !lineMeets(*line, rule.when)) {
            return false;
        }
    }
    return rule.kind != FIELD || difference.field == rule.field;
}

const DiffRule* findRule(const DiffRule* rules, int count, const Difference& difference,
                         std::vector<bool>* used) {
    for (int i = 0; i < count; i++) {
        if (ruleMatches(rules[i], difference)) {
            (*used)[(size_t)i] = true;
            return &rules[i];
        }
    }
    return nullptr;
}

// The fields in which two lines of the same message differ; "via" counts as a field.
void fieldDifferences(const TraceLine& a, const TraceLine& b, std::vector<Difference>* out) {
    std::vector<std::pair<std::string, std::string>> left = a.fields;
    std::vector<std::pair<std::string, std::string>> right = b.fields;
    left.insert(left.begin(), {"via", a.via});
    right.insert(right.begin(), {"via", b.via});
    std::vector<std::string> names;
    for (const auto& field : left) {
        names.push_back(field.first);
    }
    for (const auto& field : right) {
        bool known = false;
        for (const std::string& name : names) {
            known = known || name == field.first;
        }
        if (!known) {
            names.push_back(field.first);
        }
    }
    for (const std::string& name : names) {
        std::string l = "(none)";
        std::string r = "(none)";
        for (const auto& field : left) {
            if (field.first == name) {
                l = field.second;
            }
        }
        for (const auto& field : right) {
            if (field.first == name) {
                r = field.second;
            }
        }
        if (l != r) {
            Difference difference;
            difference.kind = FIELD;
            difference.linuxLine = a;
            difference.wineLine = b;
            difference.field = name;
            out->push_back(difference);
        }
    }
}

const char* kindText(DiffKind kind) {
    switch (kind) {
    case ONLY_LINUX:
        return "only in the Linux layer";
    case ONLY_WINE:
        return "only in Win32";
    case REORDERED:
        return "in another order";
    case FIELD:
        return "a field differs";
    }
    return "";
}

const char* listText(RuleList list) {
    switch (list) {
    case RULE_ENVIRONMENT:
        return "ALLOWED (environment)";
    case RULE_PENDING:
        return "PENDING LAYER FIX";
    case RULE_OPEN:
        return "OPEN LAYER FAULT";
    case RULE_NONE:
        return "FAIL";
    }
    return "";
}

void describe(std::ostringstream& out, const Difference& difference) {
    out << listText(difference.list) << ": " << kindText(difference.kind);
    if (difference.kind == FIELD) {
        out << " (" << difference.field << ")";
    }
    out << "\n";
    if (difference.linuxLine.number != 0) {
        out << "    linux L" << difference.linuxLine.number << ": " << difference.linuxLine.text
            << "\n";
    }
    if (difference.wineLine.number != 0) {
        out << "    win32 L" << difference.wineLine.number << ": " << difference.wineLine.text
            << "\n";
    }
    if (difference.rule != nullptr) {
        out << "    why: " << difference.rule->reason << "\n";
    }
}

} // namespace

std::vector<TraceLine> parseTrace(const std::string& text) {
    std::vector<TraceLine> lines;
    std::istringstream in(text);
    int number = 0;
    for (std::string row; std::getline(in, row);) {
        number++;
        if (row.empty() || row[0] == '#') {
            continue;
        }
        TraceLine line;
        line.number = number;
        line.text = row;
        std::istringstream words(row);
        words >> line.phase >> line.via >> line.name;
        for (std::string word; words >> word;) {
            size_t eq = word.find('=');
            if (eq == std::string::npos) {
                line.fields.push_back({word, ""});
            } else {
                line.fields.push_back({word.substr(0, eq), word.substr(eq + 1)});
            }
        }
        if (!line.name.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

Comparison compareTraces(const std::string& linuxTrace, const std::string& wineTrace,
                         const RuleSet& rules) {
    std::vector<TraceLine> a;
    std::vector<TraceLine> b;
    for (const TraceLine& line : parseTrace(linuxTrace)) {
        if (!ignored(rules, line.name)) {
            a.push_back(line);
        }
    }
    for (const TraceLine& line : parseTrace(wineTrace)) {
        if (!ignored(rules, line.name)) {
            b.push_back(line);
        }
    }
    std::vector<std::string> ka;
    std::vector<std::string> kb;
    for (const TraceLine& line : a) {
        ka.push_back(keyOf(line));
    }
    for (const TraceLine& line : b) {
        kb.push_back(keyOf(line));
    }

    // Longest common subsequence of the keys, from the end so that the walk runs forwards.
    size_t n = a.size();
    size_t m = b.size();
    std::vector<int> table((n + 1) * (m + 1), 0);
    auto at = [&](size_t i, size_t j) -> int& { return table[i * (m + 1) + j]; };
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            at(i, j) = ka[i] == kb[j]
                           ? at(i + 1, j + 1) + 1
                           : (at(i + 1, j) >= at(i, j + 1) ? at(i + 1, j) : at(i, j + 1));
        }
    }

    Comparison result;
    std::vector<Difference>& differences = result.differences;
    // Lines without a counterpart, with the number of aligned pairs before them: lines of the
    // two sides with the same count lie in the same gap between aligned messages.
    std::vector<std::pair<size_t, int>> leftOver;  // index into a, pairs before
    std::vector<std::pair<size_t, int>> rightOver; // index into b, pairs before
    int pairs = 0;
    size_t i = 0;
    size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && ka[i] == kb[j]) {
            fieldDifferences(a[i], b[j], &differences);
            pairs++;
            i++;
            j++;
        } else if (j >= m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
            leftOver.push_back({i, pairs});
            i++;
        } else {
            rightOver.push_back({j, pairs});
            j++;
        }
    }

    // The same message a few aligned messages away on the other side: a change of order.
    const int NEAR = 3;
    std::vector<bool> leftTaken(leftOver.size(), false);
    std::vector<bool> rightTaken(rightOver.size(), false);
    for (size_t l = 0; l < leftOver.size(); l++) {
        for (size_t r = 0; r < rightOver.size(); r++) {
            if (rightTaken[r] || ka[leftOver[l].first] != kb[rightOver[r].first] ||
                std::abs(leftOver[l].second - rightOver[r].second) > NEAR) {
                continue;
            }
            Difference difference;
            difference.kind = REORDERED;
            difference.linuxLine = a[leftOver[l].first];
            difference.wineLine = b[rightOver[r].first];
            differences.push_back(difference);
            fieldDifferences(difference.linuxLine, difference.wineLine, &differences);
            leftTaken[l] = rightTaken[r] = true;
            break;
        }
    }
    // The same message in the same gap with another key or state: one field differs.
    for (size_t l = 0; l < leftOver.size(); l++) {
        for (size_t r = 0; r < rightOver.size() && !leftTaken[l]; r++) {
            const TraceLine& left = a[leftOver[l].first];
            const TraceLine& right = b[rightOver[r].first];
            if (rightTaken[r] || leftOver[l].second != rightOver[r].second ||
                left.phase != right.phase || left.name != right.name) {
                continue;
            }
            fieldDifferences(left, right, &differences);
            leftTaken[l] = rightTaken[r] = true;
        }
    }
    for (size_t l = 0; l < leftOver.size(); l++) {
        if (!leftTaken[l]) {
            Difference difference;
            difference.kind = ONLY_LINUX;
            difference.linuxLine = a[leftOver[l].first];
            differences.push_back(difference);
        }
    }
    for (size_t r = 0; r < rightOver.size(); r++) {
        if (!rightTaken[r]) {
            Difference difference;
            difference.kind = ONLY_WINE;
            difference.wineLine = b[rightOver[r].first];
            differences.push_back(difference);
        }
    }

    // Known faults first, so that a broad environment rule never hides one.
    std::vector<bool> usedPending((size_t)rules.pendingCount, false);
    std::vector<bool> usedOpen((size_t)rules.openCount, false);
    std::vector<bool> usedEnvironment((size_t)rules.environmentCount, false);
    for (Difference& difference : differences) {
        if ((difference.rule = findRule(rules.pending, rules.pendingCount, difference,
                                        &usedPending)) != nullptr) {
            difference.list = RULE_PENDING;
        } else if ((difference.rule =
                        findRule(rules.open, rules.openCount, difference, &usedOpen)) != nullptr) {
            difference.list = RULE_OPEN;
        } else if ((difference.rule = findRule(rules.environment, rules.environmentCount,
                                               difference, &usedEnvironment)) != nullptr) {
            difference.list = RULE_ENVIRONMENT;
        } else {
            result.failures++;
        }
    }
    for (int k = 0; k < rules.pendingCount; k++) {
        if (!usedPending[(size_t)k]) {
            result.unusedPending.push_back(&rules.pending[k]);
        }
    }
    for (int k = 0; k < rules.openCount; k++) {
        if (!usedOpen[(size_t)k]) {
            result.unusedOpen.push_back(&rules.open[k]);
        }
    }

    std::ostringstream out;
    out << "Compared " << a.size() << " Linux and " << b.size()
        << " Win32 messages (after dropping those the layer never produces): " << pairs
        << " aligned, " << differences.size() << " differences, " << result.failures
        << " unexplained.\n";
    for (RuleList list : {RULE_NONE, RULE_PENDING, RULE_OPEN}) {
        for (const Difference& difference : differences) {
            if (difference.list == list) {
                describe(out, difference);
            }
        }
    }
    // The environment's differences once per rule, with the first example: they are many.
    for (int k = 0; k < rules.environmentCount; k++) {
        int count = 0;
        const Difference* first = nullptr;
        for (const Difference& difference : differences) {
            if (difference.rule == &rules.environment[k]) {
                first = first == nullptr ? &difference : first;
                count++;
            }
        }
        if (first != nullptr) {
            out << count << " x ";
            describe(out, *first);
        }
    }
    for (const DiffRule* rule : result.unusedPending) {
        out << "PENDING LAYER FIX NO LONGER SEEN (delete its entry): " << rule->reason << "\n";
    }
    for (const DiffRule* rule : result.unusedOpen) {
        out << "OPEN LAYER FAULT NO LONGER SEEN (delete its entry): " << rule->reason << "\n";
    }
    result.report = out.str();
    return result;
}
