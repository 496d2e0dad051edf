// Plain values of the program as Qt values: texts and colours.
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <string>

inline QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Colour of the class library (0x00BBGGRR) as a Qt colour; the top byte is ignored.
inline QColor ColourFromBGR(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
