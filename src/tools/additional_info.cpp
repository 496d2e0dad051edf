#include "tools/additional_info.h"

#include <algorithm>
#include <cmath>

#include "engine/state/run_state.h"
#include "foundation/numtext.h"

const char* const kRegFnCaptions[9] = {"",
                                       "Kohlrauch (|z|c/u) [1e9]",
                                       "Reg 2 (z*c) [1]",
                                       "Reg 3 c*(|z|/u-z/uH) [1e9]",
                                       "Reg 4 c*(|z|/u+z/uOH)[1e9]",
                                       "Reg 5 DIVALENT [1e7]",
                                       "Reg 6 Universal RF [1]",
                                       "Reg 7 Amph Save pH[1e9]",
                                       "Reg 8 univ/strng UNVL [1]"};

const char* const kR6Hints[6] = {"",
                                 "r1 enabled (save pH)",
                                 "r2 enabled (save pH)",
                                 "r3 enabled (H OH)",
                                 "r4 enabled (H OH)",
                                 "One Point Regulation"};

bool AnyRegFnShown(const AdditionalState& a)
{
    for (int k = 1; k <= 8; ++k)
        if (a.cbRegFn[k]) return true;
    return false;
}

InfoTexts ShowInfoTexts(const RunState& st)
{
    InfoTexts t;
    t.mainC = std::to_string(st.StepCount);
    t.dx = FormatFloat(std::abs(st.DX) < 0.01 ? "0.0##e+0" : "0.000", st.DX * 1000);
    t.newtC = std::to_string(st.NewtonItMax != 0 ? st.NewtonItMax : st.NewtonItStep);
    t.globMN = FormatFloat("0.####", st.GlobalRatio);
    t.globMNCaption = st.ISCorrection ? "Neut per iter" : "Global Ratio";
    t.errDT = FormatFloat("0.0##e+0", st.MaxCorrChange);
    t.errDTCaption = "Der Error (" + FormatFloat("0.0e+0", st.EpsCor) + ")";
    t.errMax = FormatFloat("0.0##e+0", st.MaxError);
    return t;
}

std::vector<std::string> UrfReportLines(const RunState& st, const AdditionalState& a)
{
    std::vector<std::string> lines = {"Universal Regulation Function Report",
                                      "------------------------------------"};
    const EngineArrays& arr = st.Arr;
    const int nc = st.NComp;
    if (!st.Initialised || !arr.Allocated() || arr.NComp != nc || arr.URFR.Rows() < 7 ||
        arr.URFWorkA.Rows() < nc + 1 || arr.URFWorkB.Rows() < nc + 1 || arr.URF.Rows() < nc + 1)
        return lines;
    const int n = std::clamp(a.URFCount, 0, st.NX);
    if (n >= arr.URFR.Cols() || n >= arr.URF.Cols()) return lines;
    const NodeTable& r = arr.URFR;
    lines.push_back("");
    lines.push_back("X = " + std::to_string(n));
    lines.push_back("");
    for (int k = 1; k <= 4; ++k)
        lines.push_back("r" + std::to_string(k) + " = " + FloatToStr(r[k][n]));
    lines.push_back("");
    lines.push_back("i ... (mju[i]/ueff[i], Z[i]/ueff[i])");
    for (int i = 1; i <= nc; ++i)
        lines.push_back(std::to_string(i) + " ... (" + FloatToStr(arr.URFWorkA[i][n]) + ", " +
                        FloatToStr(arr.URFWorkB[i][n]) + ")");
    lines.push_back("");
    lines.push_back("i ... R[i]");
    double w = 0;
    for (int i = 1; i <= nc; ++i) {
        const double ri =
            (r[2][n] + r[4][n]) * arr.URFWorkA[i][n] + (r[1][n] + r[3][n]) * arr.URFWorkB[i][n];
        w += ri * arr.URF[i][n];
        lines.push_back(std::to_string(i) + " ... " + FloatToStr(ri));
    }
    lines.push_back("");
    lines.push_back("w(x) = " + FloatToStr(w));
    return lines;
}
