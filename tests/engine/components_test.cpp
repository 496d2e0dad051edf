// The constituent record: deep copies, Clear, and the warnings about
// inconsistent records.
#include <gtest/gtest.h>

#include "engine/state/components.h"
#include "foundation/errors.h"
#include "foundation/univset.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

namespace {

// Charges -2..+1 in three segments, pK per segment, one mobility row (mode 4).
TComponents SegmentedRecord()
{
    TComponents r = testcomp::Segmented(
        testcomp::Constituent("His", -2, 1, {10, 11, 12, 13}, {20, 21, 22, 23}, 2, 0, 0), {1, 2, 3},
        {2, 4, 6}, true);
    r.pKa[2][1] = 21;
    r.pKa[3][0] = 30;
    return r;
}

}  // namespace

TEST(TComponents, CopiesAreDeepAndClearKeepsModeAndType)
{
    RecordingMessageSink sink;
    const TComponents r = SegmentedRecord();
    EXPECT_TRUE(r.mode == 4 && r.PKaOf(2, -1) == 21);  // charge -1 is position 1
    TComponents copy(r), assigned;
    assigned = r;
    TComponents& alias = assigned;
    assigned = alias;  // self-assignment changes nothing
    TUnivSet<TComponents> list;
    list.Add(r);
    for (const TComponents* x : {&copy, &assigned, &list[1]}) {
        EXPECT_EQ(x->name, "His");
        EXPECT_TRUE(x->pKa == r.pKa && x->u == r.u && x->c_grad == r.c_grad && x->ratio == r.ratio);
        EXPECT_TRUE(x->mode == 4 && x->type == 2);
    }
    list[1].pKa[3][0] = -99;
    copy.c_grad[1] = -99;
    EXPECT_TRUE(r.pKa[3][0] == 30 && r.c_grad[1] == 1);
    assigned.Clear();
    EXPECT_TRUE(assigned.mode == 4 && assigned.type == 2);
    EXPECT_TRUE(assigned.name.empty() && assigned.pKa.empty() && assigned.u.empty() &&
                assigned.c_grad.empty() && assigned.ratio.empty() && !assigned.gradient &&
                !assigned.zones);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(TComponents, InconsistentRecordsWarnAndMissingRowsCopyAsMissing)
{
    RecordingMessageSink sink;
    {  // segment values without segments: one warning, the arrays stay
        TComponents r = SegmentedRecord();
        r.gradient = false;
        r.Clear();
        EXPECT_EQ(sink.warnings,
                  std::vector<std::string>{
                      "TComponents::~TComponents(): c_grad != NULL even gradient == false"});
        EXPECT_FALSE(r.ratio.empty() || r.pKa.empty());
    }
    sink.Clear();
    TComponents r = SegmentedRecord();
    r.pKa[2].clear();
    TComponents copy(r);
    EXPECT_TRUE(copy.pKa[2].empty() && copy.pKa[3] == r.pKa[3] && copy.PKaOf(2, 0) == 0.0);
    copy.FreeArrays();
    EXPECT_TRUE(copy.pKa.empty() && copy.u.empty());
    TComponents s;  // a single-row table whose row 1 is missing
    s.minCharge = -1;
    s.u.resize(2);
    s.FreeArrays();
    EXPECT_EQ(sink.warnings,
              (std::vector<std::string>{"TComponents::~TComponents(): pKa[2] not allocated",
                                        "TComponents::~TComponents(): u[1] not allocated"}));
    // a table count without a table copies as no table with the same count
    TComponents t;
    t.tableCount = 12;
    EXPECT_TRUE(TComponents(t).table.empty() && TComponents(t).tableCount == 12);
}
