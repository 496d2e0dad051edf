#include "composition/cmp_file.h"

#include "../files/byte_builder.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "support/temp_dir.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TComponents Plain()
{
    TComponents c;
    c.name = "Na";
    c.colour = 0x0000FF;
    c.minCharge = 0;
    c.maxCharge = 1;
    c.c = 10;
    c.cInj = 0;
    c.type = 1;
    c.AllocChargeRows();
    c.pKa[1][1] = 16.0;
    c.u[1][1] = 51.9;
    c.mode = c.ModeFromFlags();
    return c;
}

TComponents Segmented()
{
    TComponents c;
    c.name = "Seg";
    c.colour = 7;
    c.minCharge = -2;
    c.maxCharge = 1;
    c.pKMicA = 5.5;
    c.uMicA = 20;
    c.gradient = true;
    c.gradPKa = true;
    c.zones = 2;
    c.type = 2;   // not stored for a segmented constituent
    c.c = 3;
    c.AllocSegments();
    c.c_grad[1] = 1; c.c_grad[2] = 2;
    c.ratio[1] = 3; c.ratio[2] = 4;
    c.AllocChargeRows();
    const double p1[] = {9.1, 4.2, 0, 2.3}, p2[] = {9.2, 4.3, 0, 2.4}, u1[] = {-30, -20, 0, 25};
    for (int k = 0; k < 4; ++k) { c.pKa[1][k] = p1[k]; c.pKa[2][k] = p2[k]; c.u[1][k] = u1[k]; }
    c.AllocTable(3);
    c.table[1] = 0.1; c.table[2] = 0.2; c.table[3] = 0.3;
    c.mode = c.ModeFromFlags();
    return c;
}

// Both constituents written from the layout table.
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
    g.str(trailer);
    return g.b;
}

constexpr std::size_t kCountOffset = 34;
constexpr std::size_t kFirstMinCharge = 38 + 3 + 4;        // after "Na\0" and the colour
constexpr std::size_t kSecondRecord = 38 + 3 + 4 + 4 + 4 + 16 + 3 + 17 + 16 + 4;
constexpr std::size_t kZones = kSecondRecord + 4 + 12 + 16 + 3;
constexpr std::size_t kTableCount = kZones + 4 + 32 + 48 + 24;

TUnivSet<TComponents> Pair()
{
    TUnivSet<TComponents> list;
    list.Add(Plain());
    list.Add(Segmented());
    return list;
}

} // namespace

TEST(CompositionFile, WriterAndReaderFollowTheLayout)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("mix.cmp");
    ASSERT_TRUE(WriteComposition(Pair(), name));
    EXPECT_EQ(ReadBytes(name), Golden());
    EXPECT_EQ(ReadBytes(tmp.file("mix.cmp")).substr(kTableCount, 4), std::string("\x03\0\0\0", 4));

    WriteBytes(tmp.file("g.cmp"), Golden());
    RunState st;
    ASSERT_TRUE(ReadComposition(st, tmp.file("g.cmp")));
    ASSERT_EQ(st.Composition.Count(), 2);
    const TComponents& a = st.Composition[1];
    EXPECT_EQ(a.name, "Na");
    EXPECT_EQ(a.type, 1);
    EXPECT_EQ(a.c, 10);
    EXPECT_EQ(a.PKaOf(1, 1), 16.0);
    EXPECT_EQ(a.UOf(1, 1), 51.9);
    EXPECT_EQ(a.mode, 1);
    const TComponents& b = st.Composition[2];
    // A segmented constituent comes back as an analyte with c = cInj = 0.
    EXPECT_EQ(b.type, 0);
    EXPECT_EQ(b.c, 0);
    EXPECT_EQ(b.cInj, 0);
    EXPECT_EQ(b.mode, 4);
    EXPECT_EQ(b.zones, 2);
    EXPECT_EQ(b.ratio[2], 4);
    EXPECT_EQ(b.PKaOf(2, -2), 9.2);
    EXPECT_EQ(b.PKaOf(2, 1), 2.4);
    EXPECT_EQ(b.UOf(1, -1), -20);
    EXPECT_EQ(b.tableCount, 3);
    EXPECT_EQ(b.table[3], 0.3);
    EXPECT_EQ(b.pKMicA, 5.5);
    EXPECT_TRUE(sink.warnings.empty());

    // Writing what was read gives the same bytes, apart from the segmented
    // constituent's type, which the file does not carry.
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("again.cmp")));
    EXPECT_EQ(ReadBytes(tmp.file("again.cmp")), Golden());
    // An empty composition writes nothing.
    EXPECT_FALSE(WriteComposition(TUnivSet<TComponents>(), tmp.file("empty.cmp")));
    EXPECT_FALSE(FileExists(tmp.file("empty.cmp")));
}

