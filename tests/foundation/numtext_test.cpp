#include "foundation/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "foundation/errors.h"
#include "support/raised_message.h"

namespace {

constexpr double kMax = std::numeric_limits<double>::max(),
                 kInf = std::numeric_limits<double>::infinity();

// Restores the program's separators after a test changed them.
struct SeparatorGuard {
    char decimal = DecimalSeparator(), thousand = ThousandSeparator();
    ~SeparatorGuard()
    {
        SetDecimalSeparator(decimal);
        SetThousandSeparator(thousand);
    }
};

// Finite doubles spread over the whole range: random bit patterns.
double RandomDouble(std::mt19937_64& rng)
{
    for (;;) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) return v;
    }
}

TEST(NumText, RoundDHalvesToEvenAndRefusesBadArguments)
{
    const std::tuple<double, int, double, double> cases[] = {
        // x, digits, expected, tolerance
        {2.5, 1, 2, 0},
        {3.5, 1, 4, 0},
        {-2.5, 1, -2, 0},
        {-45, 1, -40, 0},
        {125, 2, 120, 0},
        {135, 2, 140, 0},
        {1.25, 2, 1.2, 0},
        {1.75, 2, 1.8, 0},
        {0, 5, 0, 0},
        {9.96, 2, 10, 1e-14},
        {-1.23456789e-200, 4, -1.235e-200, 1e-214},
        {9.87654321e300, 3, 9.88e300, 1e286},
        {4.9e-324, 3, 4.9e-324, 0},
        {kMax, 3, kMax, 0},
        {-1.79e308, 2, -kMax, 0}};  // not -inf
    for (auto [x, digits, expected, tolerance] : cases)
        EXPECT_NEAR(RoundD(x, digits), expected, tolerance) << x << " @" << digits;
    std::mt19937_64 rng(42);
    for (int i = 0; i < 20000; ++i) {  // 18 digits give every double back
        const double x = RandomDouble(rng);
        ASSERT_EQ(RoundD(x, 18), x) << x;
    }
    for (auto [x, digits] :
         {std::pair{1.0, 0}, {1.0, 19}, {kInf, 3}, {-kInf, 3}, {std::nan(""), 3}})
        EXPECT_EQ(RaisedMessage([&] { RoundD(x, digits); }), "(work>>RoundD): " + ErrorCodeText(-4))
            << x;
}

TEST(NumText, ReadNumbersStrictlyWithEitherSeparator)
{
    SeparatorGuard guard;
    const std::pair<const char*, double> doubles[] = {
        {"2.5", 2.5},
        {"2,5", 2.5},
        {" -.5 ", -0.5},
        {"5.", 5},
        {"+1E3", 1000},
        {"1,5e-3", 0.0015},
        {"4.9e-324", 4.9e-324},
        {"1e-400", 0},
        {"0.000000000000000000000000000000000000000000001e10", 1e-35},
        {"1.7976931348623157e308", kMax}};
    const std::pair<const char*, int> ints[] = {{"12", 12},
                                                {" -7 ", -7},
                                                {"$FF", 255},
                                                {"0x1f", 31},
                                                {"2147483647", 2147483647},
                                                {"-2147483648", -2147483647 - 1}};
    for (char sep : {'.', ','}) {
        SetDecimalSeparator(sep);
        double v = 99;
        int i = 99;
        for (auto [text, value] : doubles)
            EXPECT_TRUE(ReadDouble(text, v) && v == value) << text << " " << v;
        for (auto [text, value] : ints)
            EXPECT_TRUE(ReadInt(text, i) && i == value) << text << " " << i;
        // Refused texts give false and 0.
        for (const char* bad :
             {"inf",   "-inf",   "Infinity", "nan", "NAN",   "0x1p3", "0x10", "",      " ",
              "1e999", "-1e999", "1e",       "e5",  ".",     "-",     "+",    "1.2.3", "1,234.5",
              "1 2",   "2.5x",   "1e+",      "--1", "1e5.5", "$10",   "\t"})
            EXPECT_TRUE(!ReadDouble(bad, v = 7) && v == 0) << bad;
        for (const char* bad : {"1.5", "1,5", "abc", "", "2147483648", "-2147483649",
                                "99999999999999999999", "1e3", "$", "0x", "$G", "12a", "+-1"})
            EXPECT_TRUE(!ReadInt(bad, i = 7) && i == 0) << bad;
    }
    SetDecimalSeparator(',');
    std::string text = "3.25";
    EXPECT_EQ(ToLocalDecimal(text), "3,25");
}

