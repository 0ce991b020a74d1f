#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Function.h"

/* Counts every allocation made through the global operator new in this test program */
static std::atomic<int> allocationCount{0};

void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc{};
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace ZarvikEngine {
namespace {

template<std::size_t Size>
struct Capture {
    std::array<unsigned char, Size> bytes{};
    int operator()(int a) const { return a + int(Size) + bytes[0]; }
};

TEST(Function, InlineUpToSixtyFourBytes) {
    static_assert(sizeof(Capture<64>) == 64 && sizeof(Capture<65>) == 65);
    int before = allocationCount;
    Function<int(int)> small{Capture<64>{}};
    EXPECT_EQ(allocationCount - before, 0);
    EXPECT_EQ(small(1), 65);
    before = allocationCount;
    Function<int(int)> large{Capture<65>{}};
    EXPECT_EQ(allocationCount - before, 1);
    EXPECT_EQ(large(1), 66);

    /* Moving either kind allocates nothing and leaves the source empty */
    before = allocationCount;
    Function<int(int)> movedSmall{std::move(small)};
    Function<int(int)> movedLarge;
    movedLarge = std::move(large);
    EXPECT_EQ(allocationCount - before, 0);
    EXPECT_FALSE(small);
    EXPECT_FALSE(large);
    EXPECT_EQ(movedSmall(2), 66);
    EXPECT_EQ(movedLarge(2), 67);
}

TEST(Function, DestroysCallableExactlyOnceAndTakesMoveOnlyOnes) {
    auto counter = std::make_shared<int>(0);
    struct Big {
        std::shared_ptr<int> counter;
        std::array<char, 100> padding{};
        void operator()() { ++*counter; }
    };
    {
        Function<void()> a{[counter] { ++*counter; }};
        Function<void()> b{Big{counter}};
        Function<void()> c{std::move(a)};
        b();
        c();
        EXPECT_EQ(counter.use_count(), 3);
        c = std::move(b); /* destroys the inline callable held by c */
        EXPECT_EQ(counter.use_count(), 2);
        c = nullptr;
        EXPECT_EQ(counter.use_count(), 1);
    }
    EXPECT_EQ(*counter, 2);

    Function<int(int&)> f{[owned = std::make_unique<int>(5)](int& out) mutable {
        out = *owned;
        return ++*owned;
    }};
    int out = 0;
    EXPECT_EQ(f(out), 6);
    EXPECT_EQ(out, 5);
}

TEST(FunctionDeathTest, CallingEmpty) {
    Function<void()> empty;
    ZE_EXPECT_ABORT(empty(), "Function::operator(): the function is empty");
}

} // namespace
} // namespace ZarvikEngine
