// Message and location texts of the program's own that have no counterpart in
// the original texts: raises, warnings and questions added to refuse unsafe
// input or states. Kept in one place.
#pragma once

#include <string>

// Locations of the expression trees (raised with the standard codes).
inline constexpr const char* kWhereTreePlus = "TFnTree::operator+";
inline constexpr const char* kWhereTreeMul = "TFnTree::operator*";
inline constexpr const char* kWhereTreeDiv = "TFnTree::operator/";
inline constexpr const char* kWhereTreeErf = "TFnTree::Erf";
inline constexpr const char* kWhereCopyTreeSource = "CopyTree>>source";
inline constexpr const char* kWhereErfStepTree = "ErfStepTree";

// Engine: a stored hydrogen-ion concentration that is not a positive finite
// number (followed by the node and the value).
inline constexpr const char* kBadHydrogenConcentration = "Incorrect H+ concentration at node ";

// Linear tool: the value it shows does not exist (no result, or an index
// outside the forms of the first constituent).
inline constexpr const char* kNotAvailable = "N/A";

// Run initialisation: modes whose set-up this version does not build yet.
// Complexation set-up: ligand charges nL, pL of the table beyond -32..32.
inline constexpr const char* kComplexLigandCharges = "Complex Mode: Incorrect nL or pL!";

// Run initialisation: the engine arrays of the run would not fit in a
// sensible share of the memory; nothing is allocated.
inline constexpr const char* kInitRunTooLarge =
    "The run does not fit in memory: reduce the nodes or the charges of the constituents. INIT cancelled.";

// Engine: the column has no finite positive resistance (zero or non-finite
// conductivity or cross-section); the run stops.
inline constexpr const char* kBadResistance =
    "Resistance of the capillary is zero or undefined (check conductivity and cross-section). Calculation stopped.";
// Engine: what made the resistance undefined, named with the node and the
// value (followed by kCalculationStopped).
inline constexpr const char* kBadConductivityAt =
    "Conductivity is zero, negative or undefined at node ";
inline constexpr const char* kBadCrossSectionAt =
    "Cross-section is zero, negative or undefined at node ";
// Engine: a step gave a concentration that is not a finite number (followed by
// the constituent number, the node and kCalculationStopped).
inline constexpr const char* kBadConcentrationOf =
    "Concentration is not a finite number: constituent ";
inline constexpr const char* kCalculationStopped = ". Calculation stopped.";
// Split-advection ("Special Mode") and LiBz modes: compositions the mode cannot work on (Init
// refuses them; a switch turned on during a run stops it).
inline constexpr const char* kSplitAdvectionConstituents =
    "Special Mode requires at least 5 constituents, and constituents 2, 3 and 4 need a charged form.";
inline constexpr const char* kLiBzModeConstituents = "Incorrect constituents for LiBz Mode!";
// Split-advection mode: the equilibrium split of constituent 1 has no real root at a
// node (a negative concentration); followed by the node and kCalculationStopped.
inline constexpr const char* kSplitAdvectionNoSplit = "Special Mode: no equilibrium split at node ";
// Micellar and racemic modes: an aggregation number below 1 (from a file)
// is refused at Init and stops a run.
inline constexpr const char* kMicAggregationNumber =
    "Incorrect aggregation number of micellizing constituent.";

// Project open: whether the sequence saved beside the project is copied into
// the temporary sequence (with "Ask Before Transfer PSQ").
inline constexpr const char* kPsqTransferQuestion =
    "Copy the saved PSQ file into the temporary PSQ file, so that the run can be continued?";

// Initial-distribution tool: Apply after the constituents changed since the
// preview (the previewed profiles no longer fit them); nothing changes.
inline constexpr const char* kDistCompositionChanged =
    "Constituents changed since the preview - press <PREVIEW> again to apply the new distribution!";

// Protein builder: more acidic or basic groups than a constituent holds
// (`limit`); nothing is built.
inline std::string ProteinTooManyGroupsText(int acidic, int basic, int limit)
{
    return "Too many ionisable groups: " + std::to_string(acidic) + " acidic and " +
           std::to_string(basic) + " basic (a constituent has at most " + std::to_string(limit) +
           " of each). Protein not created.";
}

// Protein builder: a bond count that is not a whole number (after the quoted text).
inline constexpr const char* kNotAnInteger = "' is not a valid integer value";
