// The protein builder: an amino-acid sequence (one-letter codes) becomes a
// multivalent ampholyte with one pK and one mobility per charge form, written
// into the constituent editor.
#pragma once

#include <string>
#include <utility>
#include <vector>

class ConstituentEditor;

inline constexpr const char* kDefaultProteinMobility = "30.0*(x^(-1/3))*Abs(z)+2.0";

// pK of the C-terminal carboxyl and of the N-terminal amine by residue letter
// (0 for a letter that is not one of the twenty residues).
double CTerminalPK(char residue);
double NTerminalPK(char residue);

class ProteinBuilder {
public:
    // The controls.
    std::vector<std::string> Input;  // memo lines of the sequence
    bool AllSS = true;               // "C in -S-S- only"
    std::string NSS = "0";           // "# of -SS- bonds"
    std::string Formula = kDefaultProteinMobility;

    // Counts after the last InputChange (C after the disulfide correction).
    int C = 0, D = 0, E = 0, H = 0, K = 0, R = 0, Y = 0;
    int Valid = 0, Invalid = 0;
    char First = 0, Last = 0;

    // Recounts the sequence. A bond count that is not a whole number warns and
    // keeps the previous counts (false).
    bool InputChange();

    std::string ValidText() const;    // "Valid characters x = " + count
    std::string InvalidText() const;  // "Invalid characters = " + count
    std::string GroupsText() const;   // "(M)C0D5E7H1K10R3Y4(K)"

    // The charge limits (-acidic groups, basic groups) and the grid rows in
    // order of the charges -a..-1, 1..b: (pK, mobility).
    int MinCharge() const { return -(C + D + E + Y + 1); }
    int MaxCharge() const { return H + K + R + 1; }
    // pK of each charge form row, highest pK at the most negative charge.
    std::vector<double> SortedPKs() const;

    // Whether a constituent can hold the groups: neither count beyond
    // kMaxChargeMagnitude.
    bool ChargesFit() const;

    // Writes the protein into the editor (charge limits, no segments, Apply,
    // charge-form grid). Nothing happens without a valid residue. More groups
    // than a constituent holds warn (kProteinTooManyGroups) and build nothing
    // (false). An error of the mobility formula raises with the rows written
    // so far kept.
    bool MakeProtein(ConstituentEditor& editor) const;
};
