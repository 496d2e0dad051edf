#include "tools/complex_table.h"

#include <cmath>
#include <utility>

#include "foundation/numtext.h"

namespace {

std::string Num(double v)
{
    return ShortestFloatText(v, '.');
}

const TComponents* Nth(const TUnivSet<TComponents>& list, int n)
{
    int k = 1;
    for (const auto* node = list.Head(); node; node = node->next, ++k)
        if (k == n) return &node->data;
    return nullptr;
}

double Value(const TComponents::RowTable& rows, int k)
{
    if (rows.size() < 2 || static_cast<int>(rows[1].size()) <= k) return 0.0;
    return rows[1][static_cast<std::size_t>(k)];
}

}  // namespace

int ComplexFormCount(const TUnivSet<TComponents>& composition)
{
    int forms = 0, k = 0;
    for (const auto* n = composition.Head(); n; n = n->next, ++k)
        if (k > 0) forms += n->data.maxCharge - n->data.minCharge + 1;
    return forms;
}

ComplexTable DefaultComplexTable(const TUnivSet<TComponents>& composition, const std::string& pKx,
                                 const std::string& ux)
{
    const TComponents* lig = Nth(composition, 1);
    if (!lig || composition.Count() < 2) return {};
    const int nL = lig->minCharge, pL = lig->maxCharge;
    ComplexTable t;
    t.push_back({std::to_string(nL), std::to_string(pL)});
    ComplexRow pka, mob;
    for (int z = nL; z <= pL; ++z) {
        const int k = z - nL;
        if (z != 0) {
            pka.push_back(Num(Value(lig->pKa, k)));
            mob.push_back(Num(Value(lig->u, k)));
            continue;
        }
        // The neutral form diffuses like its neighbours.
        double sum = 0;
        int count = 0;
        for (int zz : {-1, 1})
            if (zz >= nL && zz <= pL) {
                sum += Value(lig->u, zz - nL);
                ++count;
            }
        mob.push_back(Num(count ? sum / count : 20.0));
    }
    t.push_back(pka.empty() ? ComplexRow{"None"} : pka);
    t.push_back(mob);
    t.push_back({FloatToStr(std::round(2 * 3 - std::log10(1e-8))), "362.5", "205.5"});
    t.push_back({std::to_string(composition.Count() - 1)});
    const int forms = ComplexFormCount(composition);
    const std::size_t cols = static_cast<std::size_t>(pL - nL + 1);
    for (int r = 0; r < forms; ++r) t.push_back(ComplexRow(cols, pKx));
    for (int r = 0; r < forms; ++r) t.push_back(ComplexRow(cols, ux));
    return WithTakenNumbers(std::move(t));
}

int ComplexGridPKxTitleRow()
{
    return 3;
}
int ComplexGridUxTitleRow(int formCount)
{
    return 4 + formCount;
}

bool ComplexPKaCellIsNone(int nL, int pL, int col)
{
    return !ComplexLigandHasPKa(nL, pL, nL + col - 1);
}

bool ComplexGridCellField(const ComplexGrid& grid, int nL, int pL, int r, int c, int& line,
                          int& col)
{
    const int forms = (static_cast<int>(grid.size()) - 5) / 2;
    col = c;
    if (r == 1) {
        if (ComplexPKaCellIsNone(nL, pL, c)) return false;
        col = 0;
        for (int k = 1; k <= c; ++k)
            if (!ComplexPKaCellIsNone(nL, pL, k)) ++col;
        line = 2;
    } else if (r == 2) {
        line = 3;
    } else if (r > ComplexGridPKxTitleRow() && r < ComplexGridUxTitleRow(forms)) {
        line = r + 2;
    } else if (r > ComplexGridUxTitleRow(forms) && r <= ComplexGridUxTitleRow(forms) + forms) {
        line = r + 1;
    } else {
        return false;
    }
    return c >= 1;
}

std::string RevertRefusedCells(ComplexGrid& grid, const ComplexGrid& shown, int nL, int pL,
                               const TUnivSet<TComponents>& composition)
{
    const int lines = 5 + 2 * ((static_cast<int>(grid.size()) - 5) / 2);
    const bool sameShape =
        shown.size() == grid.size() && !grid.empty() && shown[0].size() == grid[0].size();
    std::string refusals;
    for (int r = 1; r < static_cast<int>(grid.size()); ++r)
        for (int c = 1; c < static_cast<int>(grid[static_cast<std::size_t>(r)].size()); ++c) {
            std::string& cell = grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            const std::string before =
                sameShape ? shown[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] : "-";
            if (sameShape && cell == before) continue;
            int line = 0, col = 0;
            std::string refusal;
            if (ComplexGridCellField(grid, nL, pL, r, c, line, col))
                refusal = ComplexTypedRefusal(line, col, lines, nL, pL, composition, cell);
            else if (r == 1 && cell != "None")  // a charge without a constant
                refusal = ComplexValueRefusal(ComplexLigandPKaName(nL + c - 1), cell);
            if (refusal.empty()) continue;
            refusals += (refusals.empty() ? "" : "\n") + refusal;
            cell = before;
        }
    return refusals;
}

