// Ionic-strength correction of the equilibrium and of the mobilities.
//
// ISC wraps the electroneutrality solve of every node in a fixed-point
// iteration on the activity coefficients (Debye-Hueckel with a linear term),
// turns the thermodynamic constants into concentration constants, expresses
// the pH as an activity and finally corrects the ionic mobilities for the
// ionic strength (Onsager-Fuoss theory, or a simplified two-term form).
// The user's ionic product of water (RunState::Kw) is never touched: the
// corrected value lives in RunState::KwIS.
#pragma once

#include <vector>

#include "engine/state/engine_arrays.h"
#include "foundation/errors.h"

class RunState;
class EngineArrays;

namespace activity {
inline constexpr double kLn10 = 2.302585092994045684;  // activity coefficients as exp(ln 10 log10)

// exp(x) by the operations that the nodes side by side repeat in their vector
// registers (ionic_strength_lanes_body.inc), so both give the same bits: x =
// k ln 2 + r with k the nearest integer to x / ln 2 (ln 2 in two parts, the
// first with trailing zeros so that k times it is exact), the Taylor series
// of exp(r) to r^13 (|r| <= 0.35: truncation below 1e-17 relative), scaled by
// 2^k through the exponent bits. Within a few units in the last place of the
// exact value; |x| > 700 and non-numbers take std::exp.
inline constexpr double kExpLimit = 700.0;
inline constexpr double kInvLn2 = 1.4426950408889634074;
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 0x3fe62e42fee00000
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;  // ln 2 - kLn2Hi
inline constexpr double kRoundShift =
    6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
// 1 / n! for n = 13 down to 2.
inline constexpr double kExpSeries[12] = {1.0 / 6227020800.0, 1.0 / 479001600.0, 1.0 / 39916800.0,
                                          1.0 / 3628800.0,    1.0 / 362880.0,    1.0 / 40320.0,
                                          1.0 / 5040.0,       1.0 / 720.0,       1.0 / 120.0,
                                          1.0 / 24.0,         1.0 / 6.0,         0.5};
double Exp(double x);
}  // namespace activity

// Constants of the full Onsager-Fuoss correction (cgs units).
namespace onsagerfuoss {
inline constexpr double kElementaryCharge = 4.806567e-10;  // esu
inline constexpr double kSeries[6] = {0.2929, -0.3536, 0.0884, -0.0442, 0.0276, -0.0193};
inline constexpr double kZeroMobility = 1e-12;  // stands in for a mobility of 0
// Conductance (S cm2/mol per unit charge) to mobility (m2/(V s)): 1e5 / F 1e-9
// with F = kFaraday.
inline constexpr double kToMobility = 1 / 1e-5 / 96485.0 * 1e-9;
// The relaxation factor B1 / sqrt((eps T)^3) and the electrophoretic factor
// B2 / (eta sqrt(eps T)) of water at 25 degC.
double Relaxation();
double Electrophoretic();
}  // namespace onsagerfuoss

// Raised by onsfuo when the node holds no ions (the sum of z^2 c is not
// positive). ISC turns it into error code -11.
class OnsagerFuossError : public Exception {
public:
    using Exception::Exception;
};

