#include "composition/constituent_editor.h"

#include "../files/byte_builder.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <tuple>

#include <gtest/gtest.h>

namespace {

// An editor over a fresh run state, with warnings recorded.
struct Fixture {
    RecordingMessageSink sink;
    RunState st;
    ConstituentEditor ed{st};
};

// Types charge limits and applies them.
void ApplyCharges(ConstituentEditor& ed, const std::string& neg, const std::string& pos)
{
    ed.EditMinChargeText(neg);
    ed.EditMaxChargeText(pos);
    ed.Apply();
}

// The charge-form grid row of a charge.
int RowOf(const ConstituentEditor& ed, int z)
{
    for (int r = 1; r < ed.sgZ.RowCount(); ++r)
        if (ed.sgZ.Cell(0, r) == std::to_string(z)) return r;
    return -1;
}

}  // namespace

TEST(ConstituentEditor, ChargeEditsAndWideningKeepValuesAndZeroFill)
{
    Fixture f;
    auto& ed = f.ed;
    // A cleared editor holds an applied neutral record.
    EXPECT_EQ(std::tuple(ed.AppliedMode, ed.View().showNeutral, ed.View().showZ, ed.WorkComp.name,
                         ed.WorkComp.type),
              std::tuple(1, true, false, "Constituent 1", 1));
    // Charges by magnitude; unreadable texts, and magnitudes and segment counts
    // too large for the grids, are refused, each named once.
    ed.EditMinChargeText("2");
    ed.EditMaxChargeText("-3");
    EXPECT_EQ(std::tuple(ed.EditMinCharge, ed.EditMaxCharge), std::tuple(-2, 3));
    ed.EditMinChargeText("x");
    ed.EditMaxChargeText("x");
    EXPECT_EQ(std::tuple(ed.EditMinCharge, ed.EditMaxCharge), std::tuple(-2, 3));
    ed.EditMaxChargeText("501");
    ed.EditMinChargeText("-2147483648");
    ed.EditZoneCount("1000000000");
    EXPECT_EQ(std::tuple(ed.EditMinCharge, ed.EditMaxCharge, ed.EditZones), std::tuple(-2, 3, 5));
    const FieldRange charge{-500, 500, true, true};
    EXPECT_EQ(
        f.sink.warnings,
        (std::vector<std::string>{
            FieldRefusedText("Neg", "x", charge), FieldRefusedText("Pos", "x", charge),
            FieldRefusedText("Pos", "501", charge), FieldRefusedText("Neg", "-2147483648", charge),
            FieldRefusedText("No. of Segments", "1000000000", {1, 1000, true, true})}));
    f.sink.Clear();
    ed.EditMinChargeText("1");
    ed.EditMaxChargeText("1");
    // Pending shape differs: the grids give way to the message, Apply and Cancel on.
    EXPECT_TRUE(ed.View().showMessage && !ed.View().showZ && ed.View().applyEnabled &&
                ed.View().cancelEnabled);

    ed.Apply();
    EXPECT_TRUE(!ed.View().showMessage && ed.View().showZ);
    ASSERT_EQ(std::tuple(ed.sgZ.RowCount(), ed.sgZ.ColCount()), std::tuple(3, 3));
    EXPECT_EQ(std::tuple(ed.sgZ.Cell(0, 0), ed.sgZ.Cell(1, 0), ed.sgZ.Cell(2, 0), ed.sgZ.Cell(0, 1),
                         ed.sgZ.Cell(0, 2)),
              std::tuple("charge", "pKa", "u (10e-9)", "-1", "1"));
    ed.SetZCell(1, 1, "9,6");  // comma as decimal separator
    ed.SetZCell(2, 1, "37.4");
    ed.SetZCell(1, 2, "2.34");
    ed.SetZCell(2, 2, "40.9");

    // Widen to -2..2: charges -1 and 1 keep their values, new charges are 0.
    ApplyCharges(ed, "2", "2");
    const TComponents& w = ed.WorkComp;
    EXPECT_EQ(std::tuple(w.minCharge, w.PKaOf(1, -1), w.UOf(1, 1), w.PKaOf(1, -2), w.UOf(1, 2)),
              std::tuple(-2, 9.6, 40.9, 0.0, 0.0));
    EXPECT_EQ(std::tuple(ed.sgZ.Cell(1, RowOf(ed, -1)), ed.sgZ.Cell(1, RowOf(ed, 2))),
              std::tuple("9.6", "0"));
    // Narrow to 0..1: only charge 1 is left.
    ApplyCharges(ed, "0", "1");
    EXPECT_EQ(std::tuple(ed.sgZ.RowCount(), w.PKaOf(1, 1)), std::tuple(2, 2.34));
    // Cancel takes the pending limits back to the applied ones.
    ed.EditMinChargeText("4");
    ed.Cancel();
    EXPECT_EQ(std::tuple(ed.EditMinCharge, ed.View().applyEnabled, ed.View().showMessage),
              std::tuple(0, false, false));

    // Field edits: negative or unreadable entries are refused with a warning.
    for (const char* c : {"2,5", "-1", "abc", "100001"}) ed.EditConcentration(c);
    for (const char* pK : {"1000", "0"}) ed.EditMicApK(pK);
    for (const char* colour : {"0x00FF00", "-5"}) ed.EditColour(colour);
    ed.EditName("");
    EXPECT_EQ(std::tuple(w.c, w.pKMicA, w.colour, ed.View().colour, ed.View().name),
              std::tuple(2.5, -3.0, 0x00FF00u, "0x0000FF00", "Constituent 1"));
    EXPECT_EQ(f.sink.warnings.size(), 5u);
    EXPECT_EQ(f.sink.warnings[2],
              FieldRefusedText("Concentration [mM]", "100001", kConcentrationRange));
}