TEST(NumText, FormatPatternsAndContrastColours)
{
    auto f = [](const char* pattern, double x, char sep = '.') {
        return FormatFloat(pattern, x, sep);
    };
    const double nan = std::nan("");
    const std::pair<std::string, std::string> texts[] = {
        {f("0.0##e+0", 0.001234), "1.234e-3"},
        {f("0.0##e+0", 12345.678), "1.235e+4"},
        {f("0.0##e+0", 0), "0.0e+0"},
        {f("0.0##e+0", -0.0099999, ','), "-1,0e-2"},
        {f("0.0##e+0", 9.9996), "1.0e+1"},
        {f("0.0##e+0", 5e-324), "5.0e-324"},
        {f("0.####", 1.23456, ','), "1,2346"},
        {f("0.####", -0.00004), "0"},
        {f("0.####", 0.00005), "0.0001"},
        {f("0.####", 1e20), "100000000000000000000"},
        {f("0.####", 9.99999), "10"},
        {f("0.###", 1.0005), "1.001"},
        {f("0.000", 2.0005), "2.001"},
        {f("0.000", -0.0001), "0.000"},
        {f("0.0#e+0", 1.2345e100), "1.23e+100"},
        {f("0.0#######", 2), "2.0"},
        {f("0.###e+0", 1), "1e+0"},
        {f("0.0E-00", 0.5), "5.0E-01"},
        {f("0.0E-00", 5e10), "5.0E10"},
        {f("0.####", nan), "NAN"},
        {f("0.####", -kInf), "-INF"},
        {FormatFloat("#,##0.##########", 1234567.25, ',', '.'), "1.234.567,25"},
        {FormatFloat("#,##0.##########", -123, '.', ','), "-123"},
        {FormatFloat("#,##0.#######", 1000, '.', ','), "1,000"},
        {FormatDisplay(-0.001, '.'), "-1.0e-3"},
        {FormatDisplay(0, '.'), "0"},
        {FormatDisplay(0.01, '.'), "0.01"},
        {FormatDisplay(123.45678, ','), "123,4568"},
        {FloatToStr(-2.5, ','), "-2,5"},
        {FloatToStr(0.1 + 0.2, '.'), "0.3"},
        {FloatToStr(1e14, '.'), "100000000000000"},
        {FloatToStr(1e15, '.'), "1E15"},
        {FloatToStr(0.00001, '.'), "0.00001"},
        {FloatToStr(-1.25e-7, ','), "-1,25E-7"},
        {FloatToStr(999999999999999.9, '.'), "1E15"},
        {ShortestFloatText(-1.5e20, ','), "-1,5e+20"}};
    for (std::size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(texts[i].first, texts[i].second) << "entry " << i;

    for (auto [colour, contrast] :
         {std::pair{0x000080u, 0u}, {0x7F7F7Fu, 0xFFFFFFu}, {0xFF7F7F7Fu, 0xFFFFFFu}})
        EXPECT_EQ(ContrastColor(colour), contrast) << std::hex << colour;
}

// Every format reads back with either separator: the shortest text exactly, the
// 15-digit text to 15 digits, the display formats to their digits.
TEST(NumText, FormatReadRoundTripsOverTheWholeRange)
{
    SeparatorGuard guard;
    std::mt19937_64 rng(7);
    for (char sep : {'.', ','}) {
        SetDecimalSeparator(sep);
        for (int i = 0; i < 20000; ++i) {
            const double x = RandomDouble(rng);
            const double y =
                std::ldexp(x, -std::ilogb(x == 0 ? 1 : x)) * 1000;  // |y| in [1000, 2000)
            double back = 0;
            const std::string shortest = ShortestFloatText(x, sep), general = FloatToStr(x),
                              display = FormatFloat("0.0##e+0", x),
                              fixed = FormatFloat("0.####", y);
            ASSERT_TRUE(ReadDouble(shortest, back) && back == x) << shortest;
            ASSERT_TRUE(ReadDouble(general, back)) << general;
            ASSERT_LE(std::fabs(back - x), 5.0000001e-15 * std::fabs(x)) << general;
            if (std::fabs(x) < 1e308) {
                ASSERT_TRUE(ReadDouble(display, back)) << display;
                ASSERT_LE(std::fabs(back - x), 5.0000001e-4 * std::fabs(x)) << display;
            }
            ASSERT_TRUE(ReadDouble(fixed, back)) << fixed;
            ASSERT_LE(std::fabs(back - y), 0.000050000001) << fixed;
        }
    }
}

}  // namespace
