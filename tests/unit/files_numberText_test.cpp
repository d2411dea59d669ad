// Number text: reals as "%#.17lg" prints them and every text back to a
// defined number.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "files/numberText.h"

using namespace tumbla;

namespace {

std::string printfText(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%#.17lg", v);
    return buffer;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(numberText, realTextExamples) {
    struct {
        double value;
        const char* text;
    } cases[] = {
        {1.0, "1.0000000000000000"},
        {15.0, "15.000000000000000"},
        {300.0, "300.00000000000000"},
        {0.0, "0.0000000000000000"},
        {-0.0, "-0.0000000000000000"},
        {0.2, "0.20000000000000001"},
        {-12.5, "-12.500000000000000"},
        {0.00001, "1.0000000000000001e-05"},
        {0.0001, "0.00010000000000000000"},
        {1e16, "10000000000000000."},
        {1e17, "1.0000000000000000e+17"},
        {99999999999999999.0, "1.0000000000000000e+17"},  // rounding raises the exponent
        {1e100, "1.0000000000000000e+100"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {4.9406564584124654e-324, "4.9406564584124654e-324"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(realText(c.value), c.text);
        EXPECT_EQ(realText(c.value), printfText(c.value));
    }
    for (double v : {INFINITY, -INFINITY, NAN}) EXPECT_EQ(realText(v), printfText(v));
}

// Random bit patterns cover every exponent, subnormals included: the text
// is printf's, and reading it back gives the same bits.
TEST(numberText, realTextMatchesPrintfAndReadsBackExactly) {
    std::mt19937_64 bits(20260101);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t pattern = bits();
        double v;
        std::memcpy(&v, &pattern, sizeof v);
        if (!std::isfinite(v)) continue;
        const std::string text = realText(v);
        ASSERT_EQ(text, printfText(v));
        ASSERT_TRUE(sameBits(realFromText(text), v)) << text;
    }
}

TEST(numberText, integerFromText) {
    struct {
        const char* text;
        int value;
    } cases[] = {
        {"12", 12},
        {"  \t-7", -7},
        {"+3", 3},
        {"1.5", 1},
        {"42x9", 42},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"$1F", 31},
        {"$ff", 255},
        {"-$10", -16},
        {"$", 0},
        {"$g1", 0},
        {"%101", 5},
        {"%1012", 5},
        {"$FFFFFFFF", -1},         // a 32-bit pattern
        {"$123456789", 0x23456789},  // low 32 bits kept
        {"%11111111111111111111111111111111111", -1},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},  // decimal saturates
        {"-2147483648", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
        {"99999999999999999999999", INT_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(integerFromText(c.text), c.value) << '"' << c.text << '"';
}

TEST(numberText, realFromText) {
    struct {
        const char* text;
        double value;
    } cases[] = {
        {"1.5", 1.5},
        {"  -2.5e3", -2500.0},
        {"+7", 7.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"1,5", 1.0},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"1E2x", 100.0},
        {"", 0.0},
        {".", 0.0},
        {"-", 0.0},
        {"e5", 0.0},
        {"nan", 0.0},
        {"inf", 0.0},
        {"-infinity", 0.0},
        {"0x1p3", 0.0},  // no hexadecimal reals: the prefix "0"
        {"1e999", DBL_MAX},
        {"-1e999", -DBL_MAX},
        {"1e99999999999999999999999", DBL_MAX},
        {"1e-999", 0.0},
        {"1e-99999999999999999999999", 0.0},
        {"0e99999999999999999999999", 0.0},
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
        {"1.7976931348623157e+308", DBL_MAX},
        {"1.7976931348623159e+308", DBL_MAX},  // rounds past the largest: saturates
    };
    for (const auto& c : cases) EXPECT_EQ(realFromText(c.text), c.value) << '"' << c.text << '"';
    EXPECT_TRUE(std::signbit(realFromText("-0.0")));
    EXPECT_TRUE(std::signbit(realFromText("-1e-999")));
    // Long mantissas: the magnitude decides between the largest double and 0.
    EXPECT_EQ(realFromText(std::string(400, '9')), DBL_MAX);
    EXPECT_EQ(realFromText("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(realFromText(std::string(400, '0') + "1.5"), 1.5);
}
