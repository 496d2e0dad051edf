// Capillary effects (any of "Various Cross-Section", "Heating", "Mixing",
// "Initial Temperature Profile", "Dual Cross-Section", "Dynanic vEOF"):
// heating and the temperature dependence of the mobilities, the electroosmotic
// velocity (static or from the wall's dissociation), mixing, and the
// derivatives of a capillary whose cross-section and temperature vary along it.
#pragma once

#include "engine/modes/modes.h"

class RunState;

ModeHooks EffectsModeHooks();

// Water property fits (T in K): thermal conductivity W/(m K), heat capacity
// J/(kg K), density kg/m3.
double WaterConductivity(double T);
double WaterHeatCapacity(double T);
double WaterDensity(double T);

// Mobilities corrected for the node temperature (level 2) and, with
// "Simplified Heating", the temperature relaxed towards its steady Joule value.
void UpdateTemperature(RunState& st);
// The mobilities without temperature correction (their reference values at
// 25 degC), as Init leaves them: "&ReInitiate" with neither heating nor an
// initial temperature profile on, so that no mobility keeps the correction of
// a temperature profile that is gone.
void ReferenceMobilities(RunState& st);
// dT/dt of `level` over the computation window (full heating model).
void TemperatureDerivative(RunState& st, int level);
// The electroosmotic velocity, m/s: static, or the volume mean of the wall's
// dissociation times the local field ("Dynanic vEOF"; stored in EOFMobCalc).
double CalcEOFMobility(RunState& st);
// The mixing correction of `level` into CMix (mixing windows, weighted by the
// cross-section) and the plain relaxation of level 1 used without the
// cross-section mode.
void MixStep(RunState& st, int level);
void MixStepPlain(RunState& st, int level);
// Derivatives of a capillary with varying cross-section and temperature.
void CalcDER_Effects(RunState& st, int level, bool fieldOnly);
