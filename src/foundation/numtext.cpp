#include "foundation/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "foundation/errors.h"

namespace {

char g_decimalSeparator = '.';
char g_thousandSeparator = ',';

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal value 0.d1d2d3... x 10^exponent; no digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

void StripTrailingZeros(Decimal& d)
{
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d.exponent = 0;
}

// The shortest decimal text that reads back to the value.
Decimal ShortestDecimal(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0) return d;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific);
    const char* p = buffer;
    for (; p < result.ptr && *p != 'e'; ++p)
        if (IsDigit(*p)) d.digits.push_back(*p);
    int exponent = 0;
    if (p < result.ptr) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), result.ptr, exponent);
    d.exponent = exponent + 1;
    StripTrailingZeros(d);
    return d;
}

// Keeps `keep` significant digits, rounding a dropped half away from zero.
void RoundDecimal(Decimal& d, int keep)
{
    if (static_cast<int>(d.digits.size()) <= keep) return;
    if (keep < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9')
            d.digits[static_cast<size_t>(i--)] = '0';
        if (i >= 0) {
            ++d.digits[static_cast<size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    StripTrailingZeros(d);
}

std::string NonFinite(double value)
{
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

std::string Group(const std::string& digits, char separator)
{
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out.push_back(separator);
        out.push_back(digits[i]);
    }
    return out;
}

struct Pattern {
    int intRequired = 0;    // '0' before the point
    int intPlaces = 0;      // '0' and '#' before the point
    bool grouping = false;  // ',' before the point
    int fracRequired = 0;   // up to the last '0' after the point
    int fracPlaces = 0;     // '0' and '#' after the point
    bool scientific = false;
    char expLetter = 'e';
    bool expPlus = false;
    int expDigits = 0;
};

Pattern ParsePattern(const std::string& text)
{
    Pattern p;
    bool afterPoint = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == 'e' || c == 'E') && i + 1 < text.size() &&
            (text[i + 1] == '+' || text[i + 1] == '-')) {
            p.scientific = true;
            p.expLetter = c;
            p.expPlus = text[i + 1] == '+';
            for (size_t j = i + 2; j < text.size() && text[j] == '0' && p.expDigits < 4; ++j)
                ++p.expDigits;
            break;
        }
        if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            if (!afterPoint) p.grouping = true;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++p.fracPlaces;
                if (c == '0') p.fracRequired = p.fracPlaces;
            } else {
                ++p.intPlaces;
                if (c == '0') ++p.intRequired;
            }
        }
    }
    return p;
}

// Skips leading blanks and an optional sign; true for a minus.
bool SkipBlanksAndSign(const std::string& text, size_t& i)
{
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return text[i++] == '-';
    return false;
}

// Parses the strict number grammar
//   [blanks][sign](digits[.[digits]] | .digits)[(e|E)[sign]digits][blanks]
// with '.' or ',' as the point.
bool ParseDecimalText(const std::string& text, double& value)
{
    const size_t n = text.size();
    size_t i = 0;
    const bool negative = SkipBlanksAndSign(text, i);
    std::string mantissaInt, mantissaFrac;
    while (i < n && IsDigit(text[i])) mantissaInt.push_back(text[i++]);
    if (i < n && (text[i] == '.' || text[i] == ',')) {
        ++i;
        while (i < n && IsDigit(text[i])) mantissaFrac.push_back(text[i++]);
    }
    if (mantissaInt.empty() && mantissaFrac.empty()) return false;
    bool expNegative = false;
    std::string expDigits;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) expNegative = text[i++] == '-';
        while (i < n && IsDigit(text[i])) expDigits.push_back(text[i++]);
        if (expDigits.empty()) return false;
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n) return false;

    std::string canonical = (mantissaInt.empty() ? "0" : mantissaInt) + "." + mantissaFrac + "0e" +
                            (expNegative ? "-" : "") + (expDigits.empty() ? "0" : expDigits);
    double magnitude = 0;
    const auto result =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), magnitude);
    if (result.ptr != canonical.data() + canonical.size()) return false;
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow gives zero; overflow is no number. Decide by the decimal
        // exponent of the first nonzero digit.
        long long firstDigit = 0;
        const std::string all = mantissaInt + mantissaFrac;
        const size_t nz = all.find_first_not_of('0');
        if (nz == std::string::npos) {
            magnitude = 0;
        } else {
            firstDigit = static_cast<long long>(mantissaInt.size()) - static_cast<long long>(nz);
            long long exponent = 0;
            for (char c : expDigits)
                exponent = std::min<long long>(exponent * 10 + (c - '0'), 1000000000LL);
            if (expNegative) exponent = -exponent;
            if (firstDigit + exponent > 0) return false;
            magnitude = 0;
        }
    } else if (result.ec != std::errc()) {
        return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

bool ParseIntText(const std::string& text, int& value)
{
    const size_t n = text.size();
    size_t i = 0;
    const bool negative = SkipBlanksAndSign(text, i);
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    long long magnitude = 0;
    size_t digits = 0;
    for (; i < n; ++i, ++digits) {
        const char c = text[i];
        int d;
        if (IsDigit(c))
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        magnitude = magnitude * base + d;
        if (magnitude > 2147483648LL) return false;
    }
    if (digits == 0) return false;
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n) return false;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max() ||
        signedValue < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(signedValue);
    return true;
}

}  // namespace

