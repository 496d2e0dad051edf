#include "composition/cmp_file.h"

#include "../files/byte_builder.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>
#include <limits>
#include <tuple>

namespace {

TComponents Plain()
{
    return testcomp::Constituent("Na", 0, 1, {0, 16.0}, {0, 51.9}, testcomp::BGE, 10, 0, 0x0000FF);
}

// A plain constituent and one of two segments with their own pK rows, micelle
// constants and a table profile (its type is not stored).
TUnivSet<TComponents> Pair()
{
    TComponents s =
        testcomp::Segmented(testcomp::Constituent("Seg", -2, 1, {9.1, 4.2, 0, 2.3},
                                                  {-30, -20, 0, 25}, testcomp::Leading, 3, 0, 7),
                            {1, 2}, {3, 4}, true);
    s.pKa[2] = {9.2, 4.3, 0, 2.4};
    s.pKMicA = 5.5, s.uMicA = 20;
    s.AllocTable(3);
    s.table[1] = 0.1, s.table[2] = 0.2, s.table[3] = 0.3, s.mode = s.ModeFromFlags();
    TUnivSet<TComponents> list;
    list.Add(Plain());
    list.Add(s);
    return list;
}

// Pair() written from the layout table.
std::string Golden(const std::string& trailer = "EOF")
{
    Bytes g;
    g.str("KELVO").str("1.0").f64(1e-08).f64(362.5).f64(205.5).i32(2);
    g.str("Na").i32(0x0000FF).i32(0).i32(1).f64(30.0).f64(40.0).u8(0).u8(0).u8(0);
    g.f64(10).f64(0).u8(1).f64(16.0).f64(51.9).i32(0);
    g.str("Seg").i32(7).i32(-2).i32(1).f64(5.5).f64(20).u8(1).u8(1).u8(0);
    g.i32(2).f64(1).f64(2).f64(3).f64(4);
    g.f64(9.1).f64(4.2).f64(2.3).f64(9.2).f64(4.3).f64(2.4);
    g.f64(-30).f64(-20).f64(25);
    g.i32(3).f64(0.1).f64(0.2).f64(0.3);
    return g.str(trailer).b;
}

// Offsets of the counts: constituents, charges of the first record, zones and table of the second.
constexpr std::size_t kCount = 34, kMinCharge = 45, kZones = 144, kTable = 252;

}  // namespace

