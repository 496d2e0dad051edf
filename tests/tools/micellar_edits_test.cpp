// The micellar window's edits without widgets: the acceptance of the hidden
// CMC-step edits and the texts every edit shows.
#include <gtest/gtest.h>

#include "engine/modes/micellar/micellar_settings.h"
#include "tools/micellar_edits.h"

TEST(MicellarEdits, HiddenStepEditsAcceptAsListedAndTextsFollowTheirPatterns)
{
    MicellarSettings m;
    struct Row {
        MicellarEdit edit;
        double value;
        bool kept;
        const char* shown;
    };
    const Row table[] = {
        {MicellarEdit::CMCL, 0.0, true, "0.0e+0"},  // below 0.01: exponent form
        {MicellarEdit::CMCL, -0.5, false, "0.0e+0"},
        {MicellarEdit::CMCL, 0.01, true, "0.01"},
        {MicellarEdit::CMCR, 0.00123, true, "1.23e-3"},
        {MicellarEdit::CMCR, -1e-9, false, "1.23e-3"},
        {MicellarEdit::CMCR, 2.123456, true, "2.1235"},
        {MicellarEdit::CMCC, -5, true, "-5"},  // any centre
        {MicellarEdit::CMCW, 0, false, "100"},
        {MicellarEdit::CMCW, -3, false, "100"},
        {MicellarEdit::CMCW, 7, true, "7"},
        {MicellarEdit::Mic, -20, true, "-2.0e+1"},
        {MicellarEdit::CMC, 1e-7, true, "1E-7"},
        {MicellarEdit::NDet, 2, true, "2"},
        {MicellarEdit::NDet, 3, false, "2"},  // two constituents
    };
    for (const Row& r : table) {
        const MicellarSettings before = m;
        EXPECT_EQ(AcceptMicellarValue(m, r.edit, r.value, 2), r.kept)
            << static_cast<int>(r.edit) << " " << r.value;
        if (!r.kept) {
            EXPECT_EQ(m.CMCL, before.CMCL);
            EXPECT_EQ(m.CMCR, before.CMCR);
            EXPECT_EQ(m.CMCW, before.CMCW);
            EXPECT_EQ(m.MicCompNo, before.MicCompNo);
        }
        EXPECT_EQ(MicellarEditText(m, r.edit), r.shown)
            << static_cast<int>(r.edit) << " " << r.value;
    }
    EXPECT_EQ(m.CMCC, -5);
    EXPECT_EQ(m.CMCW, 7);
    EXPECT_DOUBLE_EQ(m.MicMob, -2e-8);
}
