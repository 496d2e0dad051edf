#include "composition/ampholines.h"
#include "composition/amplitudes.h"

#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

constexpr TColor kSim = 0xFFFFFF, kDet = 0xB9DCFF;

// Answers the wizard's boxes in order; returns the prompts asked.
std::vector<std::string> Answers(AmpholinesWizard& w, TUnivSet<TComponents>& comp,
                                 const std::vector<std::string>& answers)
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
    // Three boxes per charge, each naming its charge.
    ASSERT_EQ(prompts.size(), 11u);
    EXPECT_EQ(std::tuple(prompts[4], prompts[9], prompts[10]),
              std::tuple("Enter the lowest value of pK for charge -1: ",
                         "Enter mobility for charge 1: ", "Enter uniform concentration: "));
    // Amph2 replaced in place, Amph1 and Amph3 appended.
    ASSERT_EQ(comp.Count(), 4);
    EXPECT_EQ(std::tuple(comp[2].name, comp[3].name, comp[4].name),
              std::tuple("Amph2", "Amph1", "Amph3"));
    const TComponents* series[] = {&comp[3], &comp[2], &comp[4]};
    for (int k = 0; k < 3; ++k) {
        const TComponents& c = *series[k];
        // The mobility of -1 typed as -20.
        EXPECT_EQ(std::tuple(c.minCharge, c.maxCharge, c.mode, c.type, c.c, c.cInj, c.UOf(1, -1),
                             c.UOf(1, 1)),
                  std::tuple(-1, 1, 1, 0, 0.0, 0.2, 20.0, 25.0))
            << k;
        EXPECT_DOUBLE_EQ(c.PKaOf(1, -1), 4 + 0.5 * k);
        EXPECT_DOUBLE_EQ(c.PKaOf(1, 1), 9 + 0.5 * k);
        EXPECT_NE(c.colour, 0);
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
             {"0"},
             {"3000"},
             {"2", "A", "x"},
             {"2", "A", "1"},
             {"2", "A", "0", "x"},
             {"2", "A", "0", "0", "-1"},
             {"2", "A", "0", "0", "abc"},
             {"2", "A", "0", "0", "1e308"},  // a concentration beyond 100 mol/L
             {"2", "A", std::to_string(-kMaxChargeMagnitude - 1)},
             {"2", "A", "-1", "0", "1e308", "1e308", "20", "1"}}) {  // the last pK overflows
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
    EXPECT_EQ(std::tuple(comp[1].name, comp[2].name), std::tuple("1", "2"));
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
    EXPECT_EQ(std::tuple(a.DigitsText(), a.ZeroText()), std::tuple("5", "1e-10"));
    a.EditDigits("0");
    EXPECT_EQ(a.Digits, 1);
    a.EditDigits("25");
    a.EditDigits("abc");
    EXPECT_EQ(a.Digits, 18);
    a.EditZero("-3");
    a.EditApplyInj("-7");
    EXPECT_EQ(std::tuple(a.Zero, a.ApplyInj), std::tuple(0.0, -1.0));
    a.EditApplyInj("0,25");
    a.EditUniform("3");
    EXPECT_EQ(std::tuple(a.ApplyInj, a.UniformText()), std::tuple(0.25, "0.5"));
    EXPECT_EQ(
        std::tuple(AmplitudeClickRow(9, 10), AmplitudeClickRow(5, 10), AmplitudeClickRow(3, 4)),
        std::tuple(6, 5, 3));
}
