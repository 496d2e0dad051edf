// The ionic-strength correction as it is built now against the plain routine
// it replaced (kept below as the reference: node after node, every pass an
// Elneut of one node, the ionic strength of the stored forms, mcinn, the
// rebuild of LForm; then the activity pH, the Onsager-Fuoss mobilities and the
// speciation). Both start from the same state of a short run of the benchmark
// case with the correction; every node's cH, pH, ionic strength, constants,
// forms and mobilities must agree within 1e-12 relative.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"

namespace {

namespace reference {

constexpr double kElementaryCharge = 4.806567e-10;
constexpr double kBoltzmann = 1.380662e-16;
constexpr double kAvogadro = 6.022142e23;
constexpr double kPermittivity = 78.3043;
constexpr double kOFTemperature = 298.15;
constexpr double kViscosity = 0.00896331;
constexpr double kOFPi = 3.14159265;
constexpr double kSeries[6] = {0.2929, -0.3536, 0.0884, -0.0442, 0.0276, -0.0193};

const double kB1 = static_cast<double>(
    static_cast<long double>(kElementaryCharge) * kElementaryCharge * kElementaryCharge *
    (1.0L / 3.0L) / kBoltzmann *
    std::sqrt(0.004L * static_cast<long double>(kOFPi) * kAvogadro / kBoltzmann));
const double kB2 = static_cast<double>(
    static_cast<long double>(kElementaryCharge) * kElementaryCharge * kFaraday * (1.0L / 1800.0L) *
    std::sqrt(0.004L * kAvogadro / (static_cast<long double>(kOFPi) * kBoltzmann)));

// Onsager-Fuoss correction of the mobilities at one node, with its own lists.
void Onsfuo(RunState& st, int level, int node)
{
    EngineArrays& a = st.Arr;
    const bool temperatureMode = st.cbH || st.cbT;
    const double F = kFaraday;
    std::vector<int> z, comp, form;
    std::vector<double> lam, conc;
    auto add = [&](int zs, int j, int k, double u, double cmM) {
        if (u == 0) u = 1e-12;
        z.push_back(zs);
        comp.push_back(j);
        form.push_back(k);
        lam.push_back(u * F * 1e-5 * 1e9);
        conc.push_back(0.001 * cmM);
    };
    for (int j = 1; j <= a.NComp; ++j)
        for (int k = 0; k < a.Forms(j); ++k) {
            const int zs = a.ZMin[j] + k;
            if (zs == 0) continue;
            add(zs, j, k, temperatureMode ? a.UForm(j, k)[node] : a.UFormLim(j, k)[node],
                a.CForm(level, j, k)[node]);
        }
    const int h = a.HIndex(), oh = a.OHIndex();
    if (temperatureMode) {
        add(1, h, 1, a.UForm(h, 1)[node], a.CH(level)[node]);
        add(-1, oh, 0, a.UForm(oh, 0)[node], a.COH(level)[node]);
    } else {
        add(1, h, 1, 1.0, a.CH(level)[node]);
        lam.back() = 362.5 * F * 1e-5;
        add(-1, oh, 0, 1.0, a.COH(level)[node]);
        lam.back() = 205.5 * F * 1e-5;
    }
    const int n = static_cast<int>(z.size());
    std::vector<double> w(n), om(n), mu(n), r(6 * n), H(n * n);
    double gamma2 = 0;
    for (int s = 0; s < n; ++s) {
        w[s] = z[s] * z[s] * conc[s];
        gamma2 += w[s];
        om[s] = 300 * lam[s] / (F * kElementaryCharge * std::abs(z[s]));
    }
    if (!(gamma2 > 0)) throw OnsagerFuossError("no ions");
    double P = 0, Q = 0;
    for (int s = 0; s < n; ++s) {
        mu[s] = w[s] / gamma2;
        P += z[s] * mu[s];
        Q += std::fabs(static_cast<double>(z[s]) / lam[s]) * mu[s];
    }
    for (int s = 0; s < n; ++s) r[s] = z[s] - std::fabs(static_cast<double>(z[s]) / lam[s]) * P / Q;
    for (int t = 0; t < n; ++t) {
        double diag = 0;
        for (int s = 0; s < n; ++s) {
            const double v = mu[s] * om[s] / (om[s] + om[t]);
            H[t * n + s] = v;
            diag += v;
        }
        H[t * n + t] += diag;
        for (int s = 0; s < n; ++s) H[t * n + s] = 2 * H[t * n + s] - (s == t ? 1.0 : 0.0);
    }
    for (int m = 1; m <= 5; ++m)
        for (int t = 0; t < n; ++t) {
            double sum = 0;
            for (int s = 0; s < n; ++s) sum += H[t * n + s] * r[(m - 1) * n + s];
            r[m * n + t] = sum;
        }
    const double et = kPermittivity * kOFTemperature;
    const double relax = kB1 / std::sqrt(et * et * et);
    const double electro = kB2 / (kViscosity * std::sqrt(et));
    const double shape = std::sqrt(gamma2) / (1 + 1.5 * std::sqrt(0.5 * gamma2));
    for (int s = 0; s < n; ++s) {
        double sigma = 0;
        for (int m = 0; m <= 5; ++m) sigma += kSeries[m] * r[m * n + s];
        double lp = lam[s] - (relax * lam[s] * z[s] * sigma + std::abs(z[s]) * electro) * shape;
        if (lp < 0) lp = lam[s];
        a.UForm(comp[s], form[s])[node] = (1 / 1e-5) * lp / F * 1e-9;
    }
}

// Activity coefficients, concentration constants and the corrected Kw at a node.
void Mcinn(EngineArrays& a, int maxZ, double& change, double is, std::vector<double>& gamma,
           double& kw, int node)
{
    const double gOld = gamma[maxZ];
    for (int z = 1; z <= maxZ; ++z) {
        const double im = 0.001 * is, sq = std::sqrt(im), z2 = static_cast<double>(z) * z;
        gamma[z] =
            std::exp(2.302585092994045684 * (-0.50925 * z2 * sq / (1 + 1.5 * sq) + 0.1 * z2 * im));
    }
    change = std::fabs(gOld - gamma[maxZ]) / gamma[maxZ];
    for (int j = 1; j <= a.NComp; ++j)
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = a.ZMin[j] + k;
            if (z == 0) continue;
            const int m = std::abs(z);
            const double k0 = a.KFormLim(j, k)[node];
            a.KForm(j, k)[node] = z < 0 ? k0 * gamma[m - 1] / gamma[1] / gamma[m]
                                        : k0 * gamma[m] / gamma[1] / gamma[m - 1];
        }
    kw = 1e-8 / gamma[1] / gamma[1];
}

// The correction node after node over the window.
void Isc(RunState& st, int level, int source)
{
    EngineArrays& a = st.Arr;
    const int maxZ = a.MaxAbsZ;
    // Temperature mode: the mobilities start again from their
    // temperature-corrected limiting values.
    if (st.cbH || st.cbT) UpdateModeTemperatures(st);
    std::vector<double> gamma(maxZ + 1);
    for (int i = std::max(st.LeftWall, 0); i <= std::min(st.RightWall, a.Nn - 1); ++i) {
        st.KwIS = 1e-8;
        std::fill(gamma.begin(), gamma.end(), 1.0);
        for (int passes = 1;; ++passes) {
            Elneut(st, level, source, i, false);
            NodeIonicStrength(st, level, i);
            double change = 0;
            Mcinn(a, maxZ, change, a.IonicStrength(level)[i], gamma, st.KwIS, i);
            ASSERT_LE(passes, 100);
            BuildLForm(st, i);
            if (change <= 1e-5) break;
        }
        a.PH[i] = 3 - std::log10(a.CH(level)[i] * gamma[1]);
        Onsfuo(st, level, i);
        CalcSpeciation(st, level, i);
    }
}

}  // namespace reference

