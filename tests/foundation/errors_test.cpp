#include "foundation/errors.h"

#include <gtest/gtest.h>

#include "support/raised_message.h"
#include "support/recording_sink.h"

namespace {

std::string Raised(std::int8_t code, const std::string& where)
{
    return RaisedMessage([&] { ThrowErrorCode(code, where); });
}

TEST(Errors, CodedMessagesAndBoxes)
{
    const std::string range =
        "Out of argument range in the called function.\nIncorrect range, indefinite expression or argument set up.";
    EXPECT_EQ(Raised(-4, "work>>RoundD"), "(work>>RoundD): " + range);
    EXPECT_EQ(Raised(-4, ""), range);
    EXPECT_EQ(
        Raised(-5, "TPolynom::Add"),
        "(TPolynom::Add): Incorrect structure of dynamic variable. Failture in the source-code");
    EXPECT_EQ(Raised(-3, ""), "INFINITE expression. Divided by ZERO or pole of the function.");
    EXPECT_EQ(Raised(-11, "x"),
              "(x): C Error: Error in Calculation Occured (e.g. Negative Values).");
    // Codes outside the table append nothing.
    EXPECT_EQ(Raised(-12, "where"), "(where): ");
    EXPECT_EQ(Raised(0, "") + Raised(5, ""), "");

    RecordingMessageSink sink;
    sink.answers = {true};
    ShowWarning("careful");
    ShowMessage("done");
    EXPECT_TRUE(ConfirmOverwrite("a.txt"));
    EXPECT_FALSE(Confirm("again?"));  // no answer left: the box closed without Yes
    EXPECT_EQ(sink.questions, (std::vector<std::string>{"Overwrite file: a.txt?", "again?"}));
    EXPECT_EQ(sink.warnings.at(0) + sink.messages.at(0), "carefuldone");
}

}  // namespace
