#include "runtime/wide_division.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

TEST(WideDivision, EdgesMatchTheLanguage)
{
    const struct {
        uint64_t dividend, divisor;
    } unsignedCases[] = {
        {0, 1},
        {1, 1},
        {kMax, 1},
        {kMax, kMax},
        {kMax - 1, kMax},
        {kMax, 2},
        {(uint64_t(1) << 40) + 3799, 3800},
        {uint64_t(1) << 63, 3},
        {12345, 1ull << 32},
        {(1ull << 32) * 7 + 5, 1ull << 32},
    };
    for (const auto& c : unsignedCases)
        EXPECT_EQ(DivideUnsigned64(c.dividend, c.divisor), c.dividend / c.divisor) << c.dividend << " / " << c.divisor;

    const struct {
        int64_t dividend, divisor;
    } signedCases[] = {
        {-20 * 65535, 1024}, {20 * 65535, -1024}, {-7, -2},       {-7, 2},    {7, -2},
        {kMin, 1},           {kMin, 2},           {kMin + 1, -1}, {-1, kMin}, {0, -5},
    };
    for (const auto& c : signedCases)
        EXPECT_EQ(DivideSigned64(c.dividend, c.divisor), c.dividend / c.divisor) << c.dividend << " / " << c.divisor;
}

TEST(WideDivision, RandomOperandsOfEveryWidthMatchTheLanguage)
{
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t dividend = random() >> (random() % 64);
        const uint64_t divisor = (random() >> (random() % 64)) | 1;
        ASSERT_EQ(DivideUnsigned64(dividend, divisor), dividend / divisor) << dividend << " / " << divisor;
        const int64_t a = int64_t(dividend), b = int64_t(divisor);
        if (!(a == kMin && b == -1))
            ASSERT_EQ(DivideSigned64(a, b), a / b) << a << " / " << b;
    }
}

TEST(WideDivision, ZeroDivisorGivesAllOnesInsteadOfATrap)
{
    EXPECT_EQ(DivideUnsigned64(12345, 0), kMax);
}

}  // namespace
