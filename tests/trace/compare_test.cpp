// The trace comparison on made-up traces: alignment, the kinds of difference, and how rules
// account for them.
#include "tests/trace/compare.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const IgnoredMessage IGNORED[] = {{"WM_NCPAINT", "no frame"}};
const DiffRule ENVIRONMENT[] = {
    {FIELD, "*", "WM_KEYDOWN|WM_KEYUP", "scan", "", "scan codes"},
    {ONLY_WINE, "loop", "WM_PAINT", "", "", "extra paints"},
};
const DiffRule PENDING[] = {
    {REORDERED, "MoveWindow", "WM_SIZE|WM_MOVE", "", "", "move and size order"},
    {ONLY_LINUX, "loop", "WM_MOUSEMOVE", "", "inside=0", "outside without capture"},
};
const DiffRule OPEN[] = {
    {ONLY_WINE, "loop", "WM_PAINT", "", "", "the same paint, known as a fault"},
};

RuleSet rules(bool withPending, bool withOpen) {
    return RuleSet{IGNORED,         1, ENVIRONMENT, 2, PENDING, withPending ? 2 : 0, OPEN,
                   withOpen ? 1 : 0};
}

const char* const KEYS_LINUX = "loop posted WM_KEYDOWN vk=A scan=38 ext=0\n"
                               "loop posted WM_KEYUP vk=A scan=38 ext=0\n";

int count(const Comparison& c, DiffKind kind, RuleList list) {
    int n = 0;
    for (const Difference& d : c.differences) {
        n += d.kind == kind && d.list == list ? 1 : 0;
    }
    return n;
}

