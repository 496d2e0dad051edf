// Linearized mode (run setup "Linearized mode"): the transport of the
// constituents coupled through constant matrices, Mat1 of mobilities and Mat2
// of diffusion coefficients (set by Init), driven by a uniform field taken
// from the mean resistivity of the column.
#pragma once

#include "engine/modes/modes.h"
#include "foundation/matrix.h"

class RunState;

// The linearised mode's own state: its coefficient matrices (NComp x NComp),
// built at Init while the mode is on, or at its first derivatives when it was
// switched on during a run; a run without the mode holds none of that size.
struct LinearModeState {
    TMatrix Mat1{2}, Mat2{2};
    bool built = false;  // the matrices are those of the run's NComp
};
LinearModeState& LinearState(RunState& st);
const LinearModeState& LinearState(const RunState& st);

// Coefficient matrices of the run's NComp: zero, with fixed values for two
// constituents.
void SetLinearMatrices(RunState& st);
// Bytes of the two matrices for the composition of the next Init.
double LinearMatrixBytes(const RunState& st, int nodes);

// Conductivity of the window, the drive (LinScale and U; I and E are left as
// they are), then, unless fieldOnly, dc_i/dt = sum_k Mat2[i][k] c_k'' -
// E0 Mat1[i][k] c_k' at the interior nodes (E0 = U/CapLength; "EOF in Dif.
// Eq." adds the convection of c_i at EOFMob E0) and the wall rule. A column
// without a finite positive resistivity stops the run.
void CalcDER_Linear(RunState& st, int level, bool fieldOnly);

ModeHooks LinearModeHooks();
