// Regulating functions and the additional profiles of the main chart, computed
// from the run state: the derived per-node profiles (ionic strength, field,
// electroneutrality error, current density, voltage drop, power, temperature,
// potential), the terms of the universal regulating function, the charge that
// represents each constituent, and the eight regulating-function profiles
// (Kohlrausch's sum |z| c / u among them).
//
// Concentrations c_k are the drawn profiles (Arr.DrawnProfile, the y values of
// the constituent series); every other input is time level 2 of the run. The
// routines only overwrite y values of series that already hold one point per
// node; a series of another size is left alone.
#pragma once

#include <string>
#include <vector>

#include "foundation/univset.h"

class RunState;
class TComponents;
struct AdditionalState;

// True when every constituent of `list` has the charges (0, +1) or (-1, 0);
// true for an empty list.
bool AllUnivalent(const TUnivSet<TComponents>& list);

// The terms of the universal regulating function at every node (URFR rows
// 1..6, mju/ueff in Arr.URFWorkA, z/ueff in Arr.URFWorkB, both 0 where the
// effective mobility is 0), then the INIT position: a.edInitX read as a node
// (0 when it is no whole number, clamped to 0..NX), written back, kept in
// a.URFCount, and its values copied into slot NX + 1. Does nothing without
// the arrays of an initialised run.
void ComputeUniversalRF(RunState& st, AdditionalState& a);

// The charge z_k that represents constituent k in the regulating functions,
// [1..NComp] (entry 0 unused), from the pH at the capillary start and the pK
// values of the constituent's first segment.
std::vector<int> ChargeChoice(const RunState& st);
// One value and a line break per constituent.
std::string ChargeChoiceText(const std::vector<int>& z);

// The ionic strength, field and electroneutrality profiles; when the profile
// list offers the additional profiles (more than NComp + 4 items) also the
// current density, voltage drop, power per length, temperature and potential.
// With the ionic-strength correction off the ionic strength shown is computed
// from the node's forms; the run's arrays are left as they are.
void FillAdditionalSeries(RunState& st);

// The regulating-function part of the chart refresh: sr_reg1..8 become
// inactive; in the profile view with constituents and any box checked, the
// universal terms are computed (unless st.cbCInit asks for the Init values),
// the charge choice is built (its text in a.ChargeInfo) and every checked
// series is filled and made active.
void FillRegulationFunctions(RunState& st, AdditionalState& a);
