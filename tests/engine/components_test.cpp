// The constituent record: deep copies, Clear, and the warnings about
// inconsistent records.
#include <gtest/gtest.h>

#include "engine/components.h"
#include "foundation/errors.h"
#include "foundation/univset.h"

namespace {

// Charges -2..+1 in three segments, pK per segment, one mobility row (mode 4).
TComponents SegmentedRecord() {
    TComponents r;
    r.name = "His";
    r.minCharge = -2;
    r.maxCharge = 1;
    r.gradient = r.gradPKa = true;
    r.zones = 3;
    r.mode = r.ModeFromFlags();
    r.type = 2;
    r.AllocChargeRows();
    r.AllocSegments();
    for (int row = 1; row <= 3; ++row)
        for (int k = 0; k < 4; ++k) r.pKa[row][k] = 10 * row + k;
    for (int k = 0; k < 4; ++k) r.u[1][k] = 20 + k;
    for (int z = 1; z <= 3; ++z) r.c_grad[z] = r.ratio[z] = z;
    return r;
}

}  // namespace

TEST(TComponents, CopiesAreDeepAndClearKeepsModeAndType) {
    RecordingMessageSink sink;
    const TComponents r = SegmentedRecord();
    EXPECT_EQ(r.mode, 4);
    EXPECT_EQ(r.pKa.size(), 4u);
    EXPECT_EQ(r.u.size(), 2u);
    EXPECT_EQ(r.PKaOf(2, -1), 21);  // charge -1 is position 1
    EXPECT_EQ(r.UOf(1, 1), 23);
    TComponents copy(r), assigned;
    assigned = r;
    TComponents& alias = assigned;
    assigned = alias;  // self-assignment changes nothing
    TUnivSet<TComponents> list;
    list.Add(r);
    for (const TComponents* x : {&copy, &assigned, &list[1]}) {
        EXPECT_EQ(x->name, "His");
        EXPECT_EQ(x->pKa, r.pKa);
        EXPECT_EQ(x->u, r.u);
        EXPECT_EQ(x->c_grad, r.c_grad);
        EXPECT_EQ(x->ratio, r.ratio);
        EXPECT_EQ(x->mode, 4);
        EXPECT_EQ(x->type, 2);
    }
    list[1].pKa[1][0] = -99;
    copy.c_grad[1] = -99;
    EXPECT_EQ(r.pKa[1][0], 10);
    EXPECT_EQ(r.c_grad[1], 1);
    const TComponents blank;
    const TComponents empty(blank);
    EXPECT_TRUE(empty.pKa.empty() && empty.u.empty() && empty.table.empty());
    EXPECT_EQ(empty.pKMicA, 30.0);

    assigned.Clear();
    EXPECT_EQ(assigned.mode, 4);
    EXPECT_EQ(assigned.type, 2);
    EXPECT_TRUE(assigned.name.empty() && assigned.pKa.empty() && assigned.u.empty() &&
                assigned.c_grad.empty() && assigned.ratio.empty() && !assigned.gradient);
    EXPECT_EQ(assigned.zones, 0);
    // per-segment rows beyond the flags are not carried into a copy
    TComponents flat = SegmentedRecord();
    flat.gradPKa = false;
    EXPECT_EQ(TComponents(flat).pKa.size(), 2u);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(TComponents, InconsistentRecordsWarnAndMissingRowsCopyAsMissing) {
    RecordingMessageSink sink;
    {   // segment values without segments: one warning, the arrays stay
        TComponents r = SegmentedRecord();
        r.gradient = false;
        r.Clear();
        EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                     "TComponents::~TComponents(): c_grad != NULL even gradient == false"});
        EXPECT_FALSE(r.ratio.empty() || r.pKa.empty());
    }
    sink.Clear();
    TComponents r = SegmentedRecord();
    r.pKa[2].clear();
    TComponents copy(r);
    EXPECT_TRUE(copy.pKa[2].empty());
    EXPECT_EQ(copy.pKa[3], r.pKa[3]);
    EXPECT_EQ(copy.PKaOf(2, 0), 0.0);
    copy.FreeArrays();
    EXPECT_TRUE(copy.pKa.empty() && copy.u.empty());
    TComponents s;  // a single-row table whose row 1 is missing
    s.minCharge = -1;
    s.u.resize(2);
    s.FreeArrays();
    EXPECT_EQ(sink.warnings, (std::vector<std::string>{"TComponents::~TComponents(): pKa[2] not allocated",
                                                       "TComponents::~TComponents(): u[1] not allocated"}));
    // a table count without a table copies as no table with the same count
    TComponents t;
    t.tableCount = 12;
    EXPECT_TRUE(TComponents(t).table.empty());
    EXPECT_EQ(TComponents(t).tableCount, 12);
    t.AllocTable(3);
    t.table[3] = 7.5;
    TComponents t2;
    t2 = t;
    EXPECT_EQ(t2.table, t.table);
}
