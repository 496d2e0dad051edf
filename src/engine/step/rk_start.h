// Starter of the multistep method: from one state, three Runge-Kutta steps
// (Ralston's fourth-order method) fill the history of four consecutive time
// levels that the Milne predictor and the Hamming corrector need.
#pragma once

class RunState;

// Coefficients of the fourth-order tableau.
inline constexpr double kRK_a21 = 0.4;
inline constexpr double kRK_a31 = 0.2969776, kRK_a32 = 0.15875966;
inline constexpr double kRK_a41 = 0.21810038, kRK_a42 = -3.0509647, kRK_a43 = 3.83286432;
inline constexpr double kRK_b1 = 0.17476028, kRK_b2 = -0.55148053, kRK_b3 = 1.20553547,
                        kRK_b4 = 0.17118478;

// Makes `level` (1..5) the oldest level 5 and fills levels 4, 3, 2 (and their
// derivatives) by RKStart on the whole grid; Time advances by 3 DT (the
// diffusion clock in the diffusion mode). Clears Restart (it stays set when the
// diffusion mode ended during the start) and returns true.
// Outside 1..5 it returns false and changes nothing. When a numerical failure
// stops the starter, or a routine raises, the level exchange and the window are
// undone, Time does not advance and Restart stays set (false is returned, the
// exception goes on to the caller).
bool RestartMultistep(RunState& st, int level);

// Advances level 5 into levels 4, 3 and 2. Returns false when a numerical
// failure occurred (nothing of Time or the diffusion clock has changed then).
bool RKStart(RunState& st);