char DecimalSeparator()
{
    return g_decimalSeparator;
}
void SetDecimalSeparator(char separator)
{
    g_decimalSeparator = separator;
}
char ThousandSeparator()
{
    return g_thousandSeparator;
}
void SetThousandSeparator(char separator)
{
    g_thousandSeparator = separator;
}

double RoundD(double x, int digits)
{
    if (digits < 1 || digits > 18 || !std::isfinite(x)) ThrowErrorCode(-4, "work>>RoundD");
    if (x == 0) return x;
    // Decimal exponent E with x = 0.d1d2... x 10^E, from an 18-digit decomposition.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17Le", static_cast<long double>(x));
    const char* e = buffer;
    while (*e && *e != 'e') ++e;
    const int exponent = std::atoi(e + 1) + 1;
    // Scaled in extended precision so that subnormal scales stay representable.
    const long double scale = std::pow(10.0L, static_cast<long double>(exponent - 1));
    const long double factor = std::pow(10.0L, static_cast<long double>(digits - 1));
    const long double rounded =
        std::nearbyint(static_cast<long double>(x) / scale * factor) / factor * scale;
    // Rounding up near the largest double stays at the largest double.
    const long double largest = std::numeric_limits<double>::max();
    if (std::fabs(rounded) > largest) return std::copysign(std::numeric_limits<double>::max(), x);
    return static_cast<double>(rounded);
}

double TruncD(double x)
{
    return std::trunc(x);
}

double FracD(double x)
{
    return RoundD(x - TruncD(x), 12);
}

std::string ReplaceDecimalSeparator(std::string& text, char separator)
{
    for (char& c : text) {
        if (separator == '.') {
            if (c == ',') c = '.';
        } else if (c == '.') {
            c = separator;
        }
    }
    return text;
}

std::string ToLocalDecimal(std::string& text)
{
    return ReplaceDecimalSeparator(text, DecimalSeparator());
}

bool ReadDouble(std::string text, double& value)
{
    ToLocalDecimal(text);
    value = 0;
    double parsed = 0;
    // The program's separator is '.' or ','; both are read as the point.
    if (!ParseDecimalText(text, parsed)) return false;
    value = parsed;
    return true;
}

bool ReadInt(std::string text, int& value)
{
    ToLocalDecimal(text);
    value = 0;
    int parsed = 0;
    if (!ParseIntText(text, parsed)) return false;
    value = parsed;
    return true;
}

TColor ContrastColor(TColor colour)
{
    const bool light =
        (colour & 0xFF) >= 128 || ((colour >> 8) & 0xFF) >= 128 || ((colour >> 16) & 0xFF) >= 128;
    return light ? 0x000000 : 0xFFFFFF;
}

