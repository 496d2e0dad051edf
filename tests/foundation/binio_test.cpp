// The reading and writing cursors and the open-and-check prologue.
#include "foundation/binio.h"

#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <tuple>

namespace {

std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(BinCursor, FieldsByTypeInOrderAndCountsCheckedBeforeAllocating)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("c.bin");
    ASSERT_TRUE(SaveFileAtomically(name, [](BinWriter& out) {
        out.Fields("AB", std::int32_t{-2}, 0.5, true, std::uint8_t{7});
        out.Flags({0, 3, 1});
        out.Doubles({1.0, -1.0});
        out.StringZ("EOF");
    }));
    // Little-endian, one byte per flag (1 for any non-zero), texts zero-terminated.
    const std::string expected = std::string("AB\0", 3) + std::string("\xFE\xFF\xFF\xFF", 4) +
                                 std::string("\0\0\0\0\0\0\xE0\x3F", 8) + "\x01\x07" +
                                 std::string("\0\x01\x01", 3) +
                                 std::string("\0\0\0\0\0\0\xF0\x3F", 8) +
                                 std::string("\0\0\0\0\0\0\xF0\xBF", 8) + std::string("EOF\0", 4);
    ASSERT_EQ(ReadAll(name), expected);

    KFile f;
    ASSERT_TRUE(OpenForReading(f, name, "no"));
    BinReader in(f);
    std::string text;
    std::int32_t i = 0;
    double d = 0;
    bool b = false;
    std::uint8_t u = 0;
    in.Fields(text, i, d, b, u);
    EXPECT_EQ(std::tuple(text, i, d, b, u),
              std::tuple(std::string("AB"), -2, 0.5, true, std::uint8_t{7}));
    EXPECT_EQ(in.Flags(3), (std::vector<std::uint8_t>{0, 1, 1}));
    EXPECT_EQ(in.Doubles(2), (std::vector<double>{1.0, -1.0}));
    EXPECT_TRUE(in.TrailerIsEOF());
    EXPECT_EQ(in.Left(), 0);

    // Counts that the bytes left cannot hold raise before anything is allocated,
    // also where count x size would overflow; the file is closed.
    for (std::int64_t count :
         {std::int64_t{-1}, std::int64_t{4}, std::int64_t{INT_MAX}, INT64_MAX / 3}) {
        KFile g = KFile::Open(name, 0);
        BinReader r(g, 25, 0);
        EXPECT_EQ(RaisedMessage([&] { r.RequireItems(count, 8); }), "Incorrect file.") << count;
        EXPECT_FALSE(g.IsOpen());
    }
    KFile g = KFile::Open(name, 0);
    BinReader r(g, 25, 0);
    EXPECT_EQ(RaisedMessage([&] { r.Doubles(INT64_MAX / 4); }), "Incorrect file.");

    // The prologue warns and gives false for a missing file; the trailer check warns.
    KFile h;
    EXPECT_FALSE(OpenForReading(h, tmp.file("none.bin"), "no"));
    KFile k;
    ASSERT_TRUE(OpenForReading(k, name, "no"));
    BinReader atText(k);
    EXPECT_FALSE(atText.TrailerIsEOF());
    EXPECT_EQ(sink.warnings,
              (std::vector<std::string>{"File \"" + tmp.file("none.bin") + "\" not found.",
                                        "Incorrect file."}));
    // The quiet form answers without a message (a directory is no file to
    // read); the raising form raises the reader's own texts.
    sink.Clear();
    KFile q;
    EXPECT_EQ(OpenForReading(q, tmp.file("none.bin")), OpenOutcome::NotFound);
    EXPECT_EQ(OpenForReading(q, tmp.path()), OpenOutcome::NotFound);
    EXPECT_FALSE(q.IsOpen());
    EXPECT_EQ(OpenForReading(q, name), OpenOutcome::Opened);
    EXPECT_TRUE(q.IsOpen());
    KFile e;
    EXPECT_EQ(
        RaisedMessage([&] { OpenForReadingOrRaise(e, tmp.file("none.bin"), "gone", "locked"); }),
        "gone");
    OpenForReadingOrRaise(e, name, "gone", "locked");
    EXPECT_TRUE(e.IsOpen());
    EXPECT_TRUE(sink.warnings.empty());
}
