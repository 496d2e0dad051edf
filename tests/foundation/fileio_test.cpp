#include "foundation/fileio.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/raised_message.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& name, const Bytes& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Pattern(size_t n, unsigned seed = 7)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((i * 131 + seed + i / 977) & 0xFF);
    return b;
}

bool DescriptorOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// The record used below: str, i32, f64, bool, u8, str, f64 (ends in a fixed field).
struct Record {
    std::string header;
    std::int32_t number = 0;
    double value = 0;
    bool flag = false;
    std::uint8_t small = 0;
    std::string name;
    double last = 0;
};

void WriteRecord(const std::string& fileName, const Record& r)
{
    KFile f = KFile::Create(fileName);
    ASSERT_TRUE(f.IsOpen());
    std::int64_t pos = 0;
    FileWriteString(f, r.header, pos, true);
    FileWriteInt32(f, r.number, pos);
    FileWriteDouble(f, r.value, pos);
    FileWriteBool(f, r.flag, pos);
    FileWriteUInt8(f, r.small, pos);
    FileWriteString(f, r.name, pos, true);
    FileWriteDouble(f, r.last, pos);
}

Record ReadRecord(KFile& f, std::int64_t limit)
{
    Record r;
    std::int64_t pos = 0;
    FileReadStringZ(f, r.header, limit, pos);
    r.number = FileReadInt32(f, limit, pos);
    r.value = FileReadDouble(f, limit, pos);
    r.flag = FileReadBool(f, limit, pos);
    r.small = FileReadUInt8(f, limit, pos);
    FileReadStringZ(f, r.name, limit, pos);
    r.last = FileReadDouble(f, limit, pos);
    return r;
}

TEST(FileIO, RecordLayoutIsLittleEndianAndReadsBack)
{
    TempDir dir;
    const std::string name = dir.file("rec.bin");
    Record in{"KELVO X FILE", -2, 1.5, true, 200, "EOF", -0.0};
    WriteRecord(name, in);

    Bytes expected;
    for (char c : std::string("KELVO X FILE")) expected.push_back(static_cast<unsigned char>(c));
    expected.push_back(0);
    for (unsigned char c : {0xFE, 0xFF, 0xFF, 0xFF}) expected.push_back(c);           // -2
    for (unsigned char c : {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}) expected.push_back(c);     // 1.5
    expected.push_back(1);
    expected.push_back(200);
    for (int c : {'E', 'O', 'F', '\0'}) expected.push_back(static_cast<unsigned char>(c));
    for (unsigned char c : {0, 0, 0, 0, 0, 0, 0, 0x80}) expected.push_back(c);        // -0.0
    EXPECT_EQ(ReadAll(name), expected);

    KFile f = KFile::Open(name, 0);
    const std::int64_t size = FileSizeByName(name);
    EXPECT_EQ(size, static_cast<std::int64_t>(expected.size()));
    Record out = ReadRecord(f, size);
    EXPECT_EQ(out.header, in.header);
    EXPECT_EQ(out.number, -2);
    EXPECT_EQ(out.value, 1.5);
    EXPECT_TRUE(out.flag);
    EXPECT_EQ(out.small, 200);
    EXPECT_EQ(out.name, "EOF");
    EXPECT_TRUE(std::signbit(out.last));

    // Any non-zero byte reads as true.
    WriteAll(name, Bytes{7});
    KFile g = KFile::Open(name, 0);
    std::int64_t pos = 0;
    EXPECT_TRUE(FileReadBool(g, 1, pos));
}

