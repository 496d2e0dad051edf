#include "foundation/fileio.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Pattern(size_t n, unsigned seed = 7)
{
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>((i * 131 + seed + i / 977) & 0xFF);
    return b;
}

// A record of every field type: text, i32, f64, bool, u8, text, f64 (ends in a fixed field).
using Record =
    std::tuple<std::string, std::int32_t, double, bool, std::uint8_t, std::string, double>;

void WriteRecord(const std::string& fileName, const Record& r)
{
    KFile f = KFile::Create(fileName);
    std::int64_t pos = 0;
    FileWriteString(f, std::get<0>(r), pos, true);
    FileWriteInt32(f, std::get<1>(r), pos);
    FileWriteDouble(f, std::get<2>(r), pos);
    FileWriteBool(f, std::get<3>(r), pos);
    FileWriteUInt8(f, std::get<4>(r), pos);
    FileWriteString(f, std::get<5>(r), pos, true);
    FileWriteDouble(f, std::get<6>(r), pos);
}

std::string ReadText(KFile& f, std::int64_t limit, std::int64_t& pos)
{
    std::string text;
    FileReadStringZ(f, text, limit, pos);
    return text;
}

// Reads the fields in order (the elements of a braced list are evaluated left to right).
Record ReadRecord(const std::string& fileName, KFile& f)
{
    const std::int64_t limit = FileSizeByName(fileName);
    std::int64_t pos = 0;
    return Record{ReadText(f, limit, pos),       FileReadInt32(f, limit, pos),
                  FileReadDouble(f, limit, pos), FileReadBool(f, limit, pos),
                  FileReadUInt8(f, limit, pos),  ReadText(f, limit, pos),
                  FileReadDouble(f, limit, pos)};
}

TEST(FileIO, RecordLayoutIsLittleEndianAndReadsBack)
{
    TempDir dir;
    const std::string name = dir.file("rec.bin");
    const Record in{"KELVO X FILE", -2, 1.5, true, 200, "EOF", -0.0};
    WriteRecord(name, in);
    // Text, zero, -2, 1.5, true, 200, "EOF", zero, -0.0.
    EXPECT_EQ(ReadAll(name),
              std::string("KELVO X FILE\0\xFE\xFF\xFF\xFF\0\0\0\0\0\0\xF8\x3F\x01\xC8"
                          "EOF\0\0\0\0\0\0\0\0\x80",
                          39));
    KFile f = KFile::Open(name, 0);
    const Record out = ReadRecord(name, f);
    EXPECT_EQ(out, in);
    EXPECT_TRUE(std::signbit(std::get<6>(out)));
}

// A long first text crosses the chunks in which texts are read.
TEST(FileIO, CutRecordRaisesIncorrectFileAndClosesOnce)
{
    TempDir dir;
    const std::string full = dir.file("full.bin"), cut = dir.file("cut.bin");
    const Record record{std::string(260, 'h'), 123456, 3.25, false, 9, "name", 1e300};
    WriteRecord(full, record);
    const std::string bytes = ReadAll(full);
    for (size_t length = 0; length < bytes.size(); ++length) {
        WriteAll(cut, bytes.substr(0, length));
        KFile f = KFile::Open(cut, 0);
        ASSERT_TRUE(f.IsOpen());
        const int fd = f.Handle();
        ASSERT_EQ(RaisedMessage([&] { ReadRecord(cut, f); }), "Incorrect file.")
            << "length " << length;
        EXPECT_FALSE(f.IsOpen());
        EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
        // The next open reuses the descriptor number; the caller's own close must
        // not close that other file.
        KFile other = KFile::Open(full, 0);
        ASSERT_EQ(other.Handle(), fd);
        f.Close();
        ASSERT_NE(::fcntl(fd, F_GETFD), -1);
    }
    KFile f = KFile::Open(full, 0);
    EXPECT_EQ(ReadRecord(full, f), record);
}