TEST(ConstituentEditor, SegmentsModesAndTheirGrids)
{
    Fixture f;
    auto& ed = f.ed;
    f.st.CapLength = 0.06;  // 60 mm
    ApplyCharges(ed, "1", "1");
    ed.SetZCell(1, 1, "4.75");
    ed.SetZCell(2, 1, "42.4");
    ed.SetZCell(1, 2, "9.25");
    ed.SetZCell(2, 2, "76.2");
    // Segments on with 3 segments over a plain record: c 0, ratio 1, pKa and u kept.
    ed.EditZoneCount("3");
    ed.SetGradient(true);
    EXPECT_TRUE(ed.View().applyEnabled);
    ed.Apply();
    const TComponents& w = ed.WorkComp;
    EXPECT_EQ(std::tuple(ed.AppliedMode, ed.View().concEnabled, ed.sgC.ColCount(), w.PKaOf(1, -1),
                         w.UOf(1, 1)),
              std::tuple(2, false, 4, 4.75, 76.2));
    EXPECT_EQ(std::tuple(ed.sgC.Cell(0, 0), ed.sgC.Cell(0, 1), ed.sgC.Cell(0, 2)),
              std::tuple("Length (mm)", "Ratio", "c (mM)"));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(std::tuple(w.c_grad[i], w.ratio[i], ed.sgC.Cell(i, 0)),
                  std::tuple(0.0, 1.0, "20"))
            << i;
    // Lengths follow the typed ratios; a negative ratio is made positive.
    for (int i = 1; i <= 3; ++i) ed.SetCCell(i, 1, std::to_string(i == 1 ? -1 : i));
    EXPECT_TRUE(ed.RatiosToLengths());
    EXPECT_EQ(std::tuple(ed.sgC.Cell(1, 1), ed.sgC.Cell(1, 0), ed.sgC.Cell(3, 0)),
              std::tuple("1", "10", "30"));
    ed.SetCCell(2, 1, "two");
    EXPECT_FALSE(ed.RatiosToLengths());
    EXPECT_EQ(std::tuple(f.sink.warnings.back(), ed.sgC.Cell(1, 0)),
              std::tuple("Ratio Input Error: Incorrect Number Entry in Column No. 2", "-"));
    ed.SetCCell(2, 1, "2");
    ed.SetCCell(2, 2, "7.5");
    // A segment's concentration follows the rule of every concentration.
    ed.SetCCell(3, 2, "-5");
    EXPECT_FALSE(ed.Accept());
    EXPECT_EQ(f.sink.warnings.back(),
              FieldRefusedText("c (mM) of segment 3", "-5", kConcentrationRange));
    ed.SetCCell(3, 2, "0");

    // Mode 4 (pKa per segment): the columns and rows per segment.
    ed.SetGradPKa(true);
    ed.Apply();
    EXPECT_EQ(std::tuple(ed.AppliedMode, w.c_grad[2], w.ratio[3], ed.sgZ.ColCount()),
              std::tuple(4, 7.5, 3.0, 5));
    EXPECT_EQ(std::tuple(ed.sgZ.Cell(1, 0), ed.sgZ.Cell(2, 0), ed.sgZ.Cell(4, 0)),
              std::tuple("u (10e-9)", "pKa", "pKa"));
    ed.SetZCell(3, RowOf(ed, -1), "5.0");  // segment 2
    ed.SetZCell(4, RowOf(ed, -1), "5.5");  // segment 3
    ed.Apply();
    EXPECT_EQ(w.PKaOf(2, -1), 5.0);
    // Mode 4 -> 5 keeps only row 1 of the per-segment pKa for every segment.
    ed.SetGradU(true);
    ed.Apply();
    ASSERT_EQ(std::tuple(ed.AppliedMode, ed.sgZ.ColCount()), std::tuple(5, 7));
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(std::tuple(w.PKaOf(s, -1), w.UOf(s, 1), ed.sgZ.Cell(2 * s - 1, 0),
                             ed.sgZ.Cell(2 * s, 0)),
                  std::tuple(4.75, 76.2, "pKa", "u (10e-9)"))
            << s;
    // Mode 3 over mode 5: per-segment mobilities are kept row by row.
    ed.SetZCell(4, RowOf(ed, 1), "70");
    ed.SetGradPKa(false);
    ed.Apply();
    EXPECT_EQ(std::tuple(ed.AppliedMode, w.UOf(2, 1), w.UOf(3, 1)), std::tuple(3, 70.0, 76.2));
    // Segments off: one row each, concentrations editable again.
    ed.SetGradient(false);
    EXPECT_FALSE(ed.cbGradU);
    ed.Apply();
    EXPECT_EQ(std::tuple(ed.AppliedMode, ed.View().concEnabled, ed.View().showC),
              std::tuple(1, true, false));
}

