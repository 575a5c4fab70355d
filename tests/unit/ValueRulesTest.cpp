#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/EffectValue.h"

using namespace plexa;

TEST(StoreRule, NonFiniteBecomesZeroAndEveryFiniteValueIsKept) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(sanitize(std::nan("")), 0.0);
    EXPECT_EQ(sanitize(inf), 0.0);
    EXPECT_EQ(sanitize(-inf), 0.0);
    EXPECT_EQ(sanitize(1.7976931348623157e308), 1.7976931348623157e308);
    EXPECT_EQ(sanitize(-1.7976931348623157e308), -1.7976931348623157e308);
    EXPECT_EQ(sanitize(4.9e-324), 4.9e-324);  // denormals are finite and kept
    EXPECT_TRUE(std::signbit(sanitize(-0.0)));
}

TEST(IntegerConversion, BiasesAwayFromZeroThenTruncates) {
    EXPECT_EQ(truncInt(2.99995), 3);
    EXPECT_EQ(truncInt(2.9998), 2);
    EXPECT_EQ(truncInt(-0.99995), -1);
    EXPECT_EQ(truncInt(-2.5), -2);
    EXPECT_EQ(truncInt(0.0), 0);
    EXPECT_EQ(truncInt(2147483647.0), 2147483647);
    EXPECT_EQ(truncInt(-2147483648.0), INT32_MIN);
    EXPECT_EQ(truncInt(3e9), INT32_MIN);
    EXPECT_EQ(truncInt(-3e9), INT32_MIN);
    EXPECT_EQ(truncInt(std::nan("")), INT32_MIN);
    EXPECT_EQ(truncInt(std::numeric_limits<double>::infinity()), INT32_MIN);
}

TEST(Equality, ToleranceIsExclusiveOnBothSides) {
    EXPECT_TRUE(valuesEqual(1.0, 1.000009));
    EXPECT_FALSE(valuesEqual(1.0, 1.00001));
    EXPECT_FALSE(valuesEqual(1.00001, 1.0));
    EXPECT_FALSE(valuesEqual(std::nan(""), std::nan("")));
    EXPECT_TRUE(isNonZero(0.00001));
    EXPECT_FALSE(isNonZero(-0.000009));
}
