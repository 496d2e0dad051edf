#include "foundation/errors.h"

#include <gtest/gtest.h>

namespace {

std::string Raised(std::int8_t code, const std::string& where)
{
    try {
        ThrowErrorCode(code, where);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "<nothing raised>";
}

TEST(Errors, CodedMessagesCarryPlaceAndStandardText)
{
    EXPECT_EQ(Raised(-4, "work>>RoundD"),
              "(work>>RoundD): Out of argument range in the called function.\n"
              "Incorrect range, indefinite expression or argument set up.");
    EXPECT_EQ(Raised(-5, "TPolynom::Add"),
              "(TPolynom::Add): Incorrect structure of dynamic variable. Failture in the source-code");
    EXPECT_EQ(Raised(-4, ""),
              "Out of argument range in the called function.\nIncorrect range, indefinite expression or argument set up.");
    EXPECT_EQ(Raised(-3, ""), "INFINITE expression. Divided by ZERO or pole of the function.");
    EXPECT_EQ(Raised(-11, "x"), "(x): C Error: Error in Calculation Occured (e.g. Negative Values).");
    // Codes outside the table append nothing.
    EXPECT_EQ(Raised(-12, "where"), "(where): ");
    EXPECT_EQ(Raised(0, ""), "");
    EXPECT_EQ(Raised(5, ""), "");
}

TEST(Errors, BoxesGoThroughTheInstalledSink)
{
    RecordingMessageSink sink;
    sink.answers = {true};
    ShowWarning("careful");
    EXPECT_TRUE(ConfirmOverwrite("a.txt"));
    EXPECT_FALSE(Confirm("again?"));  // no answer left: the box closed without Yes
    ShowMessage("done");
    ASSERT_EQ(sink.questions.size(), 2u);
    EXPECT_EQ(sink.questions[0], "Overwrite file: a.txt?");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"careful"});
    EXPECT_EQ(sink.messages, std::vector<std::string>{"done"});
}

}  // namespace