// Relative difference, 0 for equal values (zeros included).
double Relative(double a, double b)
{
    if (a == b) return 0;
    return std::fabs(a - b) / std::max(std::fabs(a), std::fabs(b));
}

// Every value of the node that the correction writes or reads back.
std::vector<double> NodeValues(RunState& st, int level, int i)
{
    EngineArrays& a = st.Arr;
    std::vector<double> v{a.CH(level)[i], a.COH(level)[i], a.PH[i], a.IonicStrength(level)[i]};
    for (int j = 1; j <= a.NComp + 2; ++j)
        for (int k = 0; k < a.Forms(j); ++k) {
            v.push_back(a.CForm(level, j, k)[i]);
            if (a.ZMin[j] + k != 0) v.push_back(a.UForm(j, k)[i]);
            if (j <= a.NComp) {
                v.push_back(a.KForm(j, k)[i]);
                v.push_back(a.LForm(j, k)[i]);
            }
        }
    for (int j = 1; j <= a.NComp; ++j) v.push_back(a.UEff[j][i]);
    return v;
}

// Runs the case `id` to `time`, then the correction of level 1 from level 2
// once by the engine and once by the reference; the largest relative
// difference of any value at any node.
// itNew > 0 replaces the Newton iteration limit for the correction (a small
// limit sends solves to the bracketed search, nodes side by side back to the
// one-node way after their first passes).
// poison >= 0: that node's first cation gets a limiting constant of 0, so its
// constants cannot be rebuilt: the correction stops there with an error, and
// the nodes after it must be left as they were.
// adjust: changes the case's setup before its Init (null: none).
double LargestDifference(const char* id, int nodes, double time, int lanes, int source,
                         int itNew = 0, int poison = -1, void (*adjust)(RunState&) = nullptr)
{
    SetNodeLanes(lanes);
    RunState engine, plain;
    for (RunState* st : {&engine, &plain}) {
        if (adjust) {
            const benchcases::Case c = benchcases::FindCase(id);
            c.prepare(*st);
            adjust(*st);
            st->NXPending = nodes;
            st->Stop = false;
            EXPECT_TRUE(InitCalc(*st));
        } else {
            EXPECT_TRUE(benchcases::InitCase(*st, benchcases::FindCase(id), nodes));
        }
        benchcases::RunTimed(*st, time, id);
        st->LeftWall = 0;
        st->RightWall = st->NX;
        if (itNew > 0) st->ItNew = itNew;
        if (poison >= 0)
            for (int j = 1; j <= st->Arr.NComp; ++j)
                if (st->Arr.ZMax[j] > 0) {
                    st->Arr.KFormLim(j, st->Arr.Forms(j) - 1)[poison] = 0;
                    break;
                }
    }
    bool engineFailed = false, plainFailed = false;
    try {
        ISC(engine, 1, source);
    } catch (const Exception&) {
        engineFailed = true;
    }
    try {
        reference::Isc(plain, 1, source);
    } catch (const Exception&) {
        plainFailed = true;
    }
    EXPECT_EQ(engineFailed, poison >= 0);
    EXPECT_EQ(plainFailed, poison >= 0);
    SetNodeLanes(0);
    double worst = 0;
    for (int i = 0; i <= engine.NX; ++i) {
        const std::vector<double> a = NodeValues(engine, 1, i), b = NodeValues(plain, 1, i);
        for (std::size_t k = 0; k < a.size(); ++k) {
            EXPECT_TRUE(std::isfinite(a[k])) << id << " node " << i << " value " << k;
            worst = std::max(worst, Relative(a[k], b[k]));
        }
    }
    EXPECT_EQ(engine.KwIS, plain.KwIS) << id;
    return worst;
}

}  // namespace

