#include "printing/PageSetupNumber.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

using namespace vedris;

namespace {

struct FormatCase {
    double value;
    const char* text;
};

struct ParseCase {
    std::string text;
    double value;
};

} // namespace

TEST(PageSetupNumberFormat, GeneralFormTable) {
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::vector<FormatCase> cases = {
        {0.0, "0"}, {-0.0, "0"}, {0.75, "0.75"}, {0.5, "0.5"}, {1.0, "1"}, {-1.0, "-1"},
        {100.0, "100"}, {12345.678, "12345.678"}, {-0.75, "-0.75"},
        {0.1 + 0.2, "0.3"}, // 0.30000000000000004: the 17th digit goes
        {1.0 / 3, "0.333333333333333"}, {2.0 / 3, "0.666666666666667"},
        {0.0001, "0.0001"}, {0.00012345, "0.00012345"},
        {0.000123456789012345678, "0.000123456789012346"},
        {0.00009999999999999999, "0.0001"}, // rounds up to the fixed-form threshold
        {0.0000999, "9.99E-5"}, {1e-5, "1E-5"}, {-1e-5, "-1E-5"}, {1.5e-7, "1.5E-7"},
        {1e-100, "1E-100"}, {5e-324, "4.94065645841247E-324"},
        {123456789012345.0, "123456789012345"}, {999999999999999.0, "999999999999999"},
        {999999999999999.9, "1E15"}, // rounds to 16 digits before the point
        {1e15, "1E15"}, {1234567890123456.0, "1.23456789012346E15"},
        {-1234567890123456.0, "-1.23456789012346E15"}, {1e100, "1E100"},
        {std::numeric_limits<double>::max(), "1.79769313486232E308"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"}, {inf, "INF"}, {-inf, "-INF"},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(FormatPageSetupNumber(c.value), c.text) << "value " << c.value;
}

TEST(PageSetupNumberFormat, WrittenTextReadsBackAsTheSameText) {
    // Whatever the format writes must read back, with the store's ".", to a number that
    // is written the same way again; otherwise a restore would drift.
    for (double v = 1e-9; v < 1e18; v *= 3.7) {
        for (double value : {v, -v, v / 7}) {
            std::string text = FormatPageSetupNumber(value);
            double back = 0;
            ASSERT_TRUE(TryParsePageSetupNumber(text, back)) << text;
            EXPECT_EQ(FormatPageSetupNumber(back), text);
            EXPECT_NEAR(back, value, std::abs(value) * 1e-14) << text;
        }
    }
}

TEST(PageSetupNumberParse, AcceptedTexts) {
    // clang-format off
    const std::vector<ParseCase> cases = {
        {"0.75", 0.75}, {"0.750000", 0.75}, {"1", 1}, {"0", 0}, {"-0", 0}, {"  0.5  ", 0.5},
        {"+1.25", 1.25}, {"-1.25", -1.25}, {"5.", 5}, {".5", 0.5}, {"-.5", -0.5}, {"007", 7},
        {"1E-5", 1e-5}, {"1e5", 1e5}, {"1E+5", 1e5}, {"1.5e-7", 1.5e-7}, {" -2.5E2 ", -250},
        {"1.23456789012346E15", 1.23456789012346e15},
        {"0.1000000000000000000000000000001", 0.1},
        {"1e000000000000000000000000000000005", 1e5},
        // Too small for a double: zero, not a failure.
        {"1e-400", 0}, {"0." + std::string(400, '0') + "1", 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        double value = -99;
        EXPECT_TRUE(TryParsePageSetupNumber(c.text, value)) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

TEST(PageSetupNumberParse, RejectedTextsLeaveTheValueAndGiveZero) {
    // clang-format off
    const std::vector<std::string> cases = {
        "", "   ", ".", "+", "-", "+-1", "--1", "- 1", "1 2", "1.2.3", "1,5", "0,75",
        "1E", "1e+", "E5", "e5", ".e1", "1E5.5", "1E 5",
        "\t1", "1\t", "\n0.5", "0.5\n", "0.5\r\n", "\r1",
        "none", "0x10", "inf", "nan", "1_000", "1 000", "1.5abc", "abc1",
        "\xC2\xA0" "1", // no-break space
        "\xEF\xBC\x91", // fullwidth digit one
        // Too large for a double.
        "1e999", "-1e400", "1" + std::string(400, '0'),
    };
    // clang-format on
    for (const std::string& text : cases) {
        double value = -99;
        EXPECT_FALSE(TryParsePageSetupNumber(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, -99) << '"' << text << '"';
        EXPECT_EQ(PageSetupNumberOrZero(text), 0) << '"' << text << '"';
    }
}

TEST(PageSetupNumberParse, LocalSeparatorIsAcceptedBesideThePoint) {
    const std::vector<ParseCase> comma = {
        {"0,5", 0.5}, {"0.5", 0.5}, {",5", 0.5}, {"5,", 5}, {" -1,5e1 ", -15},
    };
    for (const auto& c : comma)
        EXPECT_EQ(PageSetupNumberOrZero(c.text, ","), c.value) << c.text;
    // Still one separator in all, whichever kinds.
    for (const char* text : {",", "1,5,5", "1.5,5", "1,5.5", "1,,5", "1,5 e1"})
        EXPECT_EQ(PageSetupNumberOrZero(text, ","), 0) << text;

    // A separator of several bytes (U+066B ARABIC DECIMAL SEPARATOR) counts as one.
    const std::string arabic = "\xD9\xAB";
    EXPECT_EQ(PageSetupNumberOrZero("1" + arabic + "25", arabic), 1.25);
    EXPECT_EQ(PageSetupNumberOrZero("1\xD9", "\xD9\xAB"), 0);
}