// Work storage of the correction, sized once for the shape of a run and reused
// by every call (no allocation per node).
struct IonicStrengthWork {
    std::vector<double> Gamma;  // [MaxAbsZ+1] activity coefficients by |z|
    // Species lists of the Onsager-Fuoss method (every charged form, H+, OH-).
    std::vector<int> Z;           // charge
    std::vector<int> Comp, Form;  // constituent (NComp+1 = H+, NComp+2 = OH-) and form
    std::vector<double> Lambda;   // conductance, S cm2/mol per unit charge
    std::vector<double> Conc;     // mol/L
    std::vector<double> W;        // z^2 c
    std::vector<double> Omega;
    std::vector<double> Mu;
    std::vector<double> R;  // 6 x n: r(0)..r(5)
    std::vector<double> H;  // n x n
    int SizedForms = -1, SizedMaxZ = -1;
    // Nodes side by side: the constants KForm and LForm of the nodes as they
    // were before the passes (2 x rows x lanes), the activity coefficients of
    // each node ((MaxAbsZ+1) x lanes) and the charged forms' concentrations of
    // the current pass and of each node's last pass (2 x NForms x lanes).
    std::vector<double> LaneSave, LaneGamma, LaneCF;
    std::vector<double>
        LaneOnsfuo;  // lists and matrix of the Onsager-Fuoss method, nodes side by side
    std::vector<int> LanePasses;   // Newton passes of every pass of each node (101 x lanes)
    std::vector<int> LaneChanged;  // per constituent: the lanes whose constants a pass changed
    // The quotients of the Onsager-Fuoss method that follow from the charges
    // and conductances alone (omega, |z / lambda|, 1 / (omega_s + omega_t)),
    // nodes side by side: the set last shared by every lane, kept with its
    // charges and conductances, and the scratch of lanes that differ.
    std::vector<double> OFCache, OFGroup, OFKeyLam;
    std::vector<int> OFKeyZ;
    // The cH that each node's first pass and its later passes solved in the
    // node's last correction (2 x Nn; 0: none since Init): the starts of the
    // next correction's Newton iterations, which end at the same root (within
    // its rounding) in fewer passes than from the level's old cH.
    std::vector<double> LastSolution;
    bool StartFromLast = false;  // set by ISC for the call

    // The Newton scratch of the second group of nodes when two groups take
    // their passes in turn (the first takes the arrays' own), sized for the
    // shape in PairShape.
    NewtonScratch PairScratch;
    int PairShape[3] = {-1, -1, -1};

    // Sizes the storage for a run shape; keeps it when the shape is unchanged.
    void Prepare(int maxAbsZ, int nForms);
    // Sizes the storage of the nodes side by side (kept when large enough).
    void EnsureLanes(int rows, int nForms, int maxAbsZ, int lanes);
    // Sizes PairScratch as the arrays' own scratch (kept when the shape is unchanged).
    void EnsurePairScratch(int formRows, int nComp, int maxAbsZ);
};

// The start of a Newton iteration of the correction: the node's last solution
// of the same pass when there is one that Elneut's start guard lets through,
// else `level` (the start value of the source level).
inline double IonicStrengthStart(double last, double level)
{
    return last > 0 && last <= 1e6 ? last : level;
}

// Equilibrium of `level` with the ionic-strength correction on every node of
// the window (the whole grid when source = -1). source as for Elneut.
// Raises code -10 at "ISC>>is_init == false" before Init; every failure inside
// the node loop reaches the caller as "(ISC): " + its message, or as code -11
// at "ISC" for the mobility correction's error.
void ISC(RunState& st, int level, int source);

// Activity coefficients gamma[1..maxZ] at the ionic strength (mM), the change
// of gamma[maxZ], the concentration constants KForm from KFormLim at `node` and
// the corrected ionic product of water `kw`. ZScratch[1] receives gamma.
void mcinn(EngineArrays& a, int maxZ, double& change, double ionicStrength, double* gamma,
           double& kw, int node);

// Activity coefficient of charge magnitude z at the ionic strength (mM).
double ActivityCoefficient(int z, double ionicStrength);

// 0.5 (cH + cOH + sum z^2 c) of the stored forms of `level` at `node`; in
// complexation mode, IonicStrength[level][node] as it stands.
double IonicStrengthOfForms(RunState& st, int level, int node);
// IonicStrength[level][node] = IonicStrengthOfForms; nothing in complexation mode.
void NodeIonicStrength(RunState& st, int level, int node);

// Corrects UForm of every charged form and of H+ and OH- at `node` for the
// ionic strength of `level` (the simplified method when cbFastIS is ticked).
void onsfuo(RunState& st, int level, int node);
