// The game allocates nothing per frame: the global allocation operators are replaced in this
// binary and counted across a thousand frames, new games and key presses included.
#include "game/state.h"
#include "platform/testctl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {
bool counting = false;
long allocations = 0;
} // namespace

void* operator new(std::size_t bytes) {
    if (counting) {
        allocations++;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t bytes) {
    return operator new(bytes);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

TEST(Allocation, NoneAcrossAThousandFrames) {
    resetGameState();
    testUseVirtualClock();
    setupGame();

    // The counter itself must see an allocation, or a zero below would prove nothing. The
    // block escapes through a volatile, or an optimiser may drop the new paired with its delete.
    counting = true;
    int* volatile probe = new int(1);
    counting = false;
    delete probe;
    ASSERT_EQ(allocations, 1);
    allocations = 0;

    counting = true;
    for (int n = 0; n < 1000; n++) {
        frameStep();
        testAdvanceTick(5);
        if (n % 97 == 0) {
            onKeyLeft();
        }
        if (n % 61 == 0) {
            onKeyDown();
        }
        if (n % 150 == 149) {
            onKeyNewGame();
        }
    }
    reshapeView(500, 400);
    counting = false;
    EXPECT_EQ(allocations, 0);
    testUseRealClock();
}

} // namespace