TEST(ConstituentEditor, AcceptTypeRuleReplacementAndListOperations)
{
    Fixture f;
    auto& ed = f.ed;
    f.st.Initialised = true;
    ApplyCharges(ed, "1", "0");
    ed.EditName("Acetate");
    ed.SetZCell(1, 1, "4.76");
    ed.SetZCell(2, 1, "42.4");
    // A B constituent with c = 0 and no segments is stored as A.
    ASSERT_TRUE(ed.Accept());
    ASSERT_EQ(f.st.Composition.Count(), 1);
    const TComponents& acetate = f.st.Composition[1];
    EXPECT_EQ(std::tuple(acetate.type, acetate.mode, acetate.PKaOf(1, -1), f.st.CompChanged),
              std::tuple(0, 1, 4.76, true));
    // Accept clears the editor: a new default name, a colour not in use.
    EXPECT_EQ(ed.WorkComp.name, "Constituent 1");
    EXPECT_NE(ed.WorkComp.colour, acetate.colour);

    // An A constituent with c != 0 becomes B.
    ApplyCharges(ed, "0", "1");
    ed.EditName("Sodium");
    ed.SetType(0);
    ed.EditConcentration("10");
    ed.SetZCell(1, 1, "14");
    ed.SetZCell(2, 1, "51.9");
    ASSERT_TRUE(ed.Accept());
    EXPECT_EQ(f.st.Composition[2].type, 1);

    // An unreadable cell stops Accept with the cell selected; Apply takes 0.
    ApplyCharges(ed, "0", "1");
    ed.EditName("Broken");
    ed.SetZCell(2, 1, "fast");
    f.sink.Clear();
    EXPECT_FALSE(ed.Accept());
    EXPECT_EQ(
        std::tuple(ed.Selection.grid, ed.Selection.col, ed.Selection.row, f.st.Composition.Count()),
        std::tuple(GridSelection::Z, 2, 1, 2));
    // ... named by its column and charge, as is a number beyond its field.
    ed.SetZCell(2, 1, "1e308");
    EXPECT_FALSE(ed.Accept());
    EXPECT_EQ(f.sink.warnings,
              (std::vector<std::string>{
                  FieldRefusedText("u (10e-9) of charge 1", "fast", kMobilityRange),
                  FieldRefusedText("u (10e-9) of charge 1", "1e308", kMobilityRange)}));
    ed.SetZCell(2, 1, "fast");
    ed.Apply();
    EXPECT_EQ(ed.WorkComp.UOf(1, 1), 0.0);

    // The same name replaces in place: key and position stay.
    ASSERT_TRUE(ed.EditRow(1));
    EXPECT_EQ(std::tuple(ed.WorkComp.name, ed.sgZ.Cell(1, 1)), std::tuple("Acetate", "4.76"));
    ed.SetZCell(1, 1, "4.75");
    ASSERT_TRUE(ed.Accept());
    EXPECT_EQ(std::tuple(f.st.Composition.Count(), f.st.Composition[1].name,
                         f.st.Composition[1].PKaOf(1, -1)),
              std::tuple(2, "Acetate", 4.75));
    EXPECT_FALSE(ed.EditRow(3));
    EXPECT_EQ(f.sink.warnings.back(), "Index is out of range");

    // Accept with nothing applied.
    ed.AppliedMode = 0;
    EXPECT_FALSE(ed.Accept());
    EXPECT_EQ(f.sink.warnings.back(), "Error: Arrays aren't initialized");
    ed.Clear();

    // Delete, restore, delete all.
    f.st.CompInit = f.st.Composition;
    f.st.CompChanged = false;
    EXPECT_FALSE(ed.DeleteRow(3));
    ASSERT_TRUE(ed.DeleteRow(1));
    EXPECT_EQ(std::tuple(f.st.Composition.Count(), f.st.Composition[1].name, f.st.CompChanged,
                         ed.View().restoreEnabled),
              std::tuple(1, "Sodium", true, true));
    ed.Restore();
    ASSERT_EQ(std::tuple(f.st.CompChanged, f.st.Composition.Count()), std::tuple(false, 2));
    EXPECT_EQ(f.st.Composition[1].name, "Acetate");
    f.sink.answers = {false};
    EXPECT_FALSE(ed.DeleteAll());
    EXPECT_EQ(f.sink.questions.back(), "Are you sure to DELETE ALL constituents?\n");
    f.sink.answers = {true};
    EXPECT_TRUE(ed.DeleteAll());
    EXPECT_EQ(f.st.Composition.Count(), 0);
    EXPECT_EQ(std::tuple(RowFromAnswer(" 2 ", 3), RowFromAnswer("4", 3), RowFromAnswer(" ", 3)),
              std::tuple(2, 0, 0));
}