TEST(FileIO, LimitsTextsFailuresAndSizes)
{
    TempDir dir;
    const std::string name = dir.file("data.bin");
    WriteAll(name, Pattern(100));
    char buffer[8];
    std::int64_t pos = 0;
    // A negative count and a position + count that would overflow are refused.
    KFile f = KFile::Open(name, 0);
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(f, buffer, -1, 100, pos); }), "Incorrect file.");
    EXPECT_EQ(pos, 0);
    f = KFile::Open(name, 0);
    pos = INT64_MAX - 2;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(f, buffer, 8, INT64_MAX, pos); }),
              "Incorrect file.");
    std::string text;

    // A failing read (a folder) and a failing write (a full device, a file open
    // for reading) close and raise.
    KFile folder = KFile::Open(dir.path().string(), 0),
          folder2 = KFile::Open(dir.path().string(), 0);
    pos = 0;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(folder, buffer, 1, 10, pos); }),
              "Error: Can't read from file");
    EXPECT_EQ(RaisedMessage([&] { FileReadStringZ(folder2, text, 10, pos); }),
              "Error: Can't read from file");
    EXPECT_FALSE(folder.IsOpen() || folder2.IsOpen());
    if (fs::exists("/dev/full")) {
        KFile full = KFile::Open("/dev/full", 2);
        EXPECT_EQ(RaisedMessage([&] { FileWriteDouble(full, 1.0, pos); }),
                  "Error: Can't write to file");
        EXPECT_FALSE(full.IsOpen());
        EXPECT_EQ(pos, 0);
    }
    f = KFile::Open(name, 0);
    EXPECT_EQ(RaisedMessage([&] { FileWriteString(f, "x", pos, true); }),
              "Error: Can't write to file");

    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(FileSizeByName(dir.file("pipe")), -1);  // returns at once
    EXPECT_EQ(FileCopy(dir.file("pipe"), dir.file("pipe.copy"), false, 0), -1);
}

TEST(FileIO, CopyFileAndItsEdges)
{
    TempDir dir;
    const std::string src = dir.file("src.bin"), dst = dir.file("dst.bin");
    RecordingMessageSink sink;
    EXPECT_EQ(FileCopy(dir.file("missing"), dst, false, 0), -1);
    // Sizes around the copy block of 2^20 bytes.
    for (size_t size : {0, (1 << 20) - 1, (1 << 20) + 1, 2 * (1 << 20) + 12345}) {
        WriteAll(src, Pattern(size, 3));
        EXPECT_EQ(FileCopy(src, dst, false, -5), static_cast<std::int64_t>(size));
        EXPECT_TRUE(ReadAll(dst) == Pattern(size, 3)) << size;
    }
    WriteAll(src, Pattern(25));
    EXPECT_EQ(FileCopy(src, dst, false, 10), 10);
    EXPECT_EQ(ReadAll(dst), Pattern(10));
    // Declining the question leaves the destination untouched.
    sink.answers = {false};
    EXPECT_EQ(FileCopy(src, dst, true, 0), -2);
    EXPECT_EQ(sink.questions.back(), "File " + dst + " exists. Overwrite?");
    EXPECT_EQ(ReadAll(dst), Pattern(10));

    // Onto itself: exact name (no question), another spelling, a link. The data
    // stays, no temporary file remains.
    WriteAll(src, Pattern(300));
    const std::string otherSpelling = dir.path().string() + "/./sub/../src.bin";
    fs::create_directory(dir.path() / "sub");
    fs::create_symlink(src, dir.path() / "link.bin");
    EXPECT_EQ(FileCopy(src, src, true, 0), 300);
    EXPECT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(FileCopy(src, otherSpelling, false, 0), 300);
    EXPECT_EQ(FileCopy(dir.file("link.bin"), src, false, 0), 300);
    EXPECT_EQ(ReadAll(src), Pattern(300));
    EXPECT_EQ(FileCopy(src, otherSpelling, false, 120), 120);
    EXPECT_EQ(ReadAll(src), Pattern(120));
    EXPECT_FALSE(fs::exists(dir.path() / FileCopyTempName));
}

TEST(FileIO, CopyRangeChecksBeforeTouchingTheDestination)
{
    TempDir dir;
    const std::string src = dir.file("src.bin"), dst = dir.file("dst.bin"), data = Pattern(20);
    WriteAll(src, data);
    RecordingMessageSink sink;
    WriteAll(dst, "old");
    for (auto [from, to] : {std::pair{10, 20}, {12, 11}, {-3, 5}})
        EXPECT_EQ(FileCopyRange(src, dst, from, to, false, false), -1) << from << ".." << to;
    EXPECT_EQ(FileCopyRange(dir.file("missing"), dst, 0, 1, false, false), -1);
    sink.answers = {true};
    EXPECT_EQ(FileCopyRange(src, dst, 5, 30, true, false), -1);
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_EQ(ReadAll(dst), "old");

    // Append lands after the old end.
    EXPECT_EQ(FileCopyRange(src, dst, 0, 4, false, true), 5);
    EXPECT_EQ(ReadAll(dst), "old" + data.substr(0, 5));

    // Accepted: replaced even with append.
    sink.answers = {true};
    EXPECT_EQ(FileCopyRange(src, dst, 0, 1, true, true), 2);
    EXPECT_EQ(ReadAll(dst), data.substr(0, 2));

    // The source itself, under any spelling, is never the destination.
    EXPECT_EQ(FileCopyRange(src, src, 0, 5, false, false), -1);
    EXPECT_EQ(FileCopyRange(src, dir.path().string() + "/./src.bin", 0, 5, true, false), -1);
    EXPECT_EQ(ReadAll(src), data);
}

}  // namespace
