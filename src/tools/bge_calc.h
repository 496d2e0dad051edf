// Background-electrolyte calculation ("PM MODE"): the constituents of the last
// Init, analytes left out, in equilibrium as one solution: cH and pH, every
// ionic form, ionic strength and conductivity and, with the ionic-strength
// correction, activity-corrected constants and Onsager-Fuoss-corrected
// mobilities. The equilibrium is the engine's own (Newton's method on
// electroneutrality, activity coefficients, mobility correction) applied to a
// single node, so the result is the pH the engine finds on a uniform buffer.
#pragma once

#include <string>

#include "engine/state/bge_record.h"

class RunState;

// Fills st.EIData from the Init copy CompInit and computes it. False with an
// empty Init copy (the record is left as it was) and when a constituent is of
// neither type A nor B (warning "In PM MODE all constituents have to be of type
// A or B.", the record emptied); otherwise the result of CalcPMBGE.
bool BuildPMBGE(RunState& st);

// Computes the equilibrium of a record filled with charges, concentrations,
// pK values and limiting mobilities (analytes count as concentration 0).
// epsNew and itNew are the Newton precision and iteration limit. On success
// the results are stored and true is returned. A failed solve empties the
// record and raises "BGE calculation error"; a positive form whose constants
// multiply to 0 raises code -3 at "Calculate>>ElneutG" (record emptied too).
bool CalcPMBGE(TEIData& rec, double epsNew, int itNew);

// Text of the value the linear tool shows: FormMob of constituent 1 at index
// ZMin[1] + ZMax[1] (general 15-digit form), "N/A" when the record is empty
// or the index lies outside the forms of constituent 1.
std::string LinearToolValueText(const TEIData& rec);