TEST(CompositionFile, WriterAndReaderFollowTheLayoutAndDamagedFilesChangeNothing)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("mix.cmp");
    ASSERT_TRUE(WriteComposition(Pair(), name));
    EXPECT_EQ(ReadBytes(name), Golden());
    WriteBytes(name, Golden());
    RunState st;
    ASSERT_TRUE(ReadComposition(st, name));
    ASSERT_EQ(st.Composition.Count(), 2);
    // A segmented constituent comes back as an analyte with c = cInj = 0; all
    // else is written back to the same bytes.
    const TComponents& b = st.Composition[2];
    EXPECT_EQ(std::tuple(int(b.type), b.c, b.cInj, b.mode, st.Composition[1].mode),
              std::tuple(0, 0.0, 0.0, 4, 1));
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("again.cmp")));
    EXPECT_EQ(ReadBytes(tmp.file("again.cmp")), Golden());
    EXPECT_TRUE(sink.warnings.empty());
    // An empty composition writes nothing.
    EXPECT_FALSE(WriteComposition(TUnivSet<TComponents>(), tmp.file("empty.cmp")) ||
                 FileExists(tmp.file("empty.cmp")));

    // Every damaged file is refused with "Incorrect file." (raised where a field
    // runs past the end, warned where the trailer is not "EOF" ending the file),
    // a cut identity as another kind of file, and the list stays as it was. The
    // first record's lowest charge is 0 already.
    for (const std::string& bytes :
         Damaged(Golden(), 0, {kCount, kMinCharge, kMinCharge + 4, kZones, kTable})) {
        if (bytes == Golden()) continue;
        WriteBytes(name, bytes);
        RunState d;
        d.Composition.Add(Plain());
        sink.Clear();
        bool read = false;
        const std::string m = RaisedMessage([&] { read = ReadComposition(d, name); });
        EXPECT_FALSE(read) << bytes.size();
        EXPECT_EQ(
            m == "(no error)" ? sink.warnings : std::vector<std::string>{m},
            std::vector<std::string>{bytes.size() < 5 ? "Incorrect CMP File." : "Incorrect file."})
            << bytes.size();
        ASSERT_EQ(d.Composition.Count(), 1);
        EXPECT_EQ(d.Composition[1].name, "Na");
    }
    // A trailer that is cut, or bytes after it, and a segmented record of zero
    // segments or a negative highest charge are refused the same way.
    const std::string g = Golden();
    // Files whose other fields agree with zero segments or with the charges
    // -2..-1 (two pK and two mobilities in the first record).
    Bytes zeroZones, negative;
    zeroZones.raw(g.substr(0, kZones)).i32(0).f64(-30).f64(-20).f64(25).i32(0).str("EOF");
    negative.raw(g.substr(0, kMinCharge)).i32(-2).i32(-1).f64(30.0).f64(40.0).u8(0).u8(0).u8(0);
    negative.f64(10).f64(0).u8(1).f64(9).f64(4).f64(-30).f64(-20).i32(0);
    negative.raw(g.substr(kMinCharge + 64));
    // Numbers no edit would take, in files whose counts agree: a concentration
    // not finite or negative, a pK not finite, a type past Terminating, a
    // segment length not finite, concentrations (of a segment too) beyond
    // 100 mol/L or below 0, a table value beyond 100 mol/L, a pK beyond 300
    // and a mobility beyond 1e5.
    const auto at = [&g](std::size_t offset, const Bytes& value) {
        return g.substr(0, offset) + value.b + g.substr(offset + value.size());
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    for (const std::string& bytes :
         {g.substr(0, g.size() - 1), g + "x", WithInt32At(g, kZones, 0),
          WithInt32At(g, kMinCharge + 4, -1), zeroZones.b, negative.b,
          at(kMinCharge + 27, Bytes().f64(nan)), at(kMinCharge + 35, Bytes().f64(-1)),
          at(kMinCharge + 44, Bytes().f64(inf)), at(kMinCharge + 43, Bytes().u8(4)),
          at(kZones + 20, Bytes().f64(nan)), at(kMinCharge + 27, Bytes().f64(1e308)),
          at(kMinCharge + 35, Bytes().f64(100000.5)), at(kZones + 4, Bytes().f64(-5)),
          at(kZones + 12, Bytes().f64(1e308)), at(kTable + 4, Bytes().f64(-2e5)),
          at(kMinCharge + 44, Bytes().f64(400)), at(kMinCharge + 52, Bytes().f64(1e300))}) {
        WriteBytes(name, bytes);
        RunState d;
        sink.Clear();
        bool read = false;
        const std::string m = RaisedMessage([&] { read = ReadComposition(d, name); });
        EXPECT_FALSE(read);
        EXPECT_EQ(m == "(no error)" ? sink.warnings : std::vector<std::string>{m},
                  std::vector<std::string>{"Incorrect file."})
            << bytes.size();
        EXPECT_EQ(d.Composition.Count(), 0);
    }
}

