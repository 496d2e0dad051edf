#include "support/test_compositions.h"

namespace testcomp {

TComponents Constituent(const std::string& name, int minCharge, int maxCharge,
                        const std::vector<double>& pKa, const std::vector<double>& u, int type,
                        double c, double cInj, int colour)
{
    return TComponents::Uniform(name, minCharge, maxCharge, pKa, u, type, c, cInj, colour);
}

TComponents StrongCation(const std::string& name, double u, int type, double c, double cInj)
{
    return Constituent(name, 0, 1, {0.0, kPKStrongCation}, {0.0, u}, type, c, cInj);
}

TComponents StrongAnion(const std::string& name, double u, int type, double c, double cInj)
{
    return Constituent(name, -1, 0, {kPKStrongAnion, 0.0}, {u, 0.0}, type, c, cInj);
}

TComponents WeakAcid(const std::string& name, double pK, double u, int type, double c, double cInj)
{
    return Constituent(name, -1, 0, {pK, 0.0}, {u, 0.0}, type, c, cInj);
}

TComponents WeakBase(const std::string& name, double pK, double u, int type, double c, double cInj)
{
    return Constituent(name, 0, 1, {0.0, pK}, {0.0, u}, type, c, cInj);
}

TComponents Segmented(TComponents rec, const std::vector<double>& concentrations,
                      const std::vector<double>& ratios, bool gradPKa, bool gradU)
{
    const TComponents::Row pKaRow = rec.pKa.size() > 1 ? rec.pKa[1] : TComponents::Row();
    const TComponents::Row uRow = rec.u.size() > 1 ? rec.u[1] : TComponents::Row();
    rec.gradient = true;
    rec.gradPKa = gradPKa;
    rec.gradU = gradU;
    rec.zones = static_cast<int>(concentrations.size());
    rec.AllocSegments();
    for (int m = 1; m <= rec.zones; ++m) {
        rec.c_grad[m] = concentrations[static_cast<std::size_t>(m - 1)];
        rec.ratio[m] =
            m - 1 < static_cast<int>(ratios.size()) ? ratios[static_cast<std::size_t>(m - 1)] : 1.0;
    }
    rec.AllocChargeRows();
    for (int r = 1; r <= rec.PKaRows(); ++r) rec.pKa[r] = pKaRow.empty() ? rec.pKa[r] : pKaRow;
    for (int r = 1; r <= rec.URows(); ++r) rec.u[r] = uRow.empty() ? rec.u[r] : uRow;
    rec.mode = rec.ModeFromFlags();
    return rec;
}

TUnivSet<TComponents> AcetateBufferWithAnalytes()
{
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 0.1));
    comp.Add(WeakBase("Base", 9.0, 30.0, Analyte, 0.0, 0.1));
    return comp;
}

TUnivSet<TComponents> ItpStrongIons()
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Potassium", kUK, Leading, 10.0, 0.0));
    comp.Add(StrongCation("Sodium", kUNa, Analyte, 0.0, 10.0));
    comp.Add(StrongCation("Lithium", kULi, Terminating, 10.0, 0.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    return comp;
}

TUnivSet<TComponents> SelectorWithAnalytes()
{
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Selector", -1, 1, {9.5, 0, 2.25}, {30, 0, 42}, BGE, 5, 5));
    comp.Add(WeakBase("Amine", 8.0, 25, Analyte, 0, 1));
    comp.Add(WeakAcid("Acid", 4.0, 35, BGE, 10, 10));
    return comp;
}

TUnivSet<TComponents> SplitAdvectionComposition(int count)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Analyte", 30.0, Analyte, 0.0, 0.01));
    comp.Add(StrongCation("Partner", 40.0, BGE, 10.0, 10.0));
    comp.Add(StrongCation("Free form", 20.0, Analyte, 0.0, 0.0));
    comp.Add(StrongCation("Bound form", 60.0, Analyte, 0.0, 0.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    while (comp.Count() > count) comp.RemoveNode(comp.Count());
    return comp;
}

void PrepareRun(RunState& st, const TUnivSet<TComponents>& comp, int nodes)
{
    st.Composition = comp;
    st.NXPending = nodes;
    st.CapLengthPending = 0.025;
    st.PeakWidthPending = 2.0;
    st.PeakEdgeWidthPending = 0.5;
    st.InjSitePending = 3.0;
    st.Loading = false;
    st.LoadingPsq = false;
}

}  // namespace testcomp