ComplexGrid ComplexGridFromTable(const ComplexTable& table, int nL, int pL,
                                 const TUnivSet<TComponents>& composition, const std::string& pKx,
                                 const std::string& ux)
{
    const int F = ComplexFormCount(composition);
    const int cols = pL - nL + 2;
    ComplexGrid g(static_cast<std::size_t>(2 * F + 5),
                  std::vector<std::string>(static_cast<std::size_t>(cols)));
    auto field = [&](int line, int col, std::string& cell) {
        if (line >= 1 && line <= static_cast<int>(table.size()) && col >= 1 &&
            col <= static_cast<int>(table[static_cast<std::size_t>(line - 1)].size()))
            cell = table[static_cast<std::size_t>(line - 1)][static_cast<std::size_t>(col - 1)];
        else
            cell = "-";
    };
    g[0][0] = "Name \\ zL";
    for (int c = 1; c < cols; ++c) g[0][static_cast<std::size_t>(c)] = std::to_string(nL + c - 1);
    g[1][0] = "Free ligand pKa (M)";
    g[2][0] = "Free ligand u (1e-9)";
    int next = 1;
    for (int c = 1; c < cols; ++c) {
        std::string& cell = g[1][static_cast<std::size_t>(c)];
        if (ComplexPKaCellIsNone(nL, pL, c))
            cell = "None";
        else
            field(2, next++, cell);
        field(3, c, g[2][static_cast<std::size_t>(c)]);
    }
    const int tableForms = (static_cast<int>(table.size()) - 5) / 2;
    g[static_cast<std::size_t>(ComplexGridPKxTitleRow())][0] = "pKx (M^-1)";
    g[static_cast<std::size_t>(ComplexGridUxTitleRow(F))][0] = "ux (1e-9)";
    int r = 0, k = 0;
    for (const auto* n = composition.Head(); n; n = n->next, ++k) {
        if (k == 0) continue;
        for (int z = n->data.minCharge; z <= n->data.maxCharge; ++z, ++r) {
            const std::string title = z == n->data.minCharge
                                          ? "  " + n->data.name + "; z = " + std::to_string(z)
                                          : "    z = " + std::to_string(z);
            auto& pr = g[static_cast<std::size_t>(4 + r)];
            auto& ur = g[static_cast<std::size_t>(5 + F + r)];
            pr[0] = ur[0] = title;
            for (int c = 1; c < cols; ++c) {
                if (r < tableForms) {
                    field(6 + r, c, pr[static_cast<std::size_t>(c)]);
                    field(6 + tableForms + r, c, ur[static_cast<std::size_t>(c)]);
                } else {
                    pr[static_cast<std::size_t>(c)] = pKx;
                    ur[static_cast<std::size_t>(c)] = ux;
                }
            }
        }
    }
    return g;
}

ComplexTable ComplexTableFromGrid(const ComplexGrid& grid, int nL, int pL, const std::string& pKw,
                                  const std::string& uH, const std::string& uOH, int analytes)
{
    auto cell = [](const std::string& s) { return s.empty() ? std::string("None") : s; };
    ComplexTable t;
    t.push_back({std::to_string(nL), std::to_string(pL)});
    const std::size_t cols = grid.empty() ? 0 : grid[0].size();
    ComplexRow pka, mob;
    for (std::size_t c = 1; c < cols; ++c) {
        if (grid.size() > 1 && grid[1][c] != "None") pka.push_back(cell(grid[1][c]));
        if (grid.size() > 2) mob.push_back(cell(grid[2][c]));
    }
    t.push_back(pka.empty() ? ComplexRow{"None"} : pka);
    t.push_back(mob);
    t.push_back({cell(pKw), cell(uH), cell(uOH)});
    t.push_back({std::to_string(analytes)});
    const int F = (static_cast<int>(grid.size()) - 5) / 2;
    for (int section = 0; section < 2; ++section)
        for (int r = 0; r < F; ++r) {
            const auto& row = grid[static_cast<std::size_t>(section == 0 ? 4 + r : 5 + F + r)];
            ComplexRow line;
            for (std::size_t c = 1; c < row.size(); ++c) line.push_back(cell(row[c]));
            t.push_back(line);
        }
    return WithTakenNumbers(std::move(t));
}
