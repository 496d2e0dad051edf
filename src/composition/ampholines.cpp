#include "composition/ampholines.h"

#include "composition/composition_panel.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr const char* kAmpholinesRejected = "Incorrect input. Action cancelled.";

}  // namespace

AmpholinesWizard::AmpholinesWizard() = default;

int AmpholinesWizard::ChargeOfStep(int k) const
{
    int z = neg + k / 3;
    if (z >= 0) ++z;
    return z;
}

std::string AmpholinesWizard::Prompt() const
{
    switch (step_) {
    case 1: return "Enter number of ampholines to create: ";
    case 2: return "Enter unique prefix of ampholines: ";
    case 3: return "Enter the most negative charge (Neg): ";
    case 4: return "Enter the most positive charge (Pos): ";
    case 5: {
        const std::string z = std::to_string(ChargeOfStep(sub_));
        switch (sub_ % 3) {
        case 0: return "Enter the lowest value of pK for charge " + z + ": ";
        case 1: return "Enter the difference (step) between two pK values for charge " + z + ": ";
        default: return "Enter mobility for charge " + z + ": ";
        }
    }
    default: return "Enter uniform concentration: ";
    }
}

std::string AmpholinesWizard::Default() const
{
    return step_ == 2 ? "Amph" : "";
}

AmpholinesWizard::State AmpholinesWizard::Reject()
{
    ShowMessage(kAmpholinesRejected);
    return state_ = State::Rejected;
}

AmpholinesWizard::State AmpholinesWizard::Answer(const std::string& text,
                                                 TUnivSet<TComponents>& composition,
                                                 TColor simColor, TColor detColor)
{
    if (state_ != State::Asking) return state_;
    int i;
    double d;
    switch (step_) {
    case 1:
        if (!ReadInt(text, i)) i = -1;
        if (i < 1 || i > kPanelMaxRows) return Reject();
        count = i;
        step_ = 2;
        return state_;
    case 2:
        prefix = text;
        step_ = 3;
        return state_;
    case 3:
        if (!ReadInt(text, i)) i = 1;
        if (i > 0 || i < -kMaxChargeMagnitude) return Reject();
        neg = i;
        step_ = 4;
        return state_;
    case 4:
        if (!ReadInt(text, i)) i = -1;
        if (i < 0 || i > kMaxChargeMagnitude) return Reject();
        pos = i;
        start.assign(static_cast<std::size_t>(pos - neg + 1), 0.0);
        step = mobility = start;
        sub_ = 0;
        step_ = PerChargeSteps() > 0 ? 5 : 6;
        return state_;
    case 5: {
        if (!ReadDouble(text, d)) d = 0.0;
        const auto k = static_cast<std::size_t>(ChargeOfStep(sub_) - neg);
        if (sub_ % 3 == 0)
            start[k] = d;
        else if (sub_ % 3 == 1)
            step[k] = d;
        else
            mobility[k] = std::fabs(d);
        if (++sub_ >= PerChargeSteps()) step_ = 6;
        return state_;
    }
    default:
        if (!ReadDouble(text, d) || !InRange(kConcentrationRange, d)) return Reject();
        // The pK of the last member must be a number too (a huge start or step overflows).
        for (std::size_t p = 0; p < start.size(); ++p)
            if (!std::isfinite(start[p] + (count - 1) * step[p])) return Reject();
        conc = d;
        if (!Confirm("Continue and create new constituents?")) return state_ = State::Declined;
        Create(composition, simColor, detColor);
        return state_ = State::Created;
    }
}

void AmpholinesWizard::Create(TUnivSet<TComponents>& composition, TColor simColor,
                              TColor detColor) const
{
    for (int k = 1; k <= count; ++k) {
        TComponents c;
        c.name = prefix + std::to_string(k);
        c.minCharge = neg;
        c.maxCharge = pos;
        c.c = 0;
        c.cInj = conc;
        c.type = 0;
        c.AllocChargeRows();
        for (int z = neg; z <= pos; ++z) {
            if (z == 0) continue;
            const auto p = static_cast<std::size_t>(z - neg);
            if (p < start.size()) c.pKa[1][p] = start[p] + (k - 1) * step[p];
            if (p < mobility.size()) c.u[1][p] = std::fabs(mobility[p]);
        }
        c.mode = 1;
        c.colour = static_cast<int>(AmpholineColour(simColor, detColor));
        bool replaced = false;
        for (auto* n = composition.Head(); n && !replaced; n = n->next)
            if (n->data.name == c.name) {
                n->data = c;
                replaced = true;
            }
        if (!replaced) composition.Add(c);
    }
}

TColor AmpholineColour(TColor simColor, TColor detColor)
{
    const TColor r = static_cast<TColor>(std::rand() % 256);
    const TColor g = static_cast<TColor>(std::rand() % 256);
    const TColor b = static_cast<TColor>(std::rand() % 256);
    const TColor c = r + 256 * g + 65536 * b;
    if (c == simColor || c == detColor || c == 15827199 || c == 0) return 51400;
    return c;
}