TEST(FileIO, CutRecordRaisesIncorrectFileAndClosesOnce)
{
    TempDir dir;
    const std::string full = dir.file("full.bin");
    WriteRecord(full, Record{"HEADER", 123456, 3.25, false, 9, "name", 1e300});
    const Bytes bytes = ReadAll(full);
    const std::string cut = dir.file("cut.bin");
    for (size_t length = 0; length < bytes.size(); ++length) {
        WriteAll(cut, Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        KFile f = KFile::Open(cut, 0);
        ASSERT_TRUE(f.IsOpen());
        const int fd = f.Handle();
        EXPECT_EQ(RaisedMessage([&] { ReadRecord(f, FileSizeByName(cut)); }), "Incorrect file.") << "length " << length;
        EXPECT_FALSE(f.IsOpen());
        EXPECT_FALSE(DescriptorOpen(fd));
        // The descriptor number is reused by the next open; the caller's own close
        // must not close that other file.
        KFile other = KFile::Open(full, 0);
        ASSERT_EQ(other.Handle(), fd);
        f.Close();
        EXPECT_TRUE(DescriptorOpen(other.Handle()));
    }
    // The full length reads.
    KFile f = KFile::Open(full, 0);
    EXPECT_EQ(ReadRecord(f, FileSizeByName(full)).last, 1e300);
}

TEST(FileIO, LimitsTextsAndFailures)
{
    TempDir dir;
    const std::string name = dir.file("data.bin");
    WriteAll(name, Pattern(100));
    unsigned char buffer[8];

    KFile f = KFile::Open(name, 0);
    ASSERT_EQ(f.Seek(96, 0), 96);
    std::int64_t pos = 96;
    FileReadChecked(f, buffer, 4, 100, pos);
    EXPECT_EQ(pos, 100);
    EXPECT_TRUE(f.IsOpen());
    pos = 96;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(f, buffer, 5, 100, pos); }), "Incorrect file.");
    EXPECT_EQ(pos, 96);
    EXPECT_FALSE(f.IsOpen());

    // A negative count and a position + count that would overflow are refused.
    KFile g = KFile::Open(name, 0);
    pos = 0;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(g, buffer, -1, 100, pos); }), "Incorrect file.");
    KFile h = KFile::Open(name, 0);
    pos = INT64_MAX - 2;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(h, buffer, 8, INT64_MAX, pos); }), "Incorrect file.");

    // A limit beyond the real end: a short read is no error.
    KFile s = KFile::Open(name, 0);
    s.Seek(98, 0);
    pos = 98;
    FileReadChecked(s, buffer, 8, 1000, pos);
    EXPECT_EQ(pos, 100);

    // Texts.
    const std::string textFile = dir.file("text.bin");
    {
        KFile w = KFile::Create(textFile);
        pos = 0;
        FileWriteString(w, "EOF", pos, true);
        EXPECT_EQ(pos, 4);
        FileWriteString(w, "EOF", pos, false);
        EXPECT_EQ(pos, 7);
        FileWriteString(w, "", pos, false);
        EXPECT_EQ(pos, 7);
        FileWriteString(w, std::string("a\0b", 3), pos, true);   // stops at the zero character
        EXPECT_EQ(pos, 9);
    }
    EXPECT_EQ(ReadAll(textFile), (Bytes{'E', 'O', 'F', 0, 'E', 'O', 'F', 'a', 0}));

    WriteAll(textFile, Bytes{0x41, 0x42, 0x00, 0x43});
    KFile t = KFile::Open(textFile, 0);
    std::string text = "old";
    pos = 0;
    FileReadStringZ(t, text, 4, pos);
    EXPECT_EQ(text, "AB");
    EXPECT_EQ(pos, 3);
    // The byte after the zero is the next to be read.
    FileReadChecked(t, buffer, 1, 4, pos);
    EXPECT_EQ(buffer[0], 0x43);
    // At the limit the text ends silently; past the end of the file too.
    FileReadStringZ(t, text, 4, pos);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(t.IsOpen());
    KFile u = KFile::Open(textFile, 0);
    pos = 0;
    FileReadStringZ(u, text, 2, pos);
    EXPECT_EQ(text, "AB");
    EXPECT_EQ(pos, 2);
    u.Seek(3, 0);
    pos = 3;
    FileReadStringZ(u, text, 50, pos);
    EXPECT_EQ(text, "C");
    EXPECT_EQ(pos, 4);
    // A long text crosses the internal chunks.
    const std::string longText(1000, 'x');
    {
        KFile w = KFile::Create(textFile);
        pos = 0;
        FileWriteString(w, longText, pos, true);
        FileWriteString(w, "next", pos, true);
    }
    KFile v = KFile::Open(textFile, 0);
    pos = 0;
    FileReadStringZ(v, text, 1006, pos);
    EXPECT_EQ(text, longText);
    FileReadStringZ(v, text, 1006, pos);
    EXPECT_EQ(text, "next");

    // A failing read (a folder) and a failing write (a full device) close and raise.
    KFile folder = KFile::Open(dir.path().string(), 0);
    ASSERT_TRUE(folder.IsOpen());
    pos = 0;
    EXPECT_EQ(RaisedMessage([&] { FileReadChecked(folder, buffer, 1, 10, pos); }), "Error: Can't read from file");
    EXPECT_FALSE(folder.IsOpen());
    KFile folder2 = KFile::Open(dir.path().string(), 0);
    EXPECT_EQ(RaisedMessage([&] { FileReadStringZ(folder2, text, 10, pos); }), "Error: Can't read from file");
    EXPECT_FALSE(folder2.IsOpen());
    if (std::filesystem::exists("/dev/full")) {
        KFile full = KFile::Open("/dev/full", 2);
        ASSERT_TRUE(full.IsOpen());
        pos = 0;
        EXPECT_EQ(RaisedMessage([&] { FileWriteDouble(full, 1.0, pos); }), "Error: Can't write to file");
        EXPECT_FALSE(full.IsOpen());
        EXPECT_EQ(pos, 0);
    }
    KFile reader = KFile::Open(name, 0);
    pos = 0;
    EXPECT_EQ(RaisedMessage([&] { FileWriteString(reader, "x", pos, true); }), "Error: Can't write to file");

    // Sizes.
    EXPECT_EQ(FileSizeByName(dir.file("missing")), -1);
    WriteAll(dir.file("empty"), {});
    EXPECT_EQ(FileSizeByName(dir.file("empty")), 0);
    EXPECT_EQ(FileSizeByName(dir.path().string()), -1);
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(FileSizeByName(dir.file("pipe")), -1);   // returns at once
    EXPECT_EQ(FileCopy(dir.file("pipe"), dir.file("pipe.copy"), false, 0), -1);
    EXPECT_TRUE(FileExists(name));
    EXPECT_FALSE(FileExists(dir.path().string()));
    EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(ExtractFileDir("c.txt"), "");
    EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
}

