#include "composition/protein_builder.h"

#include "composition/constituent_editor.h"
#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"
#include "foundation/paramset.h"

#include <cstring>

namespace {

struct TerminalPK {
    char residue;
    double cTerm, nTerm;
};
constexpr TerminalPK kTerminal[] = {
    {'A', 2.35, 9.87}, {'C', 2.05, 10.25}, {'D', 2.1, 9.82},  {'E', 2.1, 9.47},  {'F', 2.58, 9.24},
    {'G', 2.35, 9.78}, {'H', 1.77, 9.18},  {'I', 2.32, 9.76}, {'K', 2.18, 8.95}, {'L', 2.33, 9.74},
    {'M', 2.28, 9.21}, {'N', 2.02, 8.8},   {'P', 2.0, 10.6},  {'Q', 2.17, 9.13}, {'R', 2.01, 9.04},
    {'S', 2.21, 9.15}, {'T', 2.09, 9.1},   {'V', 2.29, 9.72}, {'W', 2.38, 9.39}, {'Y', 2.2, 9.11},
};

const TerminalPK* Terminal(char r)
{
    for (const auto& t : kTerminal)
        if (t.residue == r) return &t;
    return nullptr;
}

// Side-chain groups (pK).
constexpr double kPKD = 3.86, kPKE = 4.07, kPKH = 6.1, kPKC = 8.0, kPKY = 10.07, kPKK = 10.53,
                 kPKR = 12.48;

}  // namespace

double CTerminalPK(char residue)
{
    const auto* t = Terminal(residue);
    return t ? t->cTerm : 0.0;
}

double NTerminalPK(char residue)
{
    const auto* t = Terminal(residue);
    return t ? t->nTerm : 0.0;
}

bool ProteinBuilder::InputChange()
{
    int nss = 0;
    if (!AllSS && !NSS.empty() && !ReadInt(NSS, nss)) {
        ShowWarning("'" + NSS + kNotAnInteger);
        return false;
    }
    int counts[128] = {};
    int valid = 0, invalid = 0;
    char first = 0, last = 0;
    for (const auto& line : Input)
        for (char ch : line) {
            if (ch == '\r' || ch == '\n') continue;  // line breaks are not part of the sequence
            if (Terminal(ch)) {
                ++valid;
                ++counts[static_cast<unsigned char>(ch)];
                if (!first) first = ch;
                last = ch;
            } else {
                ++invalid;
            }
        }
    int c = counts['C'];
    if (AllSS) {
        c = 0;
    } else {
        if (nss < 0) nss = 0;
        c -= 2 * nss;
        if (c < 0) c = 0;
    }
    C = c;
    D = counts['D'];
    E = counts['E'];
    H = counts['H'];
    K = counts['K'];
    R = counts['R'];
    Y = counts['Y'];
    Valid = valid;
    Invalid = invalid;
    First = first;
    Last = last;
    return true;
}

std::string ProteinBuilder::ValidText() const
{
    return "Valid characters x = " + std::to_string(Valid);
}
std::string ProteinBuilder::InvalidText() const
{
    return "Invalid characters = " + std::to_string(Invalid);
}

std::string ProteinBuilder::GroupsText() const
{
    std::string s;
    if (First) s += std::string("(") + First + ")";
    s += "C" + std::to_string(C) + "D" + std::to_string(D) + "E" + std::to_string(E) + "H" +
         std::to_string(H) + "K" + std::to_string(K) + "R" + std::to_string(R) + "Y" +
         std::to_string(Y);
    if (Last) s += std::string("(") + Last + ")";
    return s;
}

std::vector<double> ProteinBuilder::SortedPKs() const
{
    struct Group {
        double pK;
        int count;
    };
    Group g[9] = {{CTerminalPK(Last), 1},
                  {kPKD, D},
                  {kPKE, E},
                  {kPKH, H},
                  {kPKC, C},
                  {kPKY, Y},
                  {kPKK, K},
                  {kPKR, R},
                  {NTerminalPK(First), 1}};
    // Selection sort, ascending; the earlier entry first on equal pK.
    for (int i = 0; i < 9; ++i) {
        int m = i;
        for (int j = i + 1; j < 9; ++j)
            if (g[j].pK < g[m].pK) m = j;
        std::swap(g[i], g[m]);
    }
    std::vector<double> rows;
    for (int i = 8; i >= 0; --i)
        for (int k = 0; k < g[i].count; ++k) rows.push_back(g[i].pK);
    return rows;
}

bool ProteinBuilder::ChargesFit() const
{
    return -MinCharge() <= kMaxChargeMagnitude && MaxCharge() <= kMaxChargeMagnitude;
}

bool ProteinBuilder::MakeProtein(ConstituentEditor& editor) const
{
    if (Valid == 0) return true;
    if (!ChargesFit()) {
        ShowWarning(ProteinTooManyGroupsText(-MinCharge(), MaxCharge(), kMaxChargeMagnitude));
        return false;
    }
    editor.EditMinCharge = MinCharge();
    editor.EditMaxCharge = MaxCharge();
    editor.Refresh();
    editor.SetGradient(false);
    editor.Apply();
    TFnTree tree;
    tree.FromText(Formula);
    TParamSetNode* x = GlobalParams.Find(1);
    const bool hadX = x && x->isSet;
    const double oldX = hadX ? x->value : 0.0;
    GlobalParams.SetValue(1, Valid);
    struct RestoreX {
        bool had;
        double value;
        ~RestoreX()
        {
            if (had)
                GlobalParams.SetValue(1, value);
            else
                GlobalParams.ClearValue(1);
        }
    } restore{hadX, oldX};
    const std::vector<double> pks = SortedPKs();
    for (std::size_t i = 0; i < pks.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        editor.SetZCell(1, row, ShortestFloatText(pks[i], DecimalSeparator()));
        int z = 0;
        ReadInt(editor.sgZ.Cell(0, row), z);
        editor.SetZCell(2, row, FloatToStr(RoundD(tree.Value(3, z), 8)));
    }
    return true;
}