TEST(ConstituentEditor, NewColourDefaultNameTemplateTablesAndDatabasePick)
{
    Fixture f;
    auto& ed = f.ed;
    // Candidates in order, skipping colours in use and the chart's own colours
    // (green is the temperature line's colour).
    f.st.Composition.Add(testcomp::StrongCation("Constituent 1", 50, 1, 1, 0));
    f.st.Composition[1].colour = 0x0000FF;
    EXPECT_EQ(ed.NewColour(), 0xFF0000u);
    f.st.Composition[1].colour = 0xFF0000, ed.Env.SimColor = 0x0000FF;
    EXPECT_EQ(std::tuple(ed.NewColour(), ed.DefaultName()), std::tuple(0x800080u, "Constituent 2"));

    // A segmented template gives its segmentation and ratios.
    TComponents seg =
        testcomp::Segmented(testcomp::WeakAcid("Seg", 4.0, 40, 0, 0, 0), {1, 2}, {1, 3});
    seg.type = 2;
    seg.AllocTable(2);
    f.st.Composition.Add(seg);
    ASSERT_EQ(ed.TemplateItems().size(), 3u);
    ed.ChooseTemplate(2);
    EXPECT_EQ(std::tuple(ed.AppliedMode, ed.sgC.Cell(2, 1), ed.WorkComp.type),
              std::tuple(2, "3", 2));
    // "All" copies the ratios to constituents with the same segment count.
    ed.SetCCell(1, 1, "5");
    f.sink.answers = {true};
    ed.ApplyToAll();
    EXPECT_EQ(f.st.Composition[2].ratio[1], 5.0);

    // Pick into three segments: segments and concentrations stay, the entry's
    // pKa and u go into every segment row.
    ed.EditZoneCount("3");
    ed.SetGradPKa(true);
    ed.Apply();
    ed.SetCCell(3, 2, "9");
    ed.Apply();
    TUnivSet<TComponents> db;
    db.Add(testcomp::Constituent("Glycine", -1, 1, {9.6, 0, 2.34}, {37.4, 0, 40.9}, 0, 0, 0));
    ed.Pick(db, 0);
    const TComponents& w = ed.WorkComp;
    EXPECT_EQ(std::tuple(w.name, ed.AppliedMode, w.zones, w.c_grad[3], w.UOf(1, -1),
                         ed.View().applyEnabled),
              std::tuple("Glycine", 4, 3, 9.0, 37.4, false));
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(w.PKaOf(s, 1), 2.34);
    // Pick into a plain editor: the entry with type B and c = 0; Accept makes it A.
    ed.Clear();
    ed.Pick(db, 0);
    EXPECT_EQ(std::tuple(ed.AppliedMode, w.type), std::tuple(1, 1));
    ASSERT_TRUE(ed.Accept());
    EXPECT_EQ(f.st.Composition[3].type, 0);
    ed.Pick(db, 5);  // no such item: nothing happens

    // Tables: deleted after the question.
    ed.EditRow(2);
    EXPECT_TRUE(ed.View().tableEnabled);
    f.sink.answers = {true, true};
    ed.DeleteTable();
    EXPECT_EQ(ed.WorkComp.tableCount, 0);
    f.st.Composition[2].AllocTable(4);
    ed.DeleteAllTables();
    EXPECT_EQ(f.st.Composition[2].tableCount, 0);
}

