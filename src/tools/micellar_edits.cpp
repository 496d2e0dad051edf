#include "tools/micellar_edits.h"

#include "engine/modes/micellar/micellar_settings.h"
#include "foundation/numtext.h"

namespace {

std::string StepText(double v)
{
    return v >= 0.01 ? FormatFloat("0.####", v) : FormatFloat("0.0##e+0", v);
}

}  // namespace

bool AcceptMicellarValue(MicellarSettings& m, MicellarEdit edit, double value, int compositionCount)
{
    const int whole = static_cast<int>(value);
    switch (edit) {
    case MicellarEdit::NDet:
        if (whole < 1 || whole > compositionCount) return false;
        m.MicCompNo = whole;
        return true;
    case MicellarEdit::Mic: m.MicMob = value * 1e-9; return true;
    case MicellarEdit::CMC:
        if (value < 0) return false;
        m.CMC = value;
        return true;
    case MicellarEdit::OM:
        if (whole <= 0) return false;
        m.OM = whole;
        return true;
    case MicellarEdit::CMCL:
        if (value < 0) return false;
        m.CMCL = value;
        return true;
    case MicellarEdit::CMCR:
        if (value < 0) return false;
        m.CMCR = value;
        return true;
    case MicellarEdit::CMCC: m.CMCC = whole; return true;
    case MicellarEdit::CMCW:
        if (whole <= 0) return false;
        m.CMCW = whole;
        return true;
    }
    return false;
}

std::string MicellarEditText(const MicellarSettings& m, MicellarEdit edit)
{
    switch (edit) {
    case MicellarEdit::NDet: return std::to_string(m.MicCompNo);
    case MicellarEdit::Mic: return StepText(m.MicMob * 1e9);
    case MicellarEdit::CMC: return FloatToStr(m.CMC);
    case MicellarEdit::OM: return std::to_string(m.OM);
    case MicellarEdit::CMCL: return StepText(m.CMCL);
    case MicellarEdit::CMCR: return StepText(m.CMCR);
    case MicellarEdit::CMCC: return std::to_string(m.CMCC);
    case MicellarEdit::CMCW: return std::to_string(m.CMCW);
    }
    return {};
}
