// Number texts and rounding.
//
// Typed numbers are read with `ReadInt` and `ReadDouble`, which accept both the
// point and the comma as decimal separator whatever the locale and report a bad
// text by a false result. The parsers are strict: no "inf", "nan", hexadecimal
// floating forms, and no dependence on the C locale.
//
// Numbers are shown with `FormatFloat` patterns ("0.0##e+0", "0.####", ...), the
// general 15-digit form `FloatToStr`, or `FormatDisplay` (the numeric-edit rule).
// The program's decimal separator is one process-wide character (default '.'),
// set by the application at start-up.
#pragma once

#include <cstdint>
#include <string>

// Platform colour: 0x00BBGGRR.
using TColor = std::uint32_t;

// The program's decimal and thousands separators.
char DecimalSeparator();
void SetDecimalSeparator(char separator);
char ThousandSeparator();
void SetThousandSeparator(char separator);

// x rounded to `digits` significant decimal digits, halves to even. Raises code
// -4 "work>>RoundD" for digits outside 1..18 and for an infinite or NaN x.
double RoundD(double x, int digits);
// x truncated toward zero.
double TruncD(double x);
// x - TruncD(x) rounded to 12 significant digits (keeps the sign of x).
double FracD(double x);

// Every '.' becomes `separator`, or every ',' becomes '.' when separator is '.'.
// Changes `text` and returns the changed text.
std::string ReplaceDecimalSeparator(std::string& text, char separator);
// ReplaceDecimalSeparator with the program's decimal separator.
std::string ToLocalDecimal(std::string& text);

// Strict decimal number, "." or "," as separator, optional blanks around it and
// an optional exponent. False and 0 for anything else (an overflow included).
bool ReadDouble(std::string text, double& value);
// Decimal integer, or hexadecimal after "$" or "0x", optional sign and blanks;
// false and 0 for anything else (a fraction, or a value outside 32 bits).
bool ReadInt(std::string text, int& value);

// Black (0) on a colour with any of its red, green, blue bytes at 128 or more,
// otherwise white (0xFFFFFF).
TColor ContrastColor(TColor colour);

// Formats with a pattern: '0' a digit always shown, '#' a digit shown when not
// zero, '.' the decimal point (written as `decimalSeparator`), ',' thousands
// grouping, "e+0" / "e-0" / "E+0" / "E-0" a decimal exponent ('+' always shows
// its sign, the zeros give the least number of exponent digits). Decimal
// halves round away from zero on the shortest text of the value. Non-finite
// values give "NAN", "INF", "-INF".
std::string FormatFloat(const std::string& pattern, double value, char decimalSeparator,
                        char thousandSeparator);
std::string FormatFloat(const std::string& pattern, double value, char decimalSeparator);
std::string FormatFloat(const std::string& pattern, double value);

// General form with up to 15 significant digits: fixed notation for values from
// 1e-5 with at most 15 integer digits, otherwise "1.5E20", "1E-6" (no '+', no
// leading exponent zeros). Trailing zeros are dropped; 0 is "0".
std::string FloatToStr(double value, char decimalSeparator);
std::string FloatToStr(double value);

// The shortest text that reads back to the same double ("0.1", "1e-05",
// "1.5e+20"), with the given decimal separator; for text exports.
std::string ShortestFloatText(double value, char decimalSeparator);

// The numeric-edit convention: "0.0##e+0" for a nonzero value below 0.01 in
// magnitude, "0.####" otherwise.
std::string FormatDisplay(double value, char decimalSeparator);
std::string FormatDisplay(double value);
