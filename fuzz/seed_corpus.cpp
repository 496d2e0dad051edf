#include "seed_corpus.h"

#include "composition/cmp_file.h"
#include "composition/database.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "files/byte_builder.h"  // the tests' builder of layout bytes
#include "files/det_file.h"
#include "files/example_project.h"
#include "files/ini_file.h"
#include "files/opt_file.h"
#include "files/psq.h"
#include "files/sna_file.h"
#include "tools/complex_table.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <tuple>

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

}  // namespace

bool WriteSeedCorpus(const fs::path& dir)
{
    for (const char* t : {"cmp", "cxt", "dbc", "det", "ini", "jnl", "opt", "psq", "sna", "text"})
        fs::create_directories(dir / t);
    const fs::path work = dir / "work";
    fs::create_directories(work);
    try {
        RunState st;
        if (!BufferRun(st, 20)) return false;
        st.StopTime = 20 * st.DT;
        RunCalc(st);
        // Project (with its composition and detector record) and the whole example composition.
        if (!SaveSnaFile(st, (work / "run.sna").string())) return false;
        fs::copy_file(work / "run.sna", dir / "sna" / "run.sna",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(work / "run.cmp", dir / "cmp" / "buffer.cmp",
                      fs::copy_options::overwrite_existing);
        if (fs::exists(work / "run.det"))
            fs::copy_file(work / "run.det", dir / "det" / "run.det",
                          fs::copy_options::overwrite_existing);
        RunState example;
        ComposeExampleDemo(example);
        if (!WriteComposition(example.Composition, (dir / "cmp" / "example.cmp").string()))
            return false;
        // A sequence of two frames.
        const std::string psq = (dir / "psq" / "run.psq").string();
        AppendPsqFrame(st, psq);
        AppendPsqFrame(st, psq);
        // Options and settings of the run; a database of its constituents.
        if (!WriteOptFile(st, (dir / "opt" / "run.opt").string()) ||
            !WriteIniFile(st, (dir / "ini" / "run.ini").string()) ||
            !WriteDatabase((dir / "dbc" / "run.dbc").string(), example.Composition))
            return false;
    } catch (const Exception& e) {
        std::cerr << e.Message() << '\n';
        return false;
    }
    // Older layouts.
    WriteBytes(dir / "cmp" / "old.cmp", Bytes()
                                            .str("RAVO_CORE")
                                            .f64(1e-8)
                                            .i32(1)
                                            .str("HA")
                                            .i32(5)
                                            .i32(-1)
                                            .i32(0)
                                            .u8(0)
                                            .u8(0)
                                            .u8(0)
                                            .f64(2)
                                            .f64(1)
                                            .u8(0)
                                            .f64(4.75)
                                            .f64(42.4)
                                            .str("EOF")
                                            .b);
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
        for (auto [n, lo, hi] :
             {std::tuple("Ligand", -1, 1), std::tuple("Base", 0, 1), std::tuple("Acid", -1, 0)}) {
            TComponents r;
            r.name = n;
            r.minCharge = lo;
            r.maxCharge = hi;
            comp.Add(r);
        }
        const ComplexTable t = {{"-1", "1"},
                                {"9.5", "2.25"},
                                {"30", "36", "42"},
                                {"14", "362.5", "205.5"},
                                {"2"},
                                {"30", "-2", "30"},
                                {"30", "-1.5", "-3"},
                                {"30", "30", "30"},
                                {"-0.5", "30", "30"},
                                {"25", "10", "25"},
                                {"25", "12", "8"},
                                {"25", "25", "25"},
                                {"5", "25", "25"}};
        std::string text = ComplexFileText(t, comp);
        WriteBytes(dir / "cxt" / "table.txt", text);
        std::string lf;
        for (char c : text)
            if (c != '\r') lf += c;
        WriteBytes(dir / "cxt" / "lf.txt", lf.replace(lf.find("2.25"), 4, "2,x5"));
        // Names with line breaks and other control characters in the comment lines.
        TUnivSet<TComponents> named = comp;
        named[2].name = "Base\r\n30\t36";
        named[3].name = "Acid\n\x01";
        WriteBytes(dir / "cxt" / "names.txt", ComplexFileText(t, named));
        // Damaged lines: a field more than the ligand's charges give, a
        // mobility of 1e308, a subnormal pK.
        const auto with = [&](const std::string& from, const std::string& to) {
            std::string s = text;
            return s.replace(s.find(from), from.size(), to);
        };
        WriteBytes(dir / "cxt" / "extra.txt", with("30\t36\t42", "30\t36\t42\t48"));
        WriteBytes(dir / "cxt" / "mobility.txt", with("25\t10\t25", "25\t1e308\t25"));
        // The same mobility for the ligand and for the hydrogen ion: Init,
        // handed the table the reader refuses, refuses it by the same rule.
        WriteBytes(dir / "cxt" / "ligand_mobility.txt", with("30\t36\t42", "30\t1e308\t42"));
        WriteBytes(dir / "cxt" / "water_mobility.txt", with("14\t362.5", "14\t1e308"));
        WriteBytes(dir / "cxt" / "subnormal.txt", with("9.5\t2.25", "9.5\t4.9e-324"));
        // Ligand charges beyond any constituent's, and a comment's mark that
        // starts no line (a field the reader keeps and the set-up lists).
        WriteBytes(dir / "cxt" / "wide_ligand.txt", with("-1\t1\r\n", "-200000\t200000\r\n"));
        WriteBytes(dir / "cxt" / "mark.txt", with("25\t12\t8", "25\t#5\t8"));
        // Ligand charges out of order and an analyte count of two fields.
        WriteBytes(dir / "cxt" / "order.txt", "30\t-2\r\n1\r\n2\r\n14\t362\t205\r\n1\t2\r\n");
    }
    // Damaged the ways found in review, each from a file written above.
    {
        const auto at = [](std::string bytes, std::size_t offset, const Bytes& value) {
            return offset + value.size() <= bytes.size()
                       ? bytes.replace(offset, value.size(), value.b)
                       : bytes;
        };
        const auto f64 = [](double v) { return Bytes().f64(v); };
        // Projects: absurd geometry (block at 19: capillary length at +83,
        // diameter at +123), a temperature of 5e-324 K, an older project whose
        // injection node is 1e308.
        const std::string run = ReadBytes((dir / "sna" / "run.sna").string());
        WriteBytes(dir / "sna" / "geometry.sna",
                   at(at(run, 19 + 83, f64(1e-100)), 19 + 123, f64(3.2e107)));
        WriteBytes(dir / "sna" / "temperature.sna", at(run, 19 + 115, f64(5e-324)));
        WriteBytes(dir / "sna" / "old_injection.sna", at(sna.b, 40, f64(1e308)));
        // An H+ of 1e-300 mM at the first node (the profiles follow the block,
        // the four switches, the table's sizes and six switches, and the
        // start, spent time and counters; two constituents on 21 nodes).
        WriteBytes(dir / "sna" / "hydrogen.sna",
                   at(run, 19 + 369 + 4 + 8 + 6 + 24 + 8 * 2 * 21, f64(1e-300)));
        // Found in review: an undershoot behind a sharp boundary, as a run at
        // 0.25 V per node spacing leaves it (-3 mM, 15 % of the 20 mM acetic
        // acid at the eleventh node), which the project reader takes.
        WriteBytes(dir / "sna" / "undershoot.sna",
                   at(run, 19 + 369 + 4 + 8 + 6 + 24 + 8 * 10, f64(-3.0)));
        // Options: stop time, error limit, dt increment and conductivity scale
        // of -1, a temperature of 5e-324 K.
        std::string opt = ReadBytes((dir / "opt" / "run.opt").string());
        for (std::size_t offset : {27u, 35u, 77u, 85u}) opt = at(opt, offset, f64(-1.0));
        WriteBytes(dir / "opt" / "hostile.opt", at(opt, 113, f64(5e-324)));
        // Settings: a line width of 1e8 points, a conductivity scale of -1.
        const std::string ini = ReadBytes((dir / "ini" / "run.ini").string());
        WriteBytes(dir / "ini" / "hostile.ini",
                   at(at(ini, 66, Bytes().i32(100000000)), 82, f64(-1.0)));
        // Detector record: a pH of 1e308 at the first point; the record cut short.
        const std::string record = ReadBytes((dir / "det" / "run.det").string());
        if (record.size() > 40)
            WriteBytes(dir / "det" / "cut.det", record.substr(0, record.size() - 12));
        if (record.size() > 27) {
            std::int32_t points = 0;
            std::memcpy(&points, record.data() + 19, 4);
            const std::size_t first =
                record.size() - 4 - static_cast<std::size_t>(points) * 8 * (5 + 2);
            WriteBytes(dir / "det" / "ph.det", at(record, first + 8, f64(1e308)));
        }
        // A composition whose names hold line breaks and other control characters.
        {
            RunState example;
            ComposeExampleDemo(example);
            example.Composition[1].name += "\r\nsecond line";
            example.Composition[2].name = "\n\t\x7f";
            WriteComposition(example.Composition, (dir / "cmp" / "names.cmp").string());
        }
        // Compositions and database: charges beyond what a constituent holds.
        const int wideCharge = kMaxChargeMagnitude + 1;
        Bytes wide;
        wide.str("KELVO").str("1.0").f64(1e-08).f64(362.5).f64(205.5).i32(1);
        wide.str("Wide")
            .i32(0)
            .i32(-wideCharge)
            .i32(wideCharge)
            .f64(30.0)
            .f64(40.0)
            .u8(0)
            .u8(0)
            .u8(0)
            .f64(1)
            .f64(0)
            .u8(0);
        for (int k = 0; k < 4 * wideCharge; ++k) wide.f64(k < 2 * wideCharge ? 4.0 : 20.0);
        WriteBytes(dir / "cmp" / "wide.cmp", wide.i32(0).str("EOF").b);
        Bytes wideDb;
        wideDb.str("KELVO DBC")
            .raw(std::string(8, '\0'))
            .i32(1)
            .str("Wide")
            .i32(wideCharge)
            .i32(wideCharge);
        for (int k = 0; k < 4 * wideCharge; ++k) wideDb.f64(k < 2 * wideCharge ? 20.0 : 4.0);
        WriteBytes(dir / "dbc" / "wide.dbc", wideDb.b);
        // Sequences: -50 mM in the second frame only; an older-layout frame
        // with a time step of -1.
        const std::string seq = ReadBytes((dir / "psq" / "run.psq").string());
        const std::size_t frame = static_cast<std::size_t>(PsqFrameSize("1.0", 20, 2, false));
        if (seq.size() == 60 + 2 * frame)
            WriteBytes(dir / "psq" / "second.psq",
                       at(seq, 60 + frame + 333 + 24 + 8 * 21 * 2 + 8 * 5, f64(-50.0)));
        // A recording cut inside its second frame: refused whole.
        if (seq.size() == 60 + 2 * frame)
            WriteBytes(dir / "psq" / "cut.psq", seq.substr(0, seq.size() - 100));
        // Found by fuzzing a project: concentrations far beyond any solution
        // (1e283 mM), whose equilibrium one open finds and the next does not.
        if (seq.size() == 60 + 2 * frame)
            WriteBytes(dir / "psq" / "huge.psq",
                       at(at(seq, 60 + 333 + 24 + 8 * 21 * 2 + 8 * 5, f64(1e283)),
                          60 + frame + 333 + 24 + 8 * 21 * 2 + 8 * 5, f64(1e283)));
        // A capillary so short that Use would give a current of inf, and a
        // header peak width of -1.
        WriteBytes(dir / "psq" / "short.psq", at(seq, 27, f64(1e-317)));
        // A capillary of 1e308 m: no node's field can be solved on it.
        WriteBytes(dir / "psq" / "long.psq", at(seq, 27, f64(1e308)));
        WriteBytes(dir / "psq" / "width.psq", at(seq, 35, f64(-1.0)));
        // Found by fuzzing: frames (block at their start, diameter at +87)
        // whose capillary diameter gives a cross-section of 0 or inf (the
        // project saved after Use would not open).
        WriteBytes(dir / "psq" / "narrow.psq",
                   at(at(seq, 60 + 87, f64(2.664e-260)), 60 + frame + 87, f64(2.664e-260)));
        WriteBytes(dir / "psq" / "wide.psq",
                   at(at(seq, 60 + 87, f64(4.2e175)), 60 + frame + 87, f64(4.2e175)));
        // Found by fuzzing: a capillary so long that the recalculation of the
        // frame fails (Use took the frame; the project saved after it did not
        // open).
        WriteBytes(dir / "psq" / "longer.psq", at(seq, 27, f64(5.48612e303)));
        // Frames whose capillary diameter (block field at 87 of a frame) gives
        // no cross-section.
        if (seq.size() == 60 + 2 * frame)
            WriteBytes(dir / "psq" / "diameter.psq",
                       at(at(seq, 60 + 87, f64(8.5e-320)), 60 + frame + 87, f64(8.5e-320)));
        // Frames with the reduced-diffusion switch on and a multiplier of 1
        // (block field at 53 of a frame).
        if (seq.size() == 60 + 2 * frame)
            WriteBytes(dir / "psq" / "reddiff.psq",
                       at(at(seq, 60 + 53, Bytes().u8(1)), 60 + frame + 53, Bytes().u8(1)));
        Bytes oldFrame = oldPsq;
        oldFrame.f64(1.5).f64(-1.0).f64(0).f64(1e-11).f64(2e-6).f64(250).f64(0).f64(100);
        oldFrame.i32(15).i32(30).f64(0.0).i32(0).i32(10);
        for (int k = 0; k < 4 * 11; ++k) oldFrame.f64(k < 11 ? 4.0 : k < 22 ? 0.05 : 10.0);
        WriteBytes(dir / "psq" / "old_dt.psq", oldFrame.b);
    }
    // Journals of a project "x" whose save died after its composition was
    // replaced (the old one kept as ".x.cmp.bak1_0") and its complexation
    // table added: whole, and damaged the ways a reader must refuse (cut, a
    // name outside the set, of another project or of another kind, a file
    // named twice, no trailer).
    {
        const auto journal = [](const std::string& stem, const std::string& cmp,
                                const std::string& txt) {
            Bytes j;
            j.str("KELVO SAVE JOURNAL").str("2.0").str(stem).i32(2);
            j.str(cmp).u8(0).u8(1).str("1_0").str("1:1").str("1:1");
            j.str(txt).u8(0).u8(0).str("1_1").str("").str("");
            return j;
        };
        const std::string whole = journal("x", ".cmp", ".txt").str("EOF").b;
        WriteBytes(dir / "jnl" / "mixed.jnl", whole);
        WriteBytes(dir / "jnl" / "cut.jnl", whole.substr(0, whole.size() / 2));
        WriteBytes(dir / "jnl" / "outside.jnl", journal("x", "/../x.cmp", ".txt").str("EOF").b);
        WriteBytes(dir / "jnl" / "other.jnl", journal("y", ".cmp", ".txt").str("EOF").b);
        WriteBytes(dir / "jnl" / "notes.jnl", journal("x", ".cmp", ".notes").str("EOF").b);
        WriteBytes(dir / "jnl" / "twice.jnl", journal("x", ".cmp", ".cmp").str("EOF").b);
        WriteBytes(dir / "jnl" / "trailer.jnl", journal("x", ".cmp", ".txt").b);
        // Version 2.1: the identity of the added table's file too (one the
        // folder does not hold: nothing of the user's goes).
        Bytes current;
        current.str("KELVO SAVE JOURNAL").str("2.1").str("x").i32(2);
        current.str(".cmp").u8(0).u8(1).str("1_0").str("1:1").str("1:1").str("");
        current.str(".txt").u8(0).u8(0).str("1_1").str("").str("").str("1:2");
        WriteBytes(dir / "jnl" / "identities.jnl", current.str("EOF").b);
        // The current version: each file told by its size and digest (the
        // composition in place matches neither and is set aside).
        Bytes printed;
        printed.str("KELVO SAVE JOURNAL").str("2.2").str("x").i32(2);
        printed.str(".cmp").u8(0).u8(1).str("1_0").str("1:0000000000000001");
        printed.str("1:0000000000000002");
        printed.str(".txt").u8(0).u8(0).str("1_1").str("").str("1:0000000000000003");
        WriteBytes(dir / "jnl" / "current.jnl", printed.str("EOF").b);
        WriteBytes(dir / "jnl" / "unknown.jnl",
                   Bytes().str("KELVO SAVE JOURNAL").str("2.9").str("x").i32(0).str("EOF").b);
    }
    // Texts.
    int n = 0;
    for (const char* t :
         {"x^2+3*sin(x)", "Log(2,x)-ln(x)/ln(2)", "-1.5e-3", "1,5", "Erf((x-0.5)/0.1)",
          "Param[1]*PI", "exp(-(x-y)^2/2)*cos(z)", "((((x))))", "2147483648", "-0", "1e308*10"})
        WriteBytes(dir / "text" / ("t" + std::to_string(++n)), t);
    fs::remove_all(work);
    return true;
}