std::string FormatFloat(const std::string& patternText, double value, char decimalSeparator,
                        char thousandSeparator)
{
    if (!std::isfinite(value)) return NonFinite(value);
    const Pattern p = ParsePattern(patternText);
    Decimal d = ShortestDecimal(value);
    std::string intPart, fracPart, expPart;
    if (p.scientific) {
        const int intDigits = std::max(1, p.intPlaces);
        RoundDecimal(d, intDigits + p.fracPlaces);
        const int shown = d.digits.empty() ? 0 : d.exponent - intDigits;
        std::string all = d.digits;
        if (static_cast<int>(all.size()) < intDigits)
            all.append(static_cast<size_t>(intDigits) - all.size(), '0');
        intPart = all.substr(0, static_cast<size_t>(intDigits));
        fracPart = all.substr(static_cast<size_t>(intDigits));
        std::string expText = std::to_string(shown < 0 ? -shown : shown);
        if (static_cast<int>(expText.size()) < p.expDigits)
            expText.insert(0, static_cast<size_t>(p.expDigits) - expText.size(), '0');
        expPart.push_back(p.expLetter);
        if (shown < 0)
            expPart.push_back('-');
        else if (p.expPlus)
            expPart.push_back('+');
        expPart += expText;
    } else {
        RoundDecimal(d, d.exponent + p.fracPlaces);
        if (!d.digits.empty()) {
            if (d.exponent > 0) {
                const size_t intCount = static_cast<size_t>(d.exponent);
                intPart = d.digits.substr(0, std::min(intCount, d.digits.size()));
                if (intPart.size() < intCount) intPart.append(intCount - intPart.size(), '0');
                if (d.digits.size() > intCount) fracPart = d.digits.substr(intCount);
            } else {
                fracPart = std::string(static_cast<size_t>(-d.exponent), '0') + d.digits;
            }
        }
        // Leading zeros of the integer part beyond the required ones are not written.
        const size_t firstNonZero = intPart.find_first_not_of('0');
        intPart = firstNonZero == std::string::npos ? std::string() : intPart.substr(firstNonZero);
    }
    if (static_cast<int>(intPart.size()) < p.intRequired)
        intPart.insert(0, static_cast<size_t>(p.intRequired) - intPart.size(), '0');
    if (static_cast<int>(fracPart.size()) < p.fracRequired)
        fracPart.append(static_cast<size_t>(p.fracRequired) - fracPart.size(), '0');
    if (p.grouping) intPart = Group(intPart, thousandSeparator);

    std::string out;
    if (d.negative && !d.digits.empty()) out.push_back('-');
    out += intPart;
    if (!fracPart.empty()) {
        out.push_back(decimalSeparator);
        out += fracPart;
    }
    out += expPart;
    return out;
}

std::string FormatFloat(const std::string& pattern, double value, char decimalSeparator)
{
    return FormatFloat(pattern, value, decimalSeparator, ThousandSeparator());
}

std::string FormatFloat(const std::string& pattern, double value)
{
    return FormatFloat(pattern, value, DecimalSeparator(), ThousandSeparator());
}

std::string FloatToStr(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) return NonFinite(value);
    if (value == 0) return "0";
    // 15 significant digits, correctly rounded from the binary value.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p && *p != 'e'; ++p)
        if (IsDigit(*p)) digits.push_back(*p);
    const int e = std::atoi(p + 1);  // value = d.ddd x 10^e
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (e < -5 || e >= 15) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back(decimalSeparator);
            out += digits.substr(1);
        }
        out += "E" + std::to_string(e);
        return out;
    }
    if (e < 0) {
        out += "0";
        out.push_back(decimalSeparator);
        out += std::string(static_cast<size_t>(-e - 1), '0') + digits;
        return out;
    }
    const size_t intCount = static_cast<size_t>(e) + 1;
    std::string intPart = digits.substr(0, std::min(intCount, digits.size()));
    if (intPart.size() < intCount) intPart.append(intCount - intPart.size(), '0');
    out += intPart;
    if (digits.size() > intCount) {
        out.push_back(decimalSeparator);
        out += digits.substr(intCount);
    }
    return out;
}

std::string FloatToStr(double value)
{
    return FloatToStr(value, DecimalSeparator());
}

std::string ShortestFloatText(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) return NonFinite(value);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string out(buffer, result.ptr);
    for (char& c : out)
        if (c == '.') c = decimalSeparator;
    return out;
}

std::string FormatDisplay(double value, char decimalSeparator)
{
    const bool small = value != 0 && std::fabs(value) < 0.01;
    return FormatFloat(small ? "0.0##e+0" : "0.####", value, decimalSeparator);
}

std::string FormatDisplay(double value)
{
    return FormatDisplay(value, DecimalSeparator());
}
