// Voltage and current of the capillary: the column resistance from the
// conductivity profile, closed by the power mode (constant voltage or constant
// current).
#pragma once

class RunState;

// Adds the additional conductivity AddCond (when above 0) to Kappa over the
// computation window. The derivative routines call it exactly once, right after
// they have formed Kappa from the concentrations.
void AddAdditionalConductivity(RunState& st);

// U and I from the conductivity profile as it stands (AddCond is not added
// here). Diffusion mode: U = I = 0. KappaEnd takes Kappa[NX] when it is 0.
// R = FakeCapLen/KappaEnd + DX*(half end terms + inner 1/(Kappa*S)); the
// extra-length term is skipped when FakeCapLen is 0. A zero, negative or
// non-finite resistance warns once per run, sets Stop and NumericalFailure,
// leaves U and I unchanged and returns false.
bool CalcVoltageCurrent(RunState& st);

// Column resistance in ohm from Kappa, S, DX, FakeCapLen and KappaEnd (which
// it fills when 0). Not finite or not positive when the column has no
// resistance to speak of.
double ColumnResistance(RunState& st);