TEST(TraceParse, KeepsLineNumbersSkipsNotesAndSplitsFields) {
    std::vector<TraceLine> lines =
        parseTrace("# loop\nShowWindow sent WM_SIZE type=restored width=320\n\nloop posted "
                   "WM_PAINT\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].number, 2);
    EXPECT_EQ(lines[0].phase, "ShowWindow");
    EXPECT_EQ(lines[0].via, "sent");
    EXPECT_EQ(lines[0].name, "WM_SIZE");
    ASSERT_EQ(lines[0].fields.size(), 2u);
    EXPECT_EQ(lines[0].fields[1].first, "width");
    EXPECT_EQ(lines[0].fields[1].second, "320");
    EXPECT_EQ(lines[1].number, 4);
}

TEST(TraceCompare, IgnoredMessagesAndEqualLinesMakeNoDifference) {
    Comparison c =
        compareTraces("loop posted WM_PAINT\n", "loop sent WM_NCPAINT\nloop posted WM_PAINT\n",
                      rules(false, false));
    EXPECT_TRUE(c.differences.empty()) << c.report;
    EXPECT_EQ(c.failures, 0);
}

// A swapped pair is one change of order, not a message missing on each side; only a rule for
// that phase accounts for it.
TEST(TraceCompare, SwappedPairIsOneReorderAccountedOnlyInItsPhase) {
    const char* linuxTrace = "MoveWindow sent WM_SIZE type=restored\nMoveWindow sent WM_MOVE x=1\n";
    const char* wineTrace = "MoveWindow sent WM_MOVE x=1\nMoveWindow sent WM_SIZE type=restored\n";
    Comparison bare = compareTraces(linuxTrace, wineTrace, rules(false, false));
    ASSERT_EQ(bare.differences.size(), 1u) << bare.report;
    EXPECT_EQ(bare.differences[0].kind, REORDERED);
    EXPECT_EQ(bare.failures, 1);
    EXPECT_NE(bare.report.find("FAIL: in another order"), std::string::npos) << bare.report;

    Comparison known = compareTraces(linuxTrace, wineTrace, rules(true, false));
    EXPECT_EQ(known.failures, 0) << known.report;
    EXPECT_EQ(count(known, REORDERED, RULE_PENDING), 1);

    std::string otherPhase = "loop posted WM_SIZE type=restored\nloop posted WM_MOVE x=1\n";
    std::string otherWine = "loop posted WM_MOVE x=1\nloop posted WM_SIZE type=restored\n";
    EXPECT_EQ(compareTraces(otherPhase, otherWine, rules(true, false)).failures, 1);
}

// The same message far away is missing here and extra there, not moved.
TEST(TraceCompare, DistantSameMessageIsNoReorder) {
    std::string filler;
    for (int i = 0; i < 6; i++) {
        filler += "loop posted WM_USER wparam=" + std::to_string(i) + "\n";
    }
    Comparison c = compareTraces("loop posted WM_CLOSE\n" + filler,
                                 filler + "loop posted WM_CLOSE\n", rules(false, false));
    EXPECT_EQ(count(c, ONLY_LINUX, RULE_NONE), 1) << c.report;
    EXPECT_EQ(count(c, ONLY_WINE, RULE_NONE), 1) << c.report;
    EXPECT_EQ(count(c, REORDERED, RULE_NONE), 0) << c.report;
}

// A field rule covers its own field only; another key is a difference of the key itself.
TEST(TraceCompare, FieldRulesCoverTheirFieldOnly) {
    Comparison scan = compareTraces(KEYS_LINUX,
                                    "loop posted WM_KEYDOWN vk=A scan=30 ext=0\n"
                                    "loop posted WM_KEYUP vk=A scan=30 ext=0\n",
                                    rules(false, false));
    EXPECT_EQ(scan.failures, 0) << scan.report;
    EXPECT_EQ(count(scan, FIELD, RULE_ENVIRONMENT), 2);

    Comparison ext = compareTraces(KEYS_LINUX,
                                   "loop posted WM_KEYDOWN vk=A scan=38 ext=1\n"
                                   "loop posted WM_KEYUP vk=A scan=38 ext=0\n",
                                   rules(false, false));
    ASSERT_EQ(ext.failures, 1) << ext.report;
    EXPECT_EQ(ext.differences[0].field, "ext");

    Comparison vk = compareTraces(KEYS_LINUX,
                                  "loop posted WM_KEYDOWN vk=B scan=38 ext=0\n"
                                  "loop posted WM_KEYUP vk=A scan=38 ext=0\n",
                                  rules(false, false));
    ASSERT_EQ(vk.failures, 1) << vk.report;
    EXPECT_EQ(vk.differences[0].field, "vk");

    Comparison via =
        compareTraces("loop posted WM_CLOSE\n", "loop sent WM_CLOSE\n", rules(false, false));
    ASSERT_EQ(via.failures, 1) << via.report;
    EXPECT_EQ(via.differences[0].field, "via");
}

// Pointer messages align by position: a missing one is missing, not a changed position.
TEST(TraceCompare, PointerMessagesAlignByPosition) {
    Comparison c =
        compareTraces("loop posted WM_MOUSEMOVE x=350 y=50 inside=0\n"
                      "loop posted WM_MOUSEMOVE x=100 y=100 inside=1\n",
                      "loop posted WM_MOUSEMOVE x=100 y=100 inside=1\n", rules(true, false));
    ASSERT_EQ(c.differences.size(), 1u) << c.report;
    EXPECT_EQ(c.differences[0].kind, ONLY_LINUX);
    EXPECT_EQ(c.differences[0].list, RULE_PENDING);

    // The condition holds for the rule's lines only: a move inside is not excused.
    Comparison inside =
        compareTraces("loop posted WM_MOUSEMOVE x=5 y=5 inside=1\n", "", rules(true, false));
    EXPECT_EQ(inside.failures, 1) << inside.report;
}

// Known faults are looked up before the environment, so a broad environment rule never hides
// one, and a known-fault entry that nothing needs is named for deletion.
TEST(TraceCompare, KnownFaultsComeFirstAndUnusedOnesAreNamed) {
    Comparison c = compareTraces("", "loop posted WM_PAINT\n", rules(true, true));
    ASSERT_EQ(c.differences.size(), 1u);
    EXPECT_EQ(c.differences[0].list, RULE_OPEN);
    EXPECT_EQ(c.failures, 0);
    ASSERT_EQ(c.unusedPending.size(), 2u);
    EXPECT_EQ(c.unusedOpen.size(), 0u);
    EXPECT_NE(c.report.find("PENDING LAYER FIX NO LONGER SEEN (delete its entry): move and size"),
              std::string::npos)
        << c.report;

    Comparison environment = compareTraces("", "loop posted WM_PAINT\n", rules(false, false));
    EXPECT_EQ(environment.differences[0].list, RULE_ENVIRONMENT);
}

// Lines of different calls never align, even when their messages are equal.
TEST(TraceCompare, PhasesKeepMessagesApart) {
    Comparison c =
        compareTraces("ShowWindow sent WM_ACTIVATE state=active minimized=0\n",
                      "loop sent WM_ACTIVATE state=active minimized=0\n", rules(false, false));
    EXPECT_EQ(count(c, ONLY_LINUX, RULE_NONE), 1) << c.report;
    EXPECT_EQ(count(c, ONLY_WINE, RULE_NONE), 1) << c.report;
}

} // namespace
