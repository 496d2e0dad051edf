// Diffusion coefficients at the node temperatures, the one rule of every
// scheme that diffuses. The coefficients of the arrays (DForm) are those of the
// set temperature: D = u R T_set / (|z| F) with the limiting mobility u (given
// at 25 degC). While the mobilities follow the node temperatures (a mode's
// TemperatureMobilities switched on) a node at temperature T takes the factor
// T / T_set times its mobility's factor 1 + a (T - 298.15) (a per kind:
// constituents, H+, OH-), so that D = u(T) R T / (|z| F) holds at every node.
// A scheme with the factor diffuses in flux form, each face between two nodes
// carrying the mean of their coefficients, and takes the same coefficients in
// its diffusion current and its field terms: the node's coefficient times the
// difference in a first derivative (DiffusionCurrent), the face means in a
// second difference (FluxDiffusion). A solution of uniform composition then
// stays uniform however the temperature varies along the capillary. Without
// the factor (no temperature switch, or the factor 1 at every node of the
// window) the scheme keeps its plain differences, bit for bit. The
// coefficients of what does not follow the temperature (the micelles, the
// complexes of a table) stay at their set-temperature values.
#pragma once

#include <vector>

class RunState;

// Reference temperature of the limiting mobilities and of their temperature
// coefficients, K.
inline constexpr double kMobilityReferenceTemperature = 298.15;

// Temperature coefficient (per K above 298.15 K) of the mobilities of
// constituent i (H+ = NComp+1, OH- = NComp+2).
double MobilityTemperatureCoefficient(int i, int nComp);
// The factor 1 + a (T - 298.15) of a mobility of constituent i at T.
inline double MobilityTemperatureFactor(int i, int nComp, double T)
{
    return 1 + MobilityTemperatureCoefficient(i, nComp) * (T - kMobilityReferenceTemperature);
}

// The factor of the diffusion coefficients of constituent i at nodes lo..hi
// (level-2 temperatures) into g: T / T_set, times the mobility's factor while
// mobilitiesFollowT.
void DiffusionTemperatureFactors(const RunState& st, int i, bool mobilitiesFollowT, int lo, int hi,
                                 double* g);

// The factor rows of one derivative call over the computation window: one for
// the constituents, one for H+, one for OH-; none without a temperature
// switch. Prepare before the parallel work of the call; the rows are read-only
// afterwards.
class NodeDiffusion {
public:
    void Prepare(const RunState& st);
    // The factor row of constituent i (1..NComp+2), indexed by node; null when
    // it is 1 at every node of the window (the coefficients are DForm's).
    const double* Factor(int i) const
    {
        const int kind = i <= nc_ ? 0 : i - nc_;
        return active_[kind] ? g_[kind].data() : nullptr;
    }

private:
    int nc_ = 0;
    bool active_[3] = {false, false, false};
    std::vector<double> g_[3];
};

// The factors of the run's window, prepared in its engine context.
const NodeDiffusion& PrepareNodeDiffusion(RunState& st);

// D at node j of a coefficient row D with factor row g (null: 1).
inline double NodeD(const double* D, const double* g, int j)
{
    return g ? D[j] * g[j] : D[j];
}

// The diffusion current z D g dy/dx of a form of charge z at node j (y at
// j-1 and j+1) with the node's own coefficient: where D varies along the
// capillary the current density's diffusion part is z D dc/dx, not d(z D c)/dx
// (a uniform solution carries no diffusion current however warm its nodes).
// Multiply by 1/(2 DX).
inline double DiffusionCurrent(double z, const double* D, const double* g, int j, double ym,
                               double yp)
{
    return z * NodeD(D, g, j) * (yp - ym);
}

// Flux-form diffusion of y at node j (values ym, y0, yp at j-1, j, j+1) with
// the coefficients D g of the three nodes: each face carries the mean of its
// nodes' coefficients. Multiply by 1/DX^2.
inline double FluxDiffusion(const double* D, const double* g, int j, double ym, double y0,
                            double yp)
{
    const double dm = D[j - 1] * g[j - 1], d0 = D[j] * g[j], dp = D[j + 1] * g[j + 1];
    return 0.5 * ((d0 + dp) * (yp - y0) - (dm + d0) * (y0 - ym));
}
