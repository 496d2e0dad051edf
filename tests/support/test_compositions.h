// Typical compositions for engine tests and a run state with the default run
// setup, ready for InitCalc.
#pragma once

#include <vector>

#include "engine/state/components.h"
#include "engine/state/run_state.h"

// Mobilities in 1e-9 m2/(V.s), pK on the mol/L scale.
namespace testcomp {

// Limiting mobilities of the ions used below.
inline constexpr double kUNa = 51.9, kUK = 76.2, kULi = 40.1, kUCl = 79.1, kUAcetate = 42.4;
inline constexpr double kPKAcetic = 4.756;
// pK of a strong cation's +1 form and of a strong anion's -1 form.
inline constexpr double kPKStrongCation = 16.0, kPKStrongAnion = -2.0;

// Types of the constituent record.
enum Type : int { Analyte = 0, BGE = 1, Leading = 2, Terminating = 3 };

// A mode-1 constituent with charges minCharge..maxCharge; pKa and u give the
// values of each charge position (the neutral position included, unused).
TComponents Constituent(const std::string& name, int minCharge, int maxCharge,
                        const std::vector<double>& pKa, const std::vector<double>& u, int type,
                        double c, double cInj, int colour = 0);
// Monovalent strong cation / anion, weak acid (-1..0) and weak base (0..+1).
TComponents StrongCation(const std::string& name, double u, int type, double c, double cInj);
TComponents StrongAnion(const std::string& name, double u, int type, double c, double cInj);
TComponents WeakAcid(const std::string& name, double pK, double u, int type, double c, double cInj);
TComponents WeakBase(const std::string& name, double pK, double u, int type, double c, double cInj);

// Lays a constituent out in segments (mode from the flags; pK and mobility rows
// copied into every segment row when they vary per segment).
TComponents Segmented(TComponents rec, const std::vector<double>& concentrations,
                      const std::vector<double>& ratios, bool gradPKa = false, bool gradU = false);

// Acetate buffer (20 mM acetic acid, 10 mM Na+) with two analyte zones:
// K+ (0.1 mM) and a weak base (pK 9.0, 0.1 mM) injected at InjSite.
TUnivSet<TComponents> AcetateBufferWithAnalytes();
// Isotachophoresis of strong ions: K+ leading (10 mM), Na+ sample zone (10 mM),
// Li+ terminating (10 mM), Cl- counter-ion (10 mM BGE).
TUnivSet<TComponents> ItpStrongIons();

// Complexation: a selector ligand with charges -1..1 (pK 9.5 and 2.25,
// mobilities 30 and 42), an amine analyte (0..1) and an acid (-1..0).
TUnivSet<TComponents> SelectorWithAnalytes();

// Split advection ("Special Mode"), the first `count` of: an analyte zone
// (constituent 1, 0.01 mM, split into 3 and 4), its uniform partner (10 mM),
// the free and the bound form (mobilities 20 and 60, empty) and chloride.
TUnivSet<TComponents> SplitAdvectionComposition(int count = 5);

// Puts the default run setup into `st` (defaults of the run state, `nodes` as
// the pending node count) and `comp` as the composition; no host.
void PrepareRun(RunState& st, const TUnivSet<TComponents>& comp, int nodes = 200);

}  // namespace testcomp
