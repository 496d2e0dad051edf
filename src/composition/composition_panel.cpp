#include "composition/composition_panel.h"

#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <algorithm>

const std::array<PanelColumn, kPanelColumns> kPanelHeaders = {{
    {"#", "Identification number of constituent (used by Edit and Delete buttons)"},
    {"name", "Unique name (new constituent with the same name deletes old one)"},
    {"", "Colour of profile and detector line"},
    {"type",
     "Type of constituent - A, B, L, T - one way to define initial distribution of concentration"},
    {"n", "Negative limit of charge number"},
    {"p", "Positive limit of charge number"},
    {"c(inj)", "Concentration of constituent at injection site (sample site) if used"},
    {"c",
     "Concentration of constituent along capillary\nMore than one value represent concentrations in "
     "different segments (from left to right side of capillary)"},
    {"pKa",
     "Thermodynamic dissociative constants of acidic forms - pK (K in mol/dm3).\nFor multivalent "
     "constituent values are sorted from minimum charge to maximum charge.\nNeutral charge of ampholytes "
     "is represented by vertical line.\nSegments with different pK are separated by parentheses {}"},
    {"u",
     "Limit ionic mobilities (in 10^-9 m2/V/s)\nFor multivalent constituent values are sorted from minimum "
     "charge to maximum charge\nNeutral charge of ampholytes is represented by vertical line.\nSegments with "
     "different pK are separated by parentheses {}"},
    {"zones",
     "Number of Segments - each segment can contain different concentration, pKa constants and mobilities"},
    {"ratio", "Ratio of segment lengths"},
    {"", "Spacer"},
}};

namespace {

std::string RowList(const TComponents& c, bool pKaRow, int row)
{
    const bool ampholyte = c.minCharge < 0 && c.maxCharge >= 1;
    std::string s;
    for (int z = c.minCharge; z <= c.maxCharge; ++z) {
        if (z == 0) {
            if (ampholyte) s += "| ";
            continue;
        }
        s += FloatToStr(pKaRow ? c.PKaOf(row, z) : c.UOf(row, z)) + "; ";
    }
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "; ") == 0) s.resize(s.size() - 2);
    return s;
}

std::string SegmentList(const std::vector<double>& v, int zones)
{
    std::string s;
    for (int i = 1; i <= zones; ++i)
        s += FloatToStr(i < static_cast<int>(v.size()) ? v[i] : 0.0) + "; ";
    return s;
}

TComponents& At(TUnivSet<TComponents>& list, int k)
{
    return list[k];
}

}  // namespace

std::string PanelChargeList(const TComponents& c, bool pKaRows)
{
    if (c.minCharge == 0 && c.maxCharge == 0) return " - ";
    const bool perSegment = c.gradient && (pKaRows ? c.gradPKa : c.gradU);
    if (!perSegment) return RowList(c, pKaRows, 1);
    std::string s;
    for (int r = 1; r <= c.zones; ++r) s += "{" + RowList(c, pKaRows, r) + "}  ";
    return s;
}

PanelRow PanelRowTexts(const TComponents& c, int key, bool complexMode,
                       std::optional<std::pair<int, int>> ligand)
{
    static const char* types[] = {"A", "B", "L", "T"};
    PanelRow t;
    t[0] = complexMode ? (key == 1 ? "L" : std::to_string(key - 1)) : std::to_string(key);
    t[1] = c.name;
    t[3] = c.gradient ? "-" : (c.type <= 3 ? types[c.type] : "-");
    const bool ligandRow = key == 1 && ligand.has_value();
    t[4] = std::to_string(ligandRow ? ligand->first : c.minCharge);
    t[5] = std::to_string(ligandRow ? ligand->second : c.maxCharge);
    t[6] = c.gradient ? "-" : FloatToStr(c.cInj);
    t[7] = c.gradient ? SegmentList(c.c_grad, c.zones) : FloatToStr(c.c);
    t[8] = PanelChargeList(c, true);
    t[9] = PanelChargeList(c, false);
    t[10] = c.gradient ? std::to_string(c.zones) : "-";
    t[11] = c.gradient ? SegmentList(c.ratio, c.zones) : "-";
    return t;
}

bool PanelAcceptsCount(int count)
{
    if (count <= kPanelMaxRows) return true;
    ShowWarning(
        "Number of constituents is greater than internal constant = " +
        std::to_string(kPanelMaxRows) +
        "\nThere is no problem to enlarge it - contact author!\nThis problem is only visual - influences "
        "number of constituent in the list of constituents.");
    return false;
}

std::array<int, kPanelColumns> PanelColumnWidths(
    const std::vector<PanelRow>& rows, const std::function<int(const std::string&)>& width)
{
    std::array<int, kPanelColumns> w{};
    for (int col = 0; col < kPanelColumns - 1; ++col) {
        int W = width(kPanelHeaders[col].header) + 8;
        for (const auto& r : rows) W = std::max(W, width(r[col]) + 8);
        w[col] = W + 8;
    }
    w[2] = 16;
    return w;
}

bool MoveFirst(TUnivSet<TComponents>& list, int r)
{
    if (r <= 1 || r > list.Count()) return false;
    const TComponents moved = list[r];
    for (int k = r; k > 1; --k) At(list, k) = list[k - 1];
    At(list, 1) = moved;
    return true;
}

bool MoveUp(TUnivSet<TComponents>& list, int r)
{
    if (r <= 1 || r > list.Count()) return false;
    std::swap(At(list, r), At(list, r - 1));
    return true;
}

bool MoveDown(TUnivSet<TComponents>& list, int r)
{
    if (r < 1 || r >= list.Count()) return false;
    std::swap(At(list, r), At(list, r + 1));
    return true;
}

bool MoveLast(TUnivSet<TComponents>& list, int r)
{
    const int n = list.Count();
    if (r < 1 || r >= n) return false;
    const TComponents moved = list[r];
    for (int k = r; k < n; ++k) At(list, k) = list[k + 1];
    At(list, n) = moved;
    return true;
}

std::optional<std::pair<double, double>> FocusRange(const RunState& st, int r,
                                                    const std::string& radiusText,
                                                    double seriesLast)
{
    if (st.CompChanged) {
        ShowWarning("Constituents changed - press <INIT> or <RESTORE> to do this action!");
        return std::nullopt;
    }
    double R;
    if (!ReadDouble(radiusText, R) || !(R > 0)) {
        ShowWarning("Incorrect input!");
        return std::nullopt;
    }
    double centre = seriesLast;
    if (r >= 1 && r <= st.CompInit.Count()) {
        const TComponents& c = st.CompInit[r];
        if (!c.gradient) centre = c.type == 0 || c.type == 3 ? 0.0 : c.c;
    }
    return std::make_pair(centre - R, centre + R);
}
