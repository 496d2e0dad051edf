#include "composition/amplitudes.h"

#include "foundation/numtext.h"

std::string AmplitudeSettings::DigitsText() const
{
    return std::to_string(Digits);
}
std::string AmplitudeSettings::ZeroText() const
{
    return ShortestFloatText(Zero, DecimalSeparator());
}
std::string AmplitudeSettings::ApplyInjText() const
{
    return ShortestFloatText(ApplyInj, DecimalSeparator());
}
std::string AmplitudeSettings::UniformText() const
{
    return ShortestFloatText(Uniform, DecimalSeparator());
}

void AmplitudeSettings::EditDigits(const std::string& text)
{
    int v;
    if (!ReadInt(text, v)) return;
    Digits = v < 1 ? 1 : (v > 18 ? 18 : v);
}

void AmplitudeSettings::EditZero(const std::string& text)
{
    double v;
    if (ReadDouble(text, v)) Zero = v < 0 ? 0.0 : v;
}

void AmplitudeSettings::EditApplyInj(const std::string& text)
{
    double v;
    if (ReadDouble(text, v)) ApplyInj = v < -1 ? -1.0 : v;
}

void AmplitudeSettings::EditUniform(const std::string&) {}

int AmplitudeClickRow(int row, int rowCount)
{
    if (rowCount >= 5 && row > rowCount - 4) return rowCount - 4;
    return row;
}