TEST(FileIO, CopyFileAndItsEdges)
{
    TempDir dir;
    const std::string src = dir.file("src.bin");
    const std::string dst = dir.file("dst.bin");
    RecordingMessageSink sink;

    EXPECT_EQ(FileCopy(dir.file("missing"), dst, false, 0), -1);
    EXPECT_FALSE(FileExists(dst));

    WriteAll(src, {});
    EXPECT_EQ(FileCopy(src, dst, false, 0), 0);
    EXPECT_EQ(FileSizeByName(dst), 0);

    WriteAll(src, Pattern(25));
    EXPECT_EQ(FileCopy(src, dst, false, 10), 10);
    const Bytes p25 = Pattern(25);
    EXPECT_EQ(ReadAll(dst), Bytes(p25.begin(), p25.begin() + 10));
    EXPECT_EQ(FileCopy(src, dst, false, 0), 25);
    EXPECT_EQ(ReadAll(dst), Pattern(25));

    // Larger than one block, with a shorter last block.
    const Bytes big = Pattern(2 * 1048576 + 12345, 3);
    WriteAll(src, big);
    EXPECT_EQ(FileCopy(src, dst, false, -5), static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(ReadAll(dst), big);

    // Declining the question leaves the destination untouched.
    WriteAll(dst, Bytes{1, 2, 3});
    sink.answers = {false};
    EXPECT_EQ(FileCopy(src, dst, true, 0), -2);
    EXPECT_EQ(sink.questions.back(), "File " + dst + " exists. Overwrite?");
    EXPECT_EQ(ReadAll(dst), (Bytes{1, 2, 3}));
    sink.answers = {true};
    EXPECT_EQ(FileCopy(src, dst, true, 0), static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(ReadAll(dst), big);

    // Onto itself: exact name, another spelling, a link. The data stays, no
    // temporary file remains.
    WriteAll(src, Pattern(300));
    const size_t questionsBefore = sink.questions.size();
    EXPECT_EQ(FileCopy(src, src, true, 0), 300);
    EXPECT_EQ(sink.questions.size(), questionsBefore);
    EXPECT_EQ(ReadAll(src), Pattern(300));
    const std::string otherSpelling = dir.path().string() + "/./sub/../src.bin";
    std::filesystem::create_directory(dir.path() / "sub");
    EXPECT_EQ(FileCopy(src, otherSpelling, false, 0), 300);
    EXPECT_EQ(ReadAll(src), Pattern(300));
    std::filesystem::create_symlink(src, dir.path() / "link.bin");
    EXPECT_EQ(FileCopy(dir.file("link.bin"), src, false, 0), 300);
    EXPECT_EQ(ReadAll(src), Pattern(300));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.bin"));
    EXPECT_EQ(FileCopy(src, otherSpelling, false, 120), 120);
    const Bytes p300 = Pattern(300);
    EXPECT_EQ(ReadAll(src), Bytes(p300.begin(), p300.begin() + 120));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / FileCopyTempName));

    // A bare file name works in the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(FileCopy("src.bin", "src.bin", false, 0), 120);
    EXPECT_EQ(FileCopy("src.bin", "copy.bin", false, 0), 120);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(ReadAll(dir.file("copy.bin")), ReadAll(src));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / FileCopyTempName));
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(FileIO, CopyRangeChecksBeforeTouchingTheDestination)
{
    TempDir dir;
    const std::string src = dir.file("src.bin");
    const std::string dst = dir.file("dst.bin");
    const Bytes data = Pattern(20);
    WriteAll(src, data);
    RecordingMessageSink sink;

    EXPECT_EQ(FileCopyRange(src, dst, 10, 19, false, false), 10);
    EXPECT_EQ(ReadAll(dst), Bytes(data.begin() + 10, data.end()));

    const Bytes old{9, 9, 9};
    WriteAll(dst, old);
    EXPECT_EQ(FileCopyRange(src, dst, 10, 20, false, false), -1);
    EXPECT_EQ(FileCopyRange(src, dst, 12, 11, false, false), -1);
    EXPECT_EQ(FileCopyRange(src, dst, -3, 5, false, false), -1);
    EXPECT_EQ(FileCopyRange(dir.file("missing"), dst, 0, 1, false, false), -1);
    sink.answers = {true};
    EXPECT_EQ(FileCopyRange(src, dst, 5, 30, true, false), -1);
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_EQ(ReadAll(dst), old);

    // Append lands after the old end.
    EXPECT_EQ(FileCopyRange(src, dst, 0, 4, false, true), 5);
    Bytes appended = old;
    appended.insert(appended.end(), data.begin(), data.begin() + 5);
    EXPECT_EQ(ReadAll(dst), appended);
    // Append to a missing destination creates it.
    EXPECT_EQ(FileCopyRange(src, dir.file("new.bin"), 19, 19, false, true), 1);
    EXPECT_EQ(ReadAll(dir.file("new.bin")), Bytes{data[19]});

    // Declined: -2, untouched; accepted: replaced even with append.
    sink.answers = {false, true};
    EXPECT_EQ(FileCopyRange(src, dst, 0, 1, true, true), -2);
    EXPECT_EQ(ReadAll(dst), appended);
    EXPECT_EQ(FileCopyRange(src, dst, 0, 1, true, true), 2);
    EXPECT_EQ(ReadAll(dst), Bytes(data.begin(), data.begin() + 2));

    // The source itself, under any spelling, is never the destination.
    EXPECT_EQ(FileCopyRange(src, src, 0, 5, false, false), -1);
    EXPECT_EQ(FileCopyRange(src, dir.path().string() + "/./src.bin", 0, 5, true, false), -1);
    EXPECT_EQ(ReadAll(src), data);

    // More than one block.
    const Bytes big = Pattern(1048576 * 3 + 7, 11);
    WriteAll(src, big);
    EXPECT_EQ(FileCopyRange(src, dst, 100, static_cast<std::int64_t>(big.size()) - 1, false, false),
              static_cast<std::int64_t>(big.size()) - 100);
    EXPECT_EQ(ReadAll(dst), Bytes(big.begin() + 100, big.end()));
}

}  // namespace
