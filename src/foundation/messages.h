// Message and location texts of the program's own that have no counterpart in
// the original texts: raises, warnings and questions added to refuse unsafe
// input or states. Kept in one place.
#pragma once

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