TEST(IonicStrengthReference, EveryNodeAgreesWithTheNodeByNodeCorrection)
{
    // The benchmark case with the correction early (the injected zones still
    // sharp) and later, on every lane width, from the next level and from the
    // left neighbour (the whole grid).
    for (int lanes : {1, 2, 0}) {
        for (double time : {0.002, 0.05}) {
            SCOPED_TRACE("lanes " + std::to_string(lanes) + ", time " + std::to_string(time));
            EXPECT_LE(LargestDifference("B3", 200, time, lanes, 0), 1e-12);
            EXPECT_LE(LargestDifference("B3", 200, time, lanes, -1), 1e-12);
            for (int limit : {2, 3})
                EXPECT_LE(LargestDifference("B3", 200, time, lanes, 0, limit), 1e-12);
            EXPECT_LE(LargestDifference("B3", 200, time, lanes, 0, 0, 101), 1e-12);
        }
    }
}

TEST(IonicStrengthReference, ReciprocalConstantsRoundAsInExtendedPrecision)
{
    // The cumulative constant of a one-step cation is 1/K divided in extended
    // precision and rounded to double; the nodes side by side take the double
    // quotient where that is the same number. Over a million constants of
    // every magnitude (and the edges: powers of two, the extremes of the
    // range), some of which round differently in the two precisions, every
    // one must have the bits of the extended division.
    std::mt19937_64 gen(20261207);
    std::uniform_real_distribution<double> exponent(-300.0, 300.0), digits(1.0, 10.0);
    std::vector<double> K;
    for (int m = 0; m < 1000000; ++m)
        K.push_back(digits(gen) * std::pow(10.0, std::floor(exponent(gen))));
    for (int e = -1000; e <= 1000; e += 7) K.push_back(std::ldexp(1.0, e));
    for (double v : {DBL_MIN, DBL_MAX, 4.9e-324, 1e-308, 3.0, 1.0 / 3.0, 10.0, 1e-7})
        K.push_back(v);
    std::vector<double> got(K.size());
    for (int lanes : {1, 2, 0}) {
        SetNodeLanes(lanes);
        ExtendedReciprocals(K.data(), got.data(), static_cast<int>(K.size()));
        int differentInDouble = 0, wrong = 0;
        for (std::size_t m = 0; m < K.size(); ++m) {
            const double want = static_cast<double>(1.0L / K[m]);
            if (1.0 / K[m] != want) ++differentInDouble;
            std::uint64_t a, b;
            std::memcpy(&a, &got[m], 8);
            std::memcpy(&b, &want, 8);
            if (a != b && ++wrong <= 5)
                ADD_FAILURE() << "lanes " << lanes << ": 1/" << K[m] << " gives " << got[m]
                              << ", extended " << want;
        }
        EXPECT_EQ(wrong, 0) << "lanes " << lanes;
        EXPECT_GT(differentInDouble, 50);  // the hard cases are among them
    }
    SetNodeLanes(0);
}