TEST(CompositionFile, OlderLayoutsMergeRulesAndRefusals)
{
    TempDir tmp;
    RecordingMessageSink sink;
    // Legacy layout: one skipped double, records without micelle constants and table.
    Bytes rec;
    rec.str("HA").i32(5).i32(-1).i32(0).u8(0).u8(0).u8(0).f64(2).f64(1).u8(0).f64(4.75).f64(42.4);
    WriteBytes(tmp.file("old.cmp"),
               Bytes().str("RAVO_CORE").f64(1e-8).i32(1).raw(rec.b).str("EOF").b);
    RunState st;
    ASSERT_TRUE(ReadComposition(st, tmp.file("old.cmp")));
    const TComponents& a = st.Composition[1];
    EXPECT_EQ(std::tuple(a.uMicA, a.pKMicA, a.tableCount, a.PKaOf(1, -1)),
              std::tuple(40.0, 30.0, 0, 4.75));
    // "KELVO" with another version: no solvent values, records as in the legacy layout.
    WriteBytes(tmp.file("other.cmp"),
               Bytes().str("KELVO").str("0.9").i32(1).raw(rec.b).str("EOF").b);
    ASSERT_TRUE(ReadComposition(st, tmp.file("other.cmp")));
    EXPECT_EQ(st.Composition[1].name, "HA");

    // The same name twice: the first wins; "Add" keeps what is there; "Set" replaces.
    std::string rec2 = rec.b;
    rec2[rec2.size() - 2] = 0x46;  // another mobility (44.4)
    WriteBytes(tmp.file("twice.cmp"),
               Bytes().str("RAVO_CORE").f64(0).i32(2).raw(rec.b).raw(rec2).str("EOF").b);
    RunState st3;
    st3.Composition.Add(Plain());
    st3.rbSet = false;
    ASSERT_TRUE(ReadComposition(st3, tmp.file("twice.cmp")));
    ASSERT_EQ(st3.Composition.Count(), 2);
    EXPECT_EQ(std::tuple(st3.Composition[1].name, st3.Composition[2].UOf(1, -1)),
              std::tuple("Na", 42.4));
    st3.rbSet = true;
    ASSERT_TRUE(ReadComposition(st3, tmp.file("twice.cmp")));
    EXPECT_EQ(st3.Composition.Count(), 1);

    // A bad trailer or identity, or no file, keeps the list and warns.
    WriteBytes(tmp.file("bad.cmp"), Golden("EOX"));
    WriteBytes(tmp.file("kind.cmp"), "KELVIN");
    for (const char* f : {"bad.cmp", "kind.cmp", "missing.cmp"})
        EXPECT_FALSE(ReadComposition(st3, tmp.file(f)));
    EXPECT_EQ(st3.Composition.Count(), 1);
    EXPECT_EQ(sink.warnings,
              (std::vector<std::string>{"Incorrect file.", "Incorrect CMP File.",
                                        "File \"" + tmp.file("missing.cmp") + "\" not found."}));
}

// A record of charges lo..hi (and `zones` segments when above 0) written from
// the layout, every value finite.
std::string WideRecordFile(int lo, int hi, int zones = 0)
{
    Bytes g;
    g.str("KELVO").str("1.0").f64(1e-08).f64(362.5).f64(205.5).i32(1);
    g.str("Wide").i32(0).i32(lo).i32(hi).f64(30.0).f64(40.0).u8(zones > 0).u8(0).u8(0);
    if (zones > 0) {
        g.i32(zones);
        for (int k = 0; k < 2 * zones; ++k) g.f64(1.0);
    } else {
        g.f64(1).f64(0).u8(0);
    }
    for (int row = 0; row < 2; ++row)
        for (int z = lo; z <= hi; ++z)
            if (z != 0) g.f64(row == 0 ? 4.0 + 0.01 * z : 10.0 * z);
    return g.i32(0).str("EOF").b;
}

// Charges and segment counts beyond what the constituent editor takes
// (kMaxChargeMagnitude, 1000 segments) are refused by the reader, before anything is allocated for
// their forms; at the limits the record is read.
TEST(CompositionFile, ChargesAndSegmentsBeyondTheEditorAreRefused)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("wide.cmp");
    const int m = kMaxChargeMagnitude;
    for (auto [lo, hi, zones] : {std::tuple(-m, m, 0), std::tuple(0, m, 1000)}) {
        WriteBytes(name, WideRecordFile(lo, hi, zones));
        TUnivSet<TComponents> list;
        ASSERT_TRUE(LoadCompositionFile(name, list)) << lo << " " << hi;
        EXPECT_EQ(std::tuple(list[1].minCharge, list[1].maxCharge, list[1].PKaOf(1, hi)),
                  std::tuple(lo, hi, 4.0 + 0.01 * hi));
    }
    for (auto [lo, hi, zones] : {std::tuple(-m - 1, 0, 0), std::tuple(0, m + 1, 0),
                                 std::tuple(-10000, 10000, 0), std::tuple(0, 1, 1001)}) {
        WriteBytes(name, WideRecordFile(lo, hi, zones));
        TUnivSet<TComponents> list;
        EXPECT_EQ(RaisedMessage([&] { LoadCompositionFile(name, list); }), "Incorrect file.")
            << lo << " " << hi;
        EXPECT_EQ(list.Count(), 0);
    }
}