TEST(CompositionFile, OlderLayoutsAndMergeRules)
{
    TempDir tmp;
    RecordingMessageSink sink;
    // Legacy layout: one skipped double, records without micelle constants and table.
    Bytes legacy;
    legacy.str("RAVO_CORE").f64(1e-8).i32(1);
    legacy.str("HA").i32(5).i32(-1).i32(0).u8(0).u8(0).u8(0).f64(2).f64(1).u8(0).f64(4.75).f64(42.4);
    legacy.str("EOF");
    WriteBytes(tmp.file("old.cmp"), legacy.b);
    RunState st;
    ASSERT_TRUE(ReadComposition(st, tmp.file("old.cmp")));
    EXPECT_EQ(st.Composition[1].uMicA, 40.0);
    EXPECT_EQ(st.Composition[1].pKMicA, 30.0);
    EXPECT_EQ(st.Composition[1].tableCount, 0);
    EXPECT_EQ(st.Composition[1].PKaOf(1, -1), 4.75);

    // "KELVO" with another version: no solvent values, records as in the legacy layout.
    Bytes other;
    other.str("KELVO").str("0.9").i32(1).raw(legacy.b.substr(10 + 8 + 4));
    WriteBytes(tmp.file("other.cmp"), other.b);
    RunState st2;
    ASSERT_TRUE(ReadComposition(st2, tmp.file("other.cmp")));
    EXPECT_EQ(st2.Composition[1].name, "HA");

    // The same name twice: the first wins; "Add" keeps what is there; "Set" replaces.
    Bytes twice;
    twice.str("RAVO_CORE").f64(0).i32(2);
    const std::string rec = legacy.b.substr(10 + 8 + 4, legacy.b.size() - 22 - 4);
    std::string rec2 = rec;
    rec2[rec2.size() - 8 - 1] = 0x40;   // another mobility
    twice.raw(rec).raw(rec2).str("EOF");
    WriteBytes(tmp.file("twice.cmp"), twice.b);
    RunState st3;
    st3.Composition.Add(Plain());
    st3.rbSet = false;
    ASSERT_TRUE(ReadComposition(st3, tmp.file("twice.cmp")));
    ASSERT_EQ(st3.Composition.Count(), 2);
    EXPECT_EQ(st3.Composition[1].name, "Na");
    EXPECT_EQ(st3.Composition[2].UOf(1, -1), 42.4);
    st3.rbSet = true;
    ASSERT_TRUE(ReadComposition(st3, tmp.file("twice.cmp")));
    EXPECT_EQ(st3.Composition.Count(), 1);

    // A bad trailer or identity keeps the list and warns.
    WriteBytes(tmp.file("bad.cmp"), Golden("EOX"));
    EXPECT_FALSE(ReadComposition(st3, tmp.file("bad.cmp")));
    WriteBytes(tmp.file("kind.cmp"), "KELVIN");
    EXPECT_FALSE(ReadComposition(st3, tmp.file("kind.cmp")));
    EXPECT_FALSE(ReadComposition(st3, tmp.file("missing.cmp")));
    EXPECT_EQ(st3.Composition.Count(), 1);
    ASSERT_EQ(sink.warnings.size(), 3u);
    EXPECT_EQ(sink.warnings[0], "Incorrect file.");
    EXPECT_EQ(sink.warnings[1], "Incorrect CMP File.");
    EXPECT_EQ(sink.warnings[2], "File \"" + tmp.file("missing.cmp") + "\" not found.");
}

TEST(CompositionFile, DamagedFilesNeverChangeTheList)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string g = Golden();
    std::vector<std::string> damaged;
    for (std::size_t len = 0; len < g.size(); ++len) damaged.push_back(g.substr(0, len));
    for (std::int32_t v : {-1, 0, INT_MAX, INT_MIN}) {
        damaged.push_back(WithInt32At(g, kCountOffset, v));
        damaged.push_back(WithInt32At(g, kFirstMinCharge, v));
        damaged.push_back(WithInt32At(g, kFirstMinCharge + 4, v));
        damaged.push_back(WithInt32At(g, kZones, v));
        damaged.push_back(WithInt32At(g, kTableCount, v));
    }
    for (const std::string& bytes : damaged) {
        WriteBytes(tmp.file("d.cmp"), bytes);
        RunState st;
        st.Composition.Add(Plain());
        try {
            ReadComposition(st, tmp.file("d.cmp"));
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Incorrect file.");
        }
        // Either the whole file was right, or the list is as it was.
        EXPECT_TRUE(st.Composition.Count() == 1 || st.Composition.Count() == 2);
        if (st.Composition.Count() == 1) {
            EXPECT_EQ(st.Composition[1].name, "Na");
        }
    }
}