TEST(ConstituentEditor, CompositionFileAndDatabaseThroughTheEditor)
{
    Fixture f;
    auto& ed = f.ed;
    TempDir dir;
    EXPECT_FALSE(ed.OpenDatabase(dir.file("Database.dbc")));
    EXPECT_EQ(f.sink.warnings.back(), "DATABASE isn't accessible.");
    EXPECT_FALSE(ed.DatabaseAvailable);

    f.st.Composition.Add(testcomp::WeakAcid("Acetic acid", 4.756, 42.4, testcomp::BGE, 20, 0));
    f.st.Composition.Add(testcomp::StrongCation("Sodium", 51.9, testcomp::BGE, 10, 0));
    const std::string name = dir.file("buffer.cmp");
    ASSERT_TRUE(ed.SaveComposition(name));
    // Open in "Add" mode: names already present are skipped.
    f.st.rbSet = false;
    ASSERT_TRUE(ed.OpenComposition(name));
    EXPECT_TRUE(f.st.CompChanged);
    EXPECT_EQ(f.st.Composition.Count(), 2);
    // A file cut short is reported and changes nothing.
    WriteBytes(name, ReadBytes(name).substr(0, 60));
    f.st.rbSet = true;
    EXPECT_FALSE(ed.OpenComposition(name));
    EXPECT_EQ(
        std::tuple(f.sink.warnings.back(), f.st.Composition.Count(), f.st.Composition[1].name),
        std::tuple("Incorrect file.", 2, "Acetic acid"));
}

// A colour typed in lower-case hexadecimal is taken as in upper case.
TEST(ConstituentEditor, ColourTypedInLowerCaseHexadecimal)
{
    for (auto [text, colour] :
         {std::pair{"0xb9dcff", 0xB9DCFF}, {"$ff", 0xFF}, {"0XABCDEF", 0xABCDEF}}) {
        Fixture f;
        f.ed.EditColour("12");
        f.ed.EditColour(text);
        EXPECT_EQ(f.ed.WorkComp.colour, colour) << text;
        EXPECT_EQ(f.ed.View().colourBack, static_cast<TColor>(colour)) << text;
    }
}
