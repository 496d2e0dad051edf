#include "foundation/field_rules.h"

#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

#include <cmath>
#include <limits>

bool InRange(const FieldRange& r, double v)
{
    if (!std::isfinite(v) || v > r.high) return false;
    if (r.whole && v != std::trunc(v)) return false;
    return r.lowIncluded ? v >= r.low : v > r.low;
}

bool TakeTyped(const std::string& field, const std::string& text, const FieldRange& r,
               double& value)
{
    double v = 0;
    bool read = false;
    if (r.whole) {
        int i = 0;
        read = ReadInt(text, i);
        v = i;
    } else {
        read = ReadDouble(text, v);
    }
    if (!read || !InRange(r, v)) {
        ShowWarning(FieldRefusedText(field, text, r));
        return false;
    }
    value = v;
    return true;
}

std::string RangeText(const FieldRange& r)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    return FieldRangeText(r.whole, r.low > -kMax ? FloatToStr(r.low) : "", r.lowIncluded,
                          r.high < kMax ? FloatToStr(r.high) : "");
}

std::string FieldRefusedText(const std::string& field, const std::string& text, const FieldRange& r)
{
    return FieldRefusalText(field, text, RangeText(r));
}
