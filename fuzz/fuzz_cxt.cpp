// The complexation text file on any bytes: the table read from it holds only
// non-empty fields without separators or line ends, the project's reader takes
// it or refuses it with "Incorrect file.", and a complexation Init of
// a small run with it (set-up checks, constants, equilibrium, derivatives)
// refuses (always a table whose values the reader refuses) or builds a run
// whose profiles are numbers.
#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "fuzz_support.h"
#include "tools/complex_table.h"

#include <cmath>
#include <string_view>

namespace {

// Ligand -1..1, a base 0..1 and an acid -1..0 (two lines of pKx, two of ux each).
TComponents Record(const char* name, int zmin, int zmax, double c)
{
    TComponents r;
    r.name = name;
    r.minCharge = zmin;
    r.maxCharge = zmax;
    r.mode = 1;
    r.pKa.assign(2, TComponents::Row(static_cast<std::size_t>(zmax - zmin + 1), 0.0));
    r.u.assign(2, TComponents::Row(static_cast<std::size_t>(zmax - zmin + 1), 30.0));
    if (zmin < 0) r.pKa[1][0] = 9.5;
    if (zmax > 0) r.pKa[1][static_cast<std::size_t>(zmax - zmin)] = 3.0;
    r.c = r.cInj = c;
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".txt");
    WriteInput(name, data, size);
    const ComplexTable table = ReadComplexTableFile(name);
    for (const auto& line : table) {
        if (line.empty() || line[0][0] == '#') __builtin_trap();
        for (const auto& f : line)
            if (f.empty() || f.view().find_first_of("\t\r\n") != std::string_view::npos)
                __builtin_trap();
    }
    RunState st;
    st.Composition.Add(Record("Ligand", -1, 1, 5));
    st.Composition.Add(Record("Base", 0, 1, 2));
    st.Composition.Add(Record("Acid", -1, 0, 10));
    st.NXPending = 12;
    st.cbComplex = true;
    // The project's reader takes the same table, or refuses exactly the one
    // that is not readable (ligand charges that are no integers, more fields
    // than the charges give, numbers beyond their kinds; then the set-up gets
    // it anyway).
    try {
        LoadComplexData(st, name);
        if (st.TxtTable != table) __builtin_trap();
    } catch (const Exception&) {
        if (ComplexTableReadable(table)) __builtin_trap();
        st.TxtTable = table;
    }
    try {
        if (!InitCalc(st)) return 0;
        // Init holds the table's values to the reader's rule.
        if (!ComplexTableReadable(st.TxtTable)) __builtin_trap();
        CalcDER(st, 2, false);
        for (int j = 0; j <= st.NX; ++j)
            if (!std::isfinite(st.Arr.CH(2)[j]) ||
                !std::isfinite(st.Arr.E[static_cast<std::size_t>(j)]))
                __builtin_trap();
    } catch (const Exception&) {
    }
    return 0;
}