TEST(IonicStrengthReference, RunsKeepTheirBitsOnEveryLaneWidth)
{
    // Whole short runs with the correction: node by node and side by side
    // must give the same bits at every node, for the full and the simplified
    // mobility correction, with the temperature mode (mobilities from the
    // heated capillary) and with the corrector passes left uncorrected.
    struct Variant {
        const char* id;
        const char* what;
        void (*adjust)(RunState&);
    };
    const Variant variants[] = {
        {"B3", "full", [](RunState&) {}},
        {"B3", "simplified", [](RunState& st) { st.cbFastIS = true; }},
        {"B3", "predictor only", [](RunState& st) { st.cbPCIS = false; }},
        {"B6", "heating", [](RunState& st) { st.cbIS = true; }},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(std::string(v.id) + " " + v.what);
        std::vector<double> first;
        for (int lanes : {1, 2, 0}) {
            SetNodeLanes(lanes);
            RunState st;
            const benchcases::Case c = benchcases::FindCase(v.id);
            c.prepare(st);
            v.adjust(st);
            st.NXPending = 200;
            st.Stop = false;
            ASSERT_TRUE(InitCalc(st));
            const benchcases::Figures f = benchcases::RunTimed(st, 0.02, v.id);
            EXPECT_GT(f.steps, 10);
            std::vector<double> all;
            for (int i = 0; i <= st.NX; ++i) {
                const std::vector<double> n1 = NodeValues(st, 2, i);
                all.insert(all.end(), n1.begin(), n1.end());
            }
            if (first.empty()) {
                first = all;
                continue;
            }
            ASSERT_EQ(all.size(), first.size());
            int differ = 0;
            for (std::size_t k = 0; k < all.size(); ++k)
                if (std::memcmp(&all[k], &first[k], sizeof(double)) != 0) ++differ;
            EXPECT_EQ(differ, 0) << "lanes " << lanes;
        }
        SetNodeLanes(0);
    }
}

