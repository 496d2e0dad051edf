// Writes the seed corpus of the fuzz targets into <dir>/<target>/: files
// written by the program's writers (whose bytes the golden tests compare with
// the layout tables) for small runs, the older layouts built byte by byte,
// and typical number and expression texts.
#include "composition/cmp_file.h"
#include "composition/database.h"
#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/det_file.h"
#include "files/example_project.h"
#include "files/ini_file.h"
#include "files/opt_file.h"
#include "files/psq.h"
#include "files/sna_file.h"
#include "files/byte_builder.h"   // the tests' builder of layout bytes
#include "fuzz_support.h"
#include "tools/complex_table.h"

#include <filesystem>
#include <tuple>
#include <iostream>

namespace fs = std::filesystem;

namespace {

// The example's buffer (its first two constituents, the composition the
// project target opens its inputs with) on `nodes` nodes, initialised.
bool BufferRun(RunState& st, int nodes)
{
    ComposeExampleDemo(st);
    while (st.Composition.Count() > 2) st.Composition.RemoveNode(st.Composition.Count());
    st.NXPending = nodes;
    return InitCalc(st);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_seeds <corpus dir>\n";
        return 2;
    }
    QuietMessages();
    const fs::path dir = argv[1];
    for (const char* t : {"cmp", "cxt", "dbc", "det", "ini", "opt", "psq", "sna", "text"}) fs::create_directories(dir / t);
    const fs::path work = dir / "work";
    fs::create_directories(work);
    try {
        RunState st;
        if (!BufferRun(st, 20)) return 1;
        st.StopTime = 20 * st.DT;
        RunCalc(st);
        // Project (with its composition and detector record) and the whole example composition.
        if (!SaveSnaFile(st, (work / "run.sna").string())) return 1;
        fs::copy_file(work / "run.sna", dir / "sna" / "run.sna", fs::copy_options::overwrite_existing);
        fs::copy_file(work / "run.cmp", dir / "cmp" / "buffer.cmp", fs::copy_options::overwrite_existing);
        if (fs::exists(work / "run.det")) fs::copy_file(work / "run.det", dir / "det" / "run.det", fs::copy_options::overwrite_existing);
        RunState example;
        ComposeExampleDemo(example);
        if (!WriteComposition(example.Composition, (dir / "cmp" / "example.cmp").string())) return 1;
        // A sequence of two frames.
        const std::string psq = (dir / "psq" / "run.psq").string();
        AppendPsqFrame(st, psq);
        AppendPsqFrame(st, psq);
        // Options and settings of the run; a database of its constituents.
        if (!WriteOptFile(st, (dir / "opt" / "run.opt").string()) ||
            !WriteIniFile(st, (dir / "ini" / "run.ini").string()) ||
            !WriteDatabase((dir / "dbc" / "run.dbc").string(), example.Composition))
            return 1;
    } catch (const Exception& e) {
        std::cerr << e.Message() << '\n';
        return 1;
    }
    // Older layouts.
    WriteBytes(dir / "cmp" / "old.cmp", Bytes().str("RAVO_CORE").f64(1e-8).i32(1).str("HA").i32(5).i32(-1).i32(0)
                                     .u8(0).u8(0).u8(0).f64(2).f64(1).u8(0).f64(4.75).f64(42.4).str("EOF").b);
    Bytes det;
    det.str("RAVO_CORE DET FILE").i32(1).i32(0).f64(1.0).f64(7.0).f64(0.1).f64(1).f64(2);
    WriteBytes(dir / "det" / "old.det", det.str("EOF").b);
    Bytes oldPsq;
    oldPsq.str("RAVO_CORE PSQ FILE").i32(10).i32(2).f64(0.025).f64(2).f64(0.5).f64(50);
    WriteBytes(dir / "psq" / "old.psq", oldPsq.b);
    Bytes sna;
    sna.str("RAVO_CORE SNA FILE").u8(1).i32(10).f64(2.0).f64(0.5).f64(4.0).f64(0.025);
    for (int k = 0; k < 2 * 11; ++k) sna.f64(k < 11 ? 20.0 : 10.0);
    for (int k = 0; k < 8; ++k) sna.u8(1);
    sna.f64(0.5).f64(45000.0).f64(3.0).i32(50).i32(100).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0);
    WriteBytes(dir / "sna" / "old.sna", sna.str("EOF").b);
    // A complexation table for the ligand -1..1 and two analytes of two forms
    // each, and the same with LF line ends and a damaged number.
    {
        TUnivSet<TComponents> comp;
        for (auto [n, lo, hi] : {std::tuple("Ligand", -1, 1), std::tuple("Base", 0, 1), std::tuple("Acid", -1, 0)}) {
            TComponents r;
            r.name = n;
            r.minCharge = lo;
            r.maxCharge = hi;
            comp.Add(r);
        }
        const ComplexTable t = {{"-1", "1"}, {"9.5", "2.25"}, {"30", "36", "42"}, {"14", "362.5", "205.5"}, {"2"},
                                {"30", "-2", "30"}, {"30", "-1.5", "-3"}, {"30", "30", "30"}, {"-0.5", "30", "30"},
                                {"25", "10", "25"}, {"25", "12", "8"}, {"25", "25", "25"}, {"5", "25", "25"}};
        std::string text = ComplexFileText(t, comp);
        WriteBytes(dir / "cxt" / "table.txt", text);
        std::string lf;
        for (char c : text)
            if (c != '\r') lf += c;
        WriteBytes(dir / "cxt" / "lf.txt", lf.replace(lf.find("2.25"), 4, "2,x5"));
    }
    // Texts.
    int n = 0;
    for (const char* t : {"x^2+3*sin(x)", "Log(2,x)-ln(x)/ln(2)", "-1.5e-3", "1,5", "Erf((x-0.5)/0.1)",
                          "Param[1]*PI", "exp(-(x-y)^2/2)*cos(z)", "((((x))))", "2147483648", "-0", "1e308*10"})
        WriteBytes(dir / "text" / ("t" + std::to_string(++n)), t);
    fs::remove_all(work);
    return 0;
}
