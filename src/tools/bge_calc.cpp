#include "tools/bge_calc.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

namespace {

constexpr int kLevel = 2;              // concentration level of the one-node state
constexpr double kStartCH = 1e-5;      // mM, start and first restart value of Newton's method
constexpr double kGammaChange = 1e-5;  // activity coefficients settled
constexpr int kMaxRounds = 100;        // rounds of the ionic-strength correction
constexpr double kToSI = 1e-9;         // 1e-9 m2/(V.s) -> m2/(V.s)

std::size_t Slot(int i)
{
    return static_cast<std::size_t>(i);
}

// The shape the calculation relies on: charges around 0 and one pK value and
// one mobility per form of every constituent.
bool WellFormed(const TEIData& rec)
{
    const int n = rec.CompCount;
    if (n < 1 || rec.ZMin.size() <= Slot(n) || rec.ZMax.size() <= Slot(n) ||
        rec.Conc.size() <= Slot(n) || rec.IsAnalyte.size() <= Slot(n) ||
        rec.PKa.size() <= Slot(n) || rec.ULim.size() <= Slot(n))
        return false;
    for (int j = 1; j <= n; ++j) {
        if (rec.ZMin[j] > 0 || rec.ZMax[j] < 0) return false;
        const std::size_t forms = Slot(rec.ZMax[j] - rec.ZMin[j] + 1);
        if (rec.PKa[j].size() != forms || rec.ULim[j].size() != forms) return false;
    }
    return true;
}

// Cumulative constants of node 0; a positive form whose constants multiply to
// 0 is reported where the background-electrolyte solve builds them.
void Cumulate(RunState& w)
{
    try {
        BuildLForm(w, 0);
    } catch (const Exception&) {
        ThrowErrorCode(-3, "Calculate>>ElneutG");
    }
}

// A one-node engine state holding the background electrolyte of `rec`, with
// the per-node constants set (K = 10^(3 - pK), cumulative constants, H+ and
// OH- data) and Kw = 1e-8 mM2.
std::unique_ptr<RunState> OneNodeState(const TEIData& rec, double epsNew, int itNew)
{
    auto w = std::make_unique<RunState>();
    const int n = rec.CompCount;
    w->NComp = n;
    w->NX = 0;
    w->LeftWall = w->RightWall = 0;
    w->EpsNew = epsNew;
    w->ItNew = itNew;
    w->ISCorrection = rec.ISCorr;
    w->Kw = kKwRef;
    w->KwIS = kKwRef;
    EngineArrays& a = w->Arr;
    a.Allocate(n, 0, rec.ZMin, rec.ZMax, 1);
    for (int j = 1; j <= n; ++j) {
        for (int k = 0; k < a.Forms(j); ++k) {
            if (k == -a.ZMin[j]) continue;
            a.PKaForm(j, k)[0] = rec.PKa[j][Slot(k)];
            a.UForm(j, k)[0] = rec.ULim[j][Slot(k)] * kToSI;
        }
        a.C(kLevel, j)[0] = rec.IsAnalyte[j] ? 0.0 : rec.Conc[j];
    }
    try {
        SetNodeConstants(*w);
    } catch (const Exception&) {
        ThrowErrorCode(-3, "Calculate>>ElneutG");
    }
    return w;
}

// Newton's method on electroneutrality from cH = 1e-5 mM, then the forms and
// the ionic strength of the result. False (with the message) when no positive
// root is found.
bool ElneutG(RunState& w)
{
    EngineArrays& a = w.Arr;
    const ElneutNodeResult res =
        SolveElneutNode(w, kLevel, 0, kStartCH, kStartCH, w.ItNew, a.Newton);
    if (res.exhausted) {
        ShowMessage("PM MODE: Newton method can't find correct pH.");
        return false;
    }
    if (!(res.x > 0) || !std::isfinite(res.x)) {
        ShowWarning("Newton's iteration returns incorrect concentration: " + FloatToStr(res.x));
        return false;
    }
    StoreElneutNode(w, kLevel, 0, res, res.x, a.Newton);
    NodeIonicStrength(w, kLevel, 0);
    return true;
}

// The equilibrium of the one-node state: without the correction one solve;
// with it, rounds of solve and activity coefficients until gamma of the
// largest charge settles, then the pH as an activity and the Onsager-Fuoss
// mobilities. Numerical failures of the correction give false.
bool SolveEquilibrium(RunState& w, double& pH)
{
    EngineArrays& a = w.Arr;
    if (!w.ISCorrection) {
        if (!ElneutG(w)) return false;
        pH = 3 - std::log10(a.CH(kLevel)[0]);
        return true;
    }
    const int maxZ = a.MaxAbsZ;
    std::vector<double> gamma(Slot(maxZ) + 1, 1.0);
    for (int rounds = 1;; ++rounds) {
        if (!ElneutG(w)) return false;
        double change = 0;
        try {
            mcinn(a, maxZ, change, a.IonicStrength(kLevel)[0], gamma.data(), w.KwIS, 0);
        } catch (const Exception&) {
            return false;
        }
        Cumulate(w);
        if (change <= kGammaChange) break;
        if (rounds >= kMaxRounds) return false;
    }
    pH = 3 - std::log10(a.CH(kLevel)[0] * gamma[1]);
    try {
        onsfuo(w, kLevel, 0);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

// Copies the results of the one-node state into the record; false when a
// result is not a finite number.
bool StoreResults(RunState& w, double pH, TEIData& rec)
{
    EngineArrays& a = w.Arr;
    const int n = rec.CompCount;
    rec.FormConc.assign(Slot(n) + 3, {});
    rec.FormMob.assign(Slot(n) + 3, {});
    rec.FormPK.assign(Slot(n) + 2, {});
    long double sum = 0;  // sum of |z| u c over the ions, mM . 1e-9 m2/(V.s)
    for (int j = 1; j <= n; ++j) {
        const int forms = a.Forms(j);
        auto& conc = rec.FormConc[Slot(j)];
        auto& mob = rec.FormMob[Slot(j)];
        auto& pk = rec.FormPK[Slot(j)];
        conc.assign(Slot(forms), 0.0);
        mob.assign(Slot(forms), 0.0);
        pk.assign(Slot(forms), 0.0);
        for (int k = 0; k < forms; ++k) {
            conc[Slot(k)] = a.CForm(kLevel, j, k)[0];
            const int z = a.ZMin[j] + k;
            if (z == 0) continue;
            mob[Slot(k)] = a.UForm(j, k)[0] / kToSI;
            pk[Slot(k)] = 3 - std::log10(a.KForm(j, k)[0]);
            sum += std::abs(z) * static_cast<long double>(mob[Slot(k)]) * conc[Slot(k)];
        }
    }
    const int h = a.HIndex(), oh = a.OHIndex();
    const double cH = a.CH(kLevel)[0], cOH = a.COH(kLevel)[0];
    const double uH = a.UForm(h, 1)[0] / kToSI, uOH = a.UForm(oh, 0)[0] / kToSI;
    rec.FormConc[Slot(h)] = {cH};
    rec.FormConc[Slot(oh)] = {cOH};
    rec.FormMob[Slot(h)] = {uH};
    rec.FormMob[Slot(oh)] = {uOH};
    rec.FormPK[Slot(h)] = {6 - std::log10(ActiveKw(w))};
    sum += static_cast<long double>(cH) * uH + static_cast<long double>(cOH) * uOH;
    rec.PH = pH;
    rec.IStrength = a.IonicStrength(kLevel)[0];
    rec.Conductivity = static_cast<double>(kFaraday * sum * kToSI);
    if (!std::isfinite(rec.PH) || !std::isfinite(rec.IStrength) || !std::isfinite(rec.Conductivity))
        return false;
    for (const auto& list : {&rec.FormConc, &rec.FormMob})
        for (const auto& forms : *list)
            for (double v : forms)
                if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

bool CalcPMBGE(TEIData& rec, double epsNew, int itNew)
{
    bool solved = false;
    try {
        if (WellFormed(rec)) {
            std::unique_ptr<RunState> w = OneNodeState(rec, epsNew, itNew);
            double pH = 0;
            solved = SolveEquilibrium(*w, pH) && StoreResults(*w, pH, rec);
        }
    } catch (...) {
        rec.Clear();
        throw;
    }
    if (solved) return true;
    rec.Clear();
    ThrowError("BGE calculation error");
}

bool BuildPMBGE(RunState& st)
{
    const int n = st.CompInit.Count();
    if (n == 0) return false;
    TEIData& rec = st.EIData;
    rec.Clear();
    rec.CompCount = n;
    rec.AnalyteCount = 0;
    rec.ISCorr = st.ISCorrection;
    rec.ZMin.assign(Slot(n) + 1, 0);
    rec.ZMax.assign(Slot(n) + 1, 0);
    rec.IsAnalyte.assign(Slot(n) + 1, 0);
    rec.Conc.assign(Slot(n) + 1, 0.0);
    rec.PKa.assign(Slot(n) + 1, {});
    rec.ULim.assign(Slot(n) + 1, {});
    for (int k = 1; k <= n; ++k) {
        const TComponents& c = st.CompInit[k];
        rec.ZMin[Slot(k)] = c.minCharge;
        rec.ZMax[Slot(k)] = c.maxCharge;
        rec.Conc[Slot(k)] = c.c;
        for (int z = c.minCharge; z <= c.maxCharge; ++z) {
            rec.PKa[Slot(k)].push_back(c.PKaOf(1, z));
            rec.ULim[Slot(k)].push_back(c.UOf(1, z));
        }
        if (c.type == 0) {
            rec.IsAnalyte[Slot(k)] = 1;
            ++rec.AnalyteCount;
        } else if (c.type != 1) {
            ShowWarning("In PM MODE all constituents have to be of type A or B.");
            rec.Clear();
            return false;
        }
    }
    return CalcPMBGE(rec, st.EpsNew, st.ItNew);
}

std::string LinearToolValueText(const TEIData& rec)
{
    if (rec.Empty() || rec.FormMob.size() < 2 || rec.ZMin.size() < 2 || rec.ZMax.size() < 2)
        return kNotAvailable;
    const int index = rec.ZMin[1] + rec.ZMax[1];
    const auto& forms = rec.FormMob[1];
    if (index < 0 || Slot(index) >= forms.size()) return kNotAvailable;
    return FloatToStr(forms[Slot(index)]);
}
