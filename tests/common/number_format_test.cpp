#include "common/number_format.hpp"

#include <charconv>
#include <limits>

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(ShortestDecimal, PositionalDigitsThatReadBackTheSameValue) {
    struct Case {
        double value;
        std::string text;
    };
    const Case cases[] = {
        {-64.0, "-64"},
        {-60.25, "-60.25"},
        {0.0, "0"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000"},
        {1.5e-7, "0.00000015"},
        {-128.0, "-128"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortest_decimal(c.value), c.text);
    }
    // The longest positional forms still fit the promised room.
    for (double extreme :
         {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
          std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min()}) {
        const std::string text = shortest_decimal(extreme);
        EXPECT_LE(text.size(), MAX_DECIMAL_CHARS);
        double back = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, extreme);
    }
}

}  // namespace
}  // namespace vireo
