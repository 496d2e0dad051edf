#include "composition/ampholines.h"
#include "composition/amplitudes.h"

#include "foundation/errors.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr TColor kSim = 0xFFFFFF, kDet = 0xB9DCFF;

// Answers the wizard's boxes in order; returns the prompts asked.
std::vector<std::string> Answers(AmpholinesWizard& w, TUnivSet<TComponents>& comp, const std::vector<std::string>& answers)
{
    std::vector<std::string> prompts;
    for (const auto& a : answers) {
        if (w.Current() != AmpholinesWizard::State::Asking) break;
        prompts.push_back(w.Prompt());
        w.Answer(a, comp, kSim, kDet);
    }
    return prompts;
}

}  // namespace

TEST(AmpholinesWizard, SeriesHasEqualChargesAndMobilitiesAndEvenlySteppedPKs)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(testcomp::StrongCation("Na", 51.9, testcomp::BGE, 10, 0));
    comp.Add(testcomp::StrongCation("Amph2", 10, testcomp::BGE, 1, 0));
    AmpholinesWizard w;
    EXPECT_EQ(w.Default(), "");
    sink.answers = {true};
    const auto prompts =
        Answers(w, comp, {"3", "Amph", "-1", "1", "4", "0.5", "-20", "9", "0,5", "25", "0.2"});
    EXPECT_EQ(w.Current(), AmpholinesWizard::State::Created);
    const std::vector<std::string> expected = {
        "Enter number of ampholines to create: ",
        "Enter unique prefix of ampholines: ",
        "Enter the most negative charge (Neg): ",
        "Enter the most positive charge (Pos): ",
        "Enter the lowest value of pK for charge -1: ",
        "Enter the difference (step) between two pK values for charge -1: ",
        "Enter mobility for charge -1: ",
        "Enter the lowest value of pK for charge 1: ",
        "Enter the difference (step) between two pK values for charge 1: ",
        "Enter mobility for charge 1: ",
        "Enter uniform concentration: "};
    EXPECT_EQ(prompts, expected);
    EXPECT_EQ(sink.questions.back(), "Continue and create new constituents?");
    // Amph2 replaced in place, Amph1 and Amph3 appended.
    ASSERT_EQ(comp.Count(), 4);
    EXPECT_EQ(comp[2].name, "Amph2");
    EXPECT_EQ(comp[3].name, "Amph1");
    EXPECT_EQ(comp[4].name, "Amph3");
    const TComponents* series[] = {&comp[3], &comp[2], &comp[4]};
    for (int k = 0; k < 3; ++k) {
        const TComponents& c = *series[k];
        EXPECT_EQ(c.minCharge, -1);
        EXPECT_EQ(c.maxCharge, 1);
        EXPECT_EQ(c.mode, 1);
        EXPECT_EQ(c.type, 0);
        EXPECT_EQ(c.c, 0.0);
        EXPECT_EQ(c.cInj, 0.2);
        EXPECT_DOUBLE_EQ(c.PKaOf(1, -1), 4 + 0.5 * k);
        EXPECT_DOUBLE_EQ(c.PKaOf(1, 1), 9 + 0.5 * k);
        EXPECT_EQ(c.UOf(1, -1), 20.0);   // typed as -20
        EXPECT_EQ(c.UOf(1, 1), 25.0);
        EXPECT_NE(c.colour, 0);
        // Isoelectric point midway between the two pKs, rising by the step.
        EXPECT_DOUBLE_EQ((c.PKaOf(1, -1) + c.PKaOf(1, 1)) / 2, 6.5 + 0.5 * k);
    }
}

TEST(AmpholinesWizard, RejectionsCancelsAndBoundaries)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    {
        AmpholinesWizard w;
        Answers(w, comp, {"abc"});
        EXPECT_EQ(w.Current(), AmpholinesWizard::State::Rejected);
        EXPECT_EQ(sink.messages.back(), "Incorrect input. Action cancelled.");
    }
    for (const auto& answers : std::vector<std::vector<std::string>>{
             {"0"}, {"3000"}, {"2", "A", "x"}, {"2", "A", "1"}, {"2", "A", "0", "x"}, {"2", "A", "0", "0", "-1"},
             {"2", "A", "0", "0", "abc"}, {"2", "A", "-500"},
             {"2", "A", "-1", "0", "1e308", "1e308", "20", "1"}}) {   // the last pK overflows
        AmpholinesWizard w;
        Answers(w, comp, answers);
        EXPECT_EQ(w.Current(), AmpholinesWizard::State::Rejected) << answers.size();
    }
    EXPECT_EQ(comp.Count(), 0);
    // Neutral series without pK boxes, an empty prefix, and No to the question.
    AmpholinesWizard w;
    sink.answers = {false};
    auto prompts = Answers(w, comp, {"2", "", "0", "0", "1"});
    EXPECT_EQ(prompts.back(), "Enter uniform concentration: ");
    EXPECT_EQ(w.Current(), AmpholinesWizard::State::Declined);
    EXPECT_EQ(comp.Count(), 0);
    AmpholinesWizard w2;
    sink.answers = {true};
    Answers(w2, comp, {"2", "", "0", "0", "1"});
    ASSERT_EQ(comp.Count(), 2);
    EXPECT_EQ(comp[1].name, "1");
    EXPECT_EQ(comp[2].name, "2");
    EXPECT_TRUE(comp[1].pKa.empty() || comp[1].FormCount() == 1);
    // Colours of the charts and black become 51400.
    for (int k = 0; k < 2000; ++k) {
        const TColor c = AmpholineColour(kSim, kDet);
        EXPECT_TRUE(c != kSim && c != kDet && c != 0 && c != 15827199 && c <= 0xFFFFFF);
    }
}

TEST(Amplitudes, SettingsAreClampedAndUniformNeverChanges)
{
    AmplitudeSettings a;
    EXPECT_EQ(a.DigitsText(), "5");
    EXPECT_EQ(a.ZeroText(), "1e-10");
    a.EditDigits("0");
    EXPECT_EQ(a.Digits, 1);
    a.EditDigits("25");
    EXPECT_EQ(a.Digits, 18);
    a.EditDigits("abc");
    EXPECT_EQ(a.Digits, 18);
    a.EditZero("-3");
    EXPECT_EQ(a.Zero, 0.0);
    a.EditApplyInj("-7");
    EXPECT_EQ(a.ApplyInj, -1.0);
    a.EditApplyInj("0,25");
    EXPECT_EQ(a.ApplyInj, 0.25);
    a.EditUniform("3");
    EXPECT_EQ(a.UniformText(), "0.5");
    EXPECT_EQ(std::string(kAmpHeaders[2]), "c(inj) ");
    EXPECT_EQ(AmplitudeClickRow(9, 10), 6);
    EXPECT_EQ(AmplitudeClickRow(5, 10), 5);
    EXPECT_EQ(AmplitudeClickRow(3, 4), 3);
}
