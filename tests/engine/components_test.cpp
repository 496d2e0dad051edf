// The constituent record: shapes of its arrays through copy, assignment and
// Clear, and the warnings about inconsistent records.
#include <gtest/gtest.h>

#include "engine/components.h"
#include "foundation/errors.h"
#include "foundation/univset.h"

namespace {

TComponents SegmentedRecord() {
    TComponents r;
    r.name = "His";
    r.minCharge = -2;
    r.maxCharge = 1;
    r.gradient = true;
    r.gradPKa = true;
    r.gradU = false;
    r.zones = 3;
    r.mode = r.ModeFromFlags();
    r.type = 2;
    r.AllocChargeRows();
    r.AllocSegments();
    for (int row = 1; row <= 3; ++row)
        for (int k = 0; k < 4; ++k) r.pKa[row][k] = 10 * row + k;
    for (int k = 0; k < 4; ++k) r.u[1][k] = 20 + k;
    for (int z = 1; z <= 3; ++z) {
        r.c_grad[z] = z;
        r.ratio[z] = 2 * z;
    }
    return r;
}

}  // namespace

TEST(TComponents, EmptyRecordCopiesAndAssigns) {
    TComponents a;
    EXPECT_EQ(a.uMicA, 40.0);
    EXPECT_EQ(a.pKMicA, 30.0);
    EXPECT_EQ(a.mode, 0);
    TComponents b(a);
    TComponents c;
    c = a;
    for (const TComponents* r : {&b, &c}) {
        EXPECT_TRUE(r->pKa.empty());
        EXPECT_TRUE(r->u.empty());
        EXPECT_TRUE(r->c_grad.empty());
        EXPECT_TRUE(r->ratio.empty());
        EXPECT_TRUE(r->table.empty());
        EXPECT_EQ(r->uMicA, 40.0);
        EXPECT_EQ(r->pKMicA, 30.0);
    }
}

TEST(TComponents, SegmentedShapesSurviveCopyAssignmentAndClear) {
    RecordingMessageSink sink;
    const TComponents r = SegmentedRecord();
    EXPECT_EQ(r.mode, 4);
    ASSERT_EQ(r.pKa.size(), 4u);          // rows 1..3
    for (int row = 1; row <= 3; ++row) EXPECT_EQ(r.pKa[row].size(), 4u);
    ASSERT_EQ(r.u.size(), 2u);            // row 1 only
    EXPECT_EQ(r.u[1].size(), 4u);
    EXPECT_EQ(r.PKaOf(2, -1), 21);        // charge -1 is position 1
    EXPECT_EQ(r.UOf(1, 1), 23);

    TComponents copy(r);
    TComponents assigned;
    assigned = r;
    for (const TComponents* x : {&copy, &assigned}) {
        EXPECT_EQ(x->name, "His");
        EXPECT_EQ(x->pKa, r.pKa);
        EXPECT_EQ(x->u, r.u);
        EXPECT_EQ(x->c_grad, r.c_grad);
        EXPECT_EQ(x->ratio, r.ratio);
        EXPECT_EQ(x->type, 2);
        EXPECT_EQ(x->mode, 4);
    }
    // self-assignment changes nothing
    TComponents& alias = assigned;
    assigned = alias;
    EXPECT_EQ(assigned.pKa, r.pKa);
    EXPECT_EQ(assigned.c_grad, r.c_grad);

    // Clear keeps mode and type, drops everything else
    assigned.Clear();
    EXPECT_EQ(assigned.mode, 4);
    EXPECT_EQ(assigned.type, 2);
    EXPECT_TRUE(assigned.name.empty());
    EXPECT_TRUE(assigned.pKa.empty() && assigned.u.empty() && assigned.c_grad.empty() &&
                assigned.ratio.empty() && assigned.table.empty());
    EXPECT_FALSE(assigned.gradient);
    EXPECT_EQ(assigned.zones, 0);
    EXPECT_TRUE(sink.warnings.empty());

    // the copy inside a list is deep as well
    TUnivSet<TComponents> list;
    list.Add(r);
    list[1].pKa[1][0] = -99;
    EXPECT_EQ(r.pKa[1][0], 10);
}

TEST(TComponents, InconsistentRecordsWarnAndMissingRowsCopyAsMissing) {
    RecordingMessageSink sink;
    {   // segment values without segments: one warning, the rest stays attached
        TComponents r = SegmentedRecord();
        r.gradient = false;
        r.Clear();
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0],
                  "TComponents::~TComponents(): c_grad != NULL even gradient == false");
        EXPECT_FALSE(r.ratio.empty());
        EXPECT_FALSE(r.pKa.empty());
        EXPECT_EQ(r.zones, 0);
    }
    // (its destructor warned once more)
    EXPECT_EQ(sink.warnings.size(), 2u);
    sink.Clear();
    {   // a missing per-segment row is copied as missing and reported once
        TComponents r = SegmentedRecord();
        r.pKa[2].clear();
        TComponents copy(r);
        EXPECT_TRUE(copy.pKa[2].empty());
        EXPECT_EQ(copy.pKa[3], r.pKa[3]);
        EXPECT_EQ(copy.PKaOf(2, 0), 0.0);  // reading a missing row is harmless
        copy.FreeArrays();
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], "TComponents::~TComponents(): pKa[2] not allocated");
        EXPECT_TRUE(copy.pKa.empty());
        EXPECT_TRUE(copy.u.empty());
        sink.Clear();
        // a single-row table whose row 1 is missing
        TComponents s;
        s.minCharge = -1;
        s.u.resize(2);
        s.FreeArrays();
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], "TComponents::~TComponents(): u[1] not allocated");
        sink.Clear();
    }
    {   // a table count without a table copies as no table with the same count
        TComponents r;
        r.tableCount = 12;
        TComponents copy(r);
        EXPECT_TRUE(copy.table.empty());
        EXPECT_EQ(copy.tableCount, 12);
        r.AllocTable(3);
        r.table[3] = 7.5;
        TComponents copy2;
        copy2 = r;
        EXPECT_EQ(copy2.table.size(), 4u);
        EXPECT_EQ(copy2.table[3], 7.5);
    }
    sink.Clear();  // (destroying the record with the missing row warned again)
    // per-segment rows beyond the flags are not carried into a copy
    TComponents r = SegmentedRecord();
    r.gradPKa = false;
    r.mode = r.ModeFromFlags();
    EXPECT_EQ(r.mode, 2);
    TComponents copy(r);
    EXPECT_EQ(copy.pKa.size(), 2u);
    EXPECT_TRUE(sink.warnings.empty());
}