TEST(IonicStrengthReference, ConductancesThatDifferFromNodeToNodeAgreeWithTheReference)
{
    // The Onsager-Fuoss quotients of the conductances are kept while the
    // nodes share their conductances. With the capillary heated the
    // mobilities differ from node to node (and from call to call), and in a
    // run whose limiting mobilities differ along the capillary no two
    // neighbours share them: every node must still agree with the reference.
    for (int lanes : {1, 2, 0}) {
        SCOPED_TRACE("lanes " + std::to_string(lanes));
        EXPECT_LE(LargestDifference("B6", 200, 0.002, lanes, 0, 0, -1,
                                    [](RunState& st) { st.cbIS = true; }),
                  1e-12);
        // Limiting mobilities that change from node to node (as a temperature
        // profile leaves them), the cache then taken by the nodes whose lanes
        // agree again.
        SetNodeLanes(lanes);
        RunState engine, plain;
        for (RunState* st : {&engine, &plain}) {
            ASSERT_TRUE(benchcases::InitCase(*st, benchcases::FindCase("B3"), 200));
            benchcases::RunTimed(*st, 0.002, "B3");
            st->LeftWall = 0;
            st->RightWall = st->NX;
            EngineArrays& a = st->Arr;
            for (int j = 1; j <= a.NComp; ++j)
                for (int k = 0; k < a.Forms(j); ++k)
                    if (a.ZMin[j] + k != 0)
                        for (int i = 0; i <= st->NX; ++i)
                            if (i < 100) a.UFormLim(j, k)[i] *= 1 + 0.01 * (i % 7) + 0.001 * j;
        }
        ISC(engine, 1, 0);
        reference::Isc(plain, 1, 0);
        double worst = 0;
        for (int i = 0; i <= engine.NX; ++i) {
            const std::vector<double> x = NodeValues(engine, 1, i), y = NodeValues(plain, 1, i);
            for (std::size_t k = 0; k < x.size(); ++k)
                worst = std::max(worst, Relative(x[k], y[k]));
        }
        EXPECT_LE(worst, 1e-12);
        SetNodeLanes(0);
    }
}

TEST(IonicStrengthReference, RunsFromInitRepeatTheirBits)
{
    // The Newton iterations of the correction start from each node's last
    // solutions; a new Init forgets them, so a run repeated in the same state
    // (a second Init of the same project) has the bits of the first.
    for (int lanes : {1, 0}) {
        SetNodeLanes(lanes);
        RunState st;
        std::vector<double> first;
        for (int run = 0; run < 2; ++run) {
            ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B3"), 200));
            benchcases::RunTimed(st, 0.01, "B3");
            std::vector<double> all;
            for (int i = 0; i <= st.NX; ++i) {
                const std::vector<double> v = NodeValues(st, 2, i);
                all.insert(all.end(), v.begin(), v.end());
            }
            if (run == 0) {
                first = all;
                continue;
            }
            ASSERT_EQ(all.size(), first.size());
            int differ = 0;
            for (std::size_t k = 0; k < all.size(); ++k)
                if (std::memcmp(&all[k], &first[k], sizeof(double)) != 0) ++differ;
            EXPECT_EQ(differ, 0) << "lanes " << lanes;
        }
        SetNodeLanes(0);
    }
}

TEST(IonicStrengthReference, ActivityExponentialAgreesWithTheLibrary)
{
    // The exponential of the activity coefficients (the same operations one
    // node at a time and side by side) against the library's over the whole
    // range it takes, its edges, and beyond (where the library answers).
    double worst = 0;
    std::vector<double> xs;
    for (int m = -70000; m <= 70000; ++m) xs.push_back(m * 0.01 + 0.003 * (m % 3));
    for (double x : {0.0, -0.0, 1e-300, -1e-300, 0.34657359, -0.34657359, 700.0, -700.0, 1e-17})
        xs.push_back(x);
    for (double x : xs) worst = std::max(worst, Relative(activity::Exp(x), std::exp(x)));
    EXPECT_LE(worst, 1e-15);
    EXPECT_EQ(activity::Exp(0.0), 1.0);
    EXPECT_EQ(activity::Exp(701.0), std::exp(701.0));
    EXPECT_EQ(activity::Exp(-745.5), std::exp(-745.5));
    EXPECT_TRUE(std::isinf(activity::Exp(1000.0)));
    EXPECT_TRUE(std::isnan(activity::Exp(NAN)));
    // The activity coefficients of every charge at ionic strengths from 0 to
    // 2 M against the library's exponential.
    worst = 0;
    for (int z = 1; z <= 6; ++z)
        for (double is = 0; is <= 2000; is += 0.37) {
            // The exponent as the correction forms it (a different order of the
            // products would move it by a rounding, which the exponential
            // multiplies by up to 10 here).
            const double im = 0.001 * is, sq = std::sqrt(im), z2 = static_cast<double>(z) * z;
            const double want = std::exp(2.302585092994045684 *
                                         (-0.50925 * z2 * sq / (1 + 1.5 * sq) + 0.1 * z2 * im));
            worst = std::max(worst, Relative(ActivityCoefficient(z, is), want));
        }
    EXPECT_LE(worst, 1e-15);
}

