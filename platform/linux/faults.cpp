// Fault injection for tests: named platform operations can be made to fail on a chosen call.
#include "platform/linux/x11.h"

namespace {

struct Fault {
    int skip;
    int times;
};

Fault faults[TEST_OPERATION_COUNT];

} // namespace

void testFailCall(TestOperation op, int skip, int times) {
    if (op < 0 || op >= TEST_OPERATION_COUNT) {
        return;
    }
    faults[op].skip = skip;
    faults[op].times = times;
}

void testClearFaults(void) {
    for (Fault& fault : faults) {
        fault = Fault();
    }
}

bool platformShouldFail(TestOperation op) {
    if (op < 0 || op >= TEST_OPERATION_COUNT) {
        return false;
    }
    Fault& fault = faults[op];
    if (fault.times <= 0) {
        return false;
    }
    if (fault.skip > 0) {
        fault.skip--;
        return false;
    }
    fault.times--;
    return true;
}
