#include "foundation/numtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "foundation/errors.h"

namespace {

// Restores the program's separators after a test changed them.
struct SeparatorGuard {
    char decimal = DecimalSeparator();
    char thousand = ThousandSeparator();
    ~SeparatorGuard()
    {
        SetDecimalSeparator(decimal);
        SetThousandSeparator(thousand);
    }
};

std::string RoundDRaised(double x, int digits)
{
    try {
        RoundD(x, digits);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "<nothing raised>";
}

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
    EXPECT_EQ(RoundD(27, 1), 30);
    EXPECT_EQ(RoundD(2.5, 1), 2);
    EXPECT_EQ(RoundD(3.5, 1), 4);
    EXPECT_EQ(RoundD(-2.5, 1), -2);
    EXPECT_EQ(RoundD(25, 1), 20);
    EXPECT_EQ(RoundD(35, 1), 40);
    EXPECT_EQ(RoundD(-45, 1), -40);
    EXPECT_EQ(RoundD(125, 2), 120);
    EXPECT_EQ(RoundD(135, 2), 140);
    EXPECT_EQ(RoundD(1.25, 2), 1.2);
    EXPECT_EQ(RoundD(1.75, 2), 1.8);
    EXPECT_EQ(RoundD(0, 5), 0);
    EXPECT_NEAR(RoundD(0.0012345, 3), 0.00123, 1e-18);
    EXPECT_NEAR(RoundD(123.456, 2), 120, 1e-13);
    EXPECT_NEAR(RoundD(9.96, 2), 10, 1e-14);
    EXPECT_NEAR(RoundD(-1.23456789e-200, 4), -1.235e-200, 1e-214);
    EXPECT_NEAR(RoundD(9.87654321e300, 3), 9.88e300, 1e286);
    EXPECT_EQ(RoundD(4.9e-324, 3), 4.9e-324);
    EXPECT_EQ(RoundD(std::numeric_limits<double>::max(), 3), std::numeric_limits<double>::max());
    EXPECT_EQ(RoundD(-1.79e308, 2), -std::numeric_limits<double>::max());   // not -inf   // the smallest subnormal survives the scaling

    // 18 digits give every double back.
    std::mt19937_64 rng(42);
    for (int i = 0; i < 20000; ++i) {
        const double x = RandomDouble(rng);
        ASSERT_EQ(RoundD(x, 18), x) << x;
    }

    const std::string raised = "(work>>RoundD): " + ErrorCodeText(-4);
    EXPECT_EQ(RoundDRaised(1.0, 0), raised);
    EXPECT_EQ(RoundDRaised(1.0, 19), raised);
    EXPECT_EQ(RoundDRaised(std::numeric_limits<double>::infinity(), 3), raised);
    EXPECT_EQ(RoundDRaised(-std::numeric_limits<double>::infinity(), 3), raised);
    EXPECT_EQ(RoundDRaised(std::nan(""), 3), raised);

    EXPECT_EQ(TruncD(-2.7), -2);
    EXPECT_EQ(TruncD(2.999), 2);
    EXPECT_EQ(TruncD(1e300), 1e300);
    EXPECT_EQ(FracD(-2.75), -0.75);
    EXPECT_EQ(FracD(5), 0);
    EXPECT_EQ(FracD(1e300), 0);
    EXPECT_NEAR(FracD(2.1), 0.1, 1e-15);
    EXPECT_EQ(FAbs(-3.5), 3.5);
}

TEST(NumText, ReadNumbersStrictlyWithEitherSeparator)
{
    SeparatorGuard guard;
    for (char sep : {'.', ','}) {
        SetDecimalSeparator(sep);
        double v = 99;
        EXPECT_TRUE(ReadDouble("2.5", v));
        EXPECT_EQ(v, 2.5);
        EXPECT_TRUE(ReadDouble("2,5", v));
        EXPECT_EQ(v, 2.5);
        EXPECT_TRUE(ReadDouble(" -.5 ", v));
        EXPECT_EQ(v, -0.5);
        EXPECT_TRUE(ReadDouble("5.", v));
        EXPECT_EQ(v, 5);
        EXPECT_TRUE(ReadDouble("+1E3", v));
        EXPECT_EQ(v, 1000);
        EXPECT_TRUE(ReadDouble("1,5e-3", v));
        EXPECT_EQ(v, 0.0015);
        EXPECT_TRUE(ReadDouble("4.9e-324", v));
        EXPECT_EQ(v, 4.9e-324);
        EXPECT_TRUE(ReadDouble("1e-400", v));   // below the smallest double: zero
        EXPECT_EQ(v, 0);
        EXPECT_TRUE(ReadDouble("0.000000000000000000000000000000000000000000001e10", v));
        EXPECT_EQ(v, 1e-35);
        EXPECT_TRUE(ReadDouble("1.7976931348623157e308", v));
        EXPECT_EQ(v, std::numeric_limits<double>::max());
        for (const char* bad : {"inf", "-inf", "Infinity", "nan", "NAN", "0x1p3", "0x10", "", " ", "1e999",
                                "-1e999", "1e", "e5", ".", "-", "+", "1.2.3", "1,234.5", "1 2", "2.5x", "1e+",
                                "--1", "1e5.5", "$10", "\t"}) {
            v = 7;
            EXPECT_FALSE(ReadDouble(bad, v)) << bad;
            EXPECT_EQ(v, 0) << bad;
        }

        int i = 99;
        EXPECT_TRUE(ReadInt("12", i));
        EXPECT_EQ(i, 12);
        EXPECT_TRUE(ReadInt(" -7 ", i));
        EXPECT_EQ(i, -7);
        EXPECT_TRUE(ReadInt("$FF", i));
        EXPECT_EQ(i, 255);
        EXPECT_TRUE(ReadInt("0x1f", i));
        EXPECT_EQ(i, 31);
        EXPECT_TRUE(ReadInt("2147483647", i));
        EXPECT_EQ(i, 2147483647);
        EXPECT_TRUE(ReadInt("-2147483648", i));
        EXPECT_EQ(i, std::numeric_limits<int>::min());
        for (const char* bad : {"1.5", "1,5", "abc", "", "2147483648", "-2147483649", "99999999999999999999",
                                "1e3", "$", "0x", "$G", "12a", "+-1"}) {
            i = 7;
            EXPECT_FALSE(ReadInt(bad, i)) << bad;
            EXPECT_EQ(i, 0) << bad;
        }
    }

    // The C locale's separator plays no part.
    const char* oldLocale = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = oldLocale ? oldLocale : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE", "cs_CZ.UTF-8", "fr_FR.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        double v = 0;
        EXPECT_TRUE(ReadDouble("2.5", v));
        EXPECT_EQ(v, 2.5);
        EXPECT_EQ(FormatFloat("0.0##e+0", 0.001234, '.'), "1.234e-3");
        EXPECT_EQ(FloatToStr(0.25, '.'), "0.25");
        EXPECT_EQ(RoundD(27, 1), 30);
        break;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumText, SeparatorsAndColours)
{
    SeparatorGuard guard;
    std::string text = "1.5,2.5";
    EXPECT_EQ(ReplaceDecimalSeparator(text, ','), "1,5,2,5");
    EXPECT_EQ(text, "1,5,2,5");
    EXPECT_EQ(ReplaceDecimalSeparator(text, '.'), "1.5.2.5");
    SetDecimalSeparator(',');
    std::string local = "3.25";
    EXPECT_EQ(ToLocalDecimal(local), "3,25");
    EXPECT_EQ(local, "3,25");

    EXPECT_EQ(ContrastColor(0x000080), 0u);
    EXPECT_EQ(ContrastColor(0x7F7F7F), 0xFFFFFFu);
    EXPECT_EQ(ContrastColor(0xFF0000), 0u);
    EXPECT_EQ(ContrastColor(0x008000), 0u);
    EXPECT_EQ(ContrastColor(0x000000), 0xFFFFFFu);
    EXPECT_EQ(ContrastColor(0xFF7F7F7F), 0xFFFFFFu);   // the top byte is ignored
}

TEST(NumText, FormatPatterns)
{
    EXPECT_EQ(FormatFloat("0.0##e+0", 0.001234, '.'), "1.234e-3");
    EXPECT_EQ(FormatFloat("0.0##e+0", 12345.678, '.'), "1.235e+4");
    EXPECT_EQ(FormatFloat("0.0##e+0", 0, '.'), "0.0e+0");
    EXPECT_EQ(FormatFloat("0.0##e+0", -0.0099999, ','), "-1,0e-2");
    EXPECT_EQ(FormatFloat("0.0##e+0", 9.9996, '.'), "1.0e+1");
    EXPECT_EQ(FormatFloat("0.0##e+0", 5e-324, '.'), "5.0e-324");   // digits of the shortest text
    EXPECT_EQ(FormatFloat("0.0##e+0", 1.5e300, '.'), "1.5e+300");
    EXPECT_EQ(FormatFloat("0.####", 2.5, '.'), "2.5");
    EXPECT_EQ(FormatFloat("0.####", 1.23456, ','), "1,2346");
    EXPECT_EQ(FormatFloat("0.####", 0.00004, '.'), "0");
    EXPECT_EQ(FormatFloat("0.####", -0.00004, '.'), "0");
    EXPECT_EQ(FormatFloat("0.####", 0.00005, '.'), "0.0001");
    EXPECT_EQ(FormatFloat("0.####", -12, '.'), "-12");
    EXPECT_EQ(FormatFloat("0.####", 1e20, '.'), "100000000000000000000");
    EXPECT_EQ(FormatFloat("0.####", 9.99999, '.'), "10");
    EXPECT_EQ(FormatFloat("0.###", 1.0005, '.'), "1.001");
    EXPECT_EQ(FormatFloat("0.###", 0.15, '.'), "0.15");
    EXPECT_EQ(FormatFloat("0.#####", 0.123456789, '.'), "0.12346");
    EXPECT_EQ(FormatFloat("0.000", 1, '.'), "1.000");
    EXPECT_EQ(FormatFloat("0.000", 2.0005, '.'), "2.001");
    EXPECT_EQ(FormatFloat("0.000", -0.0001, '.'), "0.000");
    EXPECT_EQ(FormatFloat("0.0#e+0", 0, '.'), "0.0e+0");
    EXPECT_EQ(FormatFloat("0.0#e+0", 1e-100, '.'), "1.0e-100");
    EXPECT_EQ(FormatFloat("0.0#e+0", 1.2345e100, '.'), "1.23e+100");
    EXPECT_EQ(FormatFloat("0.0e+0", 0.00012, '.'), "1.2e-4");
    EXPECT_EQ(FormatFloat("0.0e+0", 3, '.'), "3.0e+0");
    EXPECT_EQ(FormatFloat("0.0#######", 1.0 / 3, '.'), "0.33333333");
    EXPECT_EQ(FormatFloat("0.0#######", 2, '.'), "2.0");
    EXPECT_EQ(FormatFloat("0.###e+0", 123456, '.'), "1.235e+5");
    EXPECT_EQ(FormatFloat("0.###e+0", 1, '.'), "1e+0");
    EXPECT_EQ(FormatFloat("0.0E-00", 0.5, '.'), "5.0E-01");
    EXPECT_EQ(FormatFloat("0.0E-00", 5e10, '.'), "5.0E10");
    EXPECT_EQ(FormatFloat("#,##0.##########", 1234567.25, '.', ','), "1,234,567.25");
    EXPECT_EQ(FormatFloat("#,##0.##########", 1234567.25, ',', '.'), "1.234.567,25");
    EXPECT_EQ(FormatFloat("#,##0.##########", 0.5, '.', ','), "0.5");
    EXPECT_EQ(FormatFloat("#,##0.##########", -123, '.', ','), "-123");
    EXPECT_EQ(FormatFloat("#,##0.#######", 1000, '.', ','), "1,000");
    EXPECT_EQ(FormatFloat("0.####", std::nan(""), '.'), "NAN");
    EXPECT_EQ(FormatFloat("0.####", -std::numeric_limits<double>::infinity(), '.'), "-INF");

    EXPECT_EQ(FormatDisplay(0.005, '.'), "5.0e-3");
    EXPECT_EQ(FormatDisplay(-0.001, '.'), "-1.0e-3");
    EXPECT_EQ(FormatDisplay(0, '.'), "0");
    EXPECT_EQ(FormatDisplay(0.01, '.'), "0.01");
    EXPECT_EQ(FormatDisplay(123.45678, ','), "123,4568");

    EXPECT_EQ(FloatToStr(0, '.'), "0");
    EXPECT_EQ(FloatToStr(1.5, '.'), "1.5");
    EXPECT_EQ(FloatToStr(-2.5, ','), "-2,5");
    EXPECT_EQ(FloatToStr(100, '.'), "100");
    EXPECT_EQ(FloatToStr(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(FloatToStr(1.0 / 3, '.'), "0.333333333333333");
    EXPECT_EQ(FloatToStr(1e14, '.'), "100000000000000");
    EXPECT_EQ(FloatToStr(1e15, '.'), "1E15");
    EXPECT_EQ(FloatToStr(1.5e20, '.'), "1.5E20");
    EXPECT_EQ(FloatToStr(0.00001, '.'), "0.00001");
    EXPECT_EQ(FloatToStr(0.000001, '.'), "1E-6");
    EXPECT_EQ(FloatToStr(-1.25e-7, ','), "-1,25E-7");
    EXPECT_EQ(FloatToStr(999999999999999.9, '.'), "1E15");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity(), '.'), "INF");

    EXPECT_EQ(ShortestFloatText(0.1, '.'), "0.1");
    EXPECT_EQ(ShortestFloatText(0.1, ','), "0,1");
    EXPECT_EQ(ShortestFloatText(-1.5e20, '.'), "-1.5e+20");
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
            double back = 0;
            const std::string shortest = ShortestFloatText(x, sep);
            ASSERT_TRUE(ReadDouble(shortest, back)) << shortest;
            ASSERT_EQ(back, x) << shortest;

            const std::string general = FloatToStr(x);
            ASSERT_TRUE(ReadDouble(general, back)) << general;
            ASSERT_LE(std::fabs(back - x), 5.0000001e-15 * std::fabs(x)) << general;

            if (std::fabs(x) < 1e308) {
                const std::string display = FormatFloat("0.0##e+0", x);
                ASSERT_TRUE(ReadDouble(display, back)) << display;
                ASSERT_LE(std::fabs(back - x), 5.0000001e-4 * std::fabs(x)) << display;
            }
            const double y = std::ldexp(x, -std::ilogb(x == 0 ? 1 : x)) * 1000;   // |y| in [1000, 2000)
            const std::string fixed = FormatFloat("0.####", y);
            ASSERT_TRUE(ReadDouble(fixed, back)) << fixed;
            ASSERT_LE(std::fabs(back - y), 0.000050000001) << fixed;
        }
    }
}

}  // namespace