TEST(IonicStrengthReference, SettledCoefficientsAsTheQuotientDecides)
{
    // The activity iteration of a node ends when |gOld - g| / g <= 1e-5. The
    // nodes side by side decide most lanes by a product with a margin; every
    // lane must get the answer of the rounded quotient: coefficients whose
    // change lies a few units in the last place around the bound (from above
    // and below, for growing and shrinking coefficients), far from it, mixed
    // in one group with lanes far from it, and at the edges of the range.
    std::mt19937_64 gen(20261208);
    std::uniform_real_distribution<double> unit(0.05, 1.0), exponent(-320.0, 300.0);
    std::vector<double> gOld, g;
    auto add = [&](double before, double after) {
        gOld.push_back(before);
        g.push_back(after);
    };
    for (int m = 0; m < 200000; ++m) {
        const double gm =
            m % 5 == 4 ? unit(gen) * std::pow(10.0, std::floor(exponent(gen))) : unit(gen);
        const double edge = gm + (m % 2 ? 1e-5 : -1e-5) * gm;  // change just 1e-5
        double before = edge;
        const int steps = static_cast<int>(gen() % 9) - 4;
        for (int k = 0; k < std::abs(steps); ++k)
            before = std::nextafter(before, steps > 0 ? INFINITY : -INFINITY);
        add(before, gm);
        if (m % 7 == 0) add(gm * 1.01, gm);  // far from the bound, beside the near ones
        if (m % 11 == 0) add(gm * (1 + 1e-11), gm);
    }
    // Changes within a few units in the last place of 1e-5 itself: g in
    // [0.5, 0.99] (a grid of 2^-53), gOld = g -+ k 2^-53 (exact), searched
    // for quotients k 2^-53 / g that fall so close to 1e-5.
    std::uniform_real_distribution<double> half(0.5, 0.99);
    const long double bound = 1e-5, unitOfBound = std::nextafter(1e-5, 1.0) - 1e-5;
    int onTheBound = 0;
    for (int m = 0; m < 40000000 && onTheBound < 400; ++m) {
        const double gm = half(gen);
        const long double k = std::llround(bound * gm * 0x1p53L);
        const double d = static_cast<double>(k * 0x1p-53L);
        if (std::fabs(static_cast<long double>(d) / gm - bound) > 3 * unitOfBound) continue;
        ++onTheBound;
        for (int s : {-2, -1, 0, 1, 2}) {
            add(gm + (d + s * 0x1p-53), gm);
            add(gm - (d + s * 0x1p-53), gm);
        }
    }
    EXPECT_EQ(onTheBound, 400);
    for (double gm : {1.0, 0.5, 0x1p-1000, 0x1p-1001, DBL_MIN, 4.9e-324, DBL_MAX, 0.0})
        for (double before : {gm, gm * (1 + 1e-5), gm * (1 - 1e-5), gm * 2, 0.0, HUGE_VAL})
            add(before, gm);
    add(NAN, 1.0);
    add(1.0, NAN);
    add(1.0, INFINITY);
    while (g.size() % 4 != 0) add(1.0, 1.0);
    const int n = static_cast<int>(g.size());
    for (int lanes : {1, 2, 0}) {
        SetNodeLanes(lanes);
        std::unique_ptr<bool[]> settled(new bool[g.size()]);
        ActivitySettled(gOld.data(), g.data(), settled.get(), n);
        int wrong = 0, settledCount = 0, nearBound = 0;
        for (int m = 0; m < n; ++m) {
            const double change = std::fabs(gOld[m] - g[m]) / g[m];
            const bool want = change <= 1e-5;
            settledCount += want;
            nearBound += change != 0 && std::fabs(change - 1e-5) < 1e-15;
            if (settled[m] != want && ++wrong <= 5)
                ADD_FAILURE() << "lanes " << lanes << ": " << gOld[m] << " -> " << g[m]
                              << " (change " << change << ") gives " << settled[m];
        }
        EXPECT_EQ(wrong, 0) << "lanes " << lanes;
        EXPECT_GT(settledCount, n / 4);  // both answers are well represented
        EXPECT_LT(settledCount, 3 * n / 4);
        EXPECT_GT(nearBound, 1000);
    }
    SetNodeLanes(0);
}
