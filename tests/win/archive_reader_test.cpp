// The archive reader on real files.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "archive_reader.h"
#include "hostile_packages.h"
#include "test_support.h"

using namespace velmor;
using namespace velmor::test;

namespace {

class ArchiveFile {
public:
    ArchiveFile(const ScratchFolder &folder, const std::string &bytes) : path_(folder / "archive.bin")
    {
        WriteWholeFile(path_, bytes);
        handle_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~ArchiveFile() { CloseHandle(handle_); }
    HANDLE handle() const { return handle_; }
    DWORD Position() const { return SetFilePointer(handle_, 0, nullptr, FILE_CURRENT); }

private:
    std::string path_;
    HANDLE handle_;
};

std::string Trailer(const TrailerFields &fields = {})
{
    return EncodeTrailer(fields);
}

TEST(ArchiveReaderTest, NeedsMoreThanTheTrailerItself)
{
    ScratchFolder folder;
    ArchiveTrailer trailer;
    ArchiveFile exact(folder, Trailer());
    EXPECT_EQ(ReadTrailer(exact.handle(), &trailer), 0);

    ScratchFolder other;
    ArchiveFile oneMore(other, "M" + Trailer());
    EXPECT_EQ(ReadTrailer(oneMore.handle(), &trailer), 1);
    EXPECT_EQ(oneMore.Position(), 1053u) << "left at the end of the file";
}

// The rows the packer's reader checks too.
TEST(ArchiveReaderTest, ChecksTheSignatureByteForByteUpToItsZeroByte)
{
    for (const SignatureCase &c : SignatureCases()) {
        std::string bytes = Trailer();
        bytes[c.offset] = c.value;
        ScratchFolder folder;
        ArchiveFile file(folder, "MZ" + bytes);
        ArchiveTrailer trailer;
        EXPECT_EQ(ReadTrailer(file.handle(), &trailer), c.accepted ? 1 : 0) << c.label;
    }
}

TEST(ArchiveReaderTest, RefusesTextFieldsWithoutTheirZeroByte)
{
    const size_t fields[][2] = {{offsetof(ArchiveTrailer, setupProgram), kSetupProgramSize},
                                {offsetof(ArchiveTrailer, defaultFolder), kDefaultFolderSize},
                                {offsetof(ArchiveTrailer, description), kDescriptionSize}};
    for (const auto &field : fields) {
        std::string bytes = Trailer();
        bytes.replace(field[0], field[1], field[1], 'A');
        ScratchFolder folder;
        ArchiveFile file(folder, "MZ" + bytes);
        ArchiveTrailer trailer;
        EXPECT_EQ(ReadTrailer(file.handle(), &trailer), 0) << "field at " << field[0];

        bytes[field[0] + field[1] - 1] = 0; // the longest text that fits
        ScratchFolder again;
        ArchiveFile fits(again, "MZ" + bytes);
        EXPECT_EQ(ReadTrailer(fits.handle(), &trailer), 1) << "field at " << field[0];
    }
}

TEST(ArchiveReaderTest, KeepsTheTrailerBytesUnchanged)
{
    TrailerFields fields;
    fields.mode = 1;
    fields.compressed = true;
    fields.entryCount = 7;
    fields.setupProgram = "SUB\\SETUP.EXE";
    fields.defaultFolder = "C:\\Drivers";
    fields.description = "Line one\r\nLine two";
    fields.dataOffset = 2;
    ScratchFolder folder;
    ArchiveFile file(folder, "MZ" + Trailer(fields));
    ArchiveTrailer trailer;
    ASSERT_EQ(ReadTrailer(file.handle(), &trailer), 1);
    EXPECT_EQ(trailer.mode, 1);
    EXPECT_EQ(trailer.compressed, 1);
    EXPECT_EQ(trailer.entryCount, 7u);
    EXPECT_STREQ(trailer.setupProgram, "SUB\\SETUP.EXE");
    EXPECT_STREQ(trailer.defaultFolder, "C:\\Drivers");
    EXPECT_STREQ(trailer.description, "Line one\r\nLine two");
    EXPECT_EQ(trailer.dataOffset, 2u);
}

TEST(ArchiveReaderTest, RefusesAFileThatIsNotOpen)
{
    ArchiveTrailer trailer;
    EntryRecord record;
    EXPECT_EQ(ReadTrailer(INVALID_HANDLE_VALUE, &trailer), 0);
    EXPECT_EQ(ReadEntryRecord(INVALID_HANDLE_VALUE, &record), 0);
    EXPECT_EQ(CopyToNewFile(INVALID_HANDLE_VALUE, "x", 0), 0);
}

TestEntry SampleEntry()
{
    TestEntry e;
    e.directoryName = "DATA\\SUB";
    e.fileName = "B.DAT";
    e.data = "contents";
    e.attributes = 0x21;
    e.creationTime = 0x0102030405060708ULL;
    e.lastAccessTime = 0x1112131415161718ULL;
    e.lastWriteTime = 0x2122232425262728ULL;
    return e;
}

TEST(ArchiveReaderTest, ReadsEveryFieldOfARecordAndStopsAtItsData)
{
    TestEntry e = SampleEntry();
    ScratchFolder folder;
    ArchiveFile file(folder, EncodeDataArea({e}));
    EntryRecord record;
    std::memset(&record, 0x55, sizeof record);
    ASSERT_EQ(ReadEntryRecord(file.handle(), &record), 1);
    EXPECT_STREQ(record.directoryName, "DATA\\SUB");
    EXPECT_STREQ(record.fileName, "B.DAT");
    EXPECT_EQ(record.attributes, 0x21u);
    EXPECT_EQ(FileTimeValue(record.creationTime), e.creationTime);
    EXPECT_EQ(FileTimeValue(record.lastAccessTime), e.lastAccessTime);
    EXPECT_EQ(FileTimeValue(record.lastWriteTime), e.lastWriteTime);
    EXPECT_EQ(record.dataSize, 8u);
    EXPECT_EQ(record.fileName[6], 0) << "the record is cleared before it is filled";
    EXPECT_EQ(file.Position(), 2u + 9 + 2 + 6 + kEntryFixedSize);
}

TEST(ArchiveReaderTest, EmptyDirectoryNameEitherWay)
{
    // Length 0, and a lone zero byte (length 1), both give an empty name.
    std::string lengthZero = EncodeDataArea({{"", "A.TXT", ""}});
    std::string loneZero = lengthZero;
    loneZero.replace(0, 2, std::string("\x01\x00\x00", 3));
    for (const std::string &bytes : {lengthZero, loneZero}) {
        ScratchFolder folder;
        ArchiveFile file(folder, bytes);
        EntryRecord record;
        ASSERT_EQ(ReadEntryRecord(file.handle(), &record), 1);
        EXPECT_STREQ(record.directoryName, "");
        EXPECT_STREQ(record.fileName, "A.TXT");
    }
}

// A record assembled by hand: names with the stored lengths given, not derived.
std::string RawRecord(uint16_t dirLength, const std::string &dirBytes, uint16_t nameLength,
                      const std::string &nameBytes)
{
    std::string r;
    r.append(reinterpret_cast<const char *>(&dirLength), 2);
    r += dirBytes;
    r.append(reinterpret_cast<const char *>(&nameLength), 2);
    r += nameBytes;
    r += std::string(kEntryFixedSize, '\0');
    return r;
}

TEST(ArchiveReaderTest, NameLengthsTheFieldsCannotHoldAreRefused)
{
    struct Case {
        const char *name;
        std::string bytes;
        int expected;
    } cases[] = {
        {"file name length 0", RawRecord(0, "", 0, ""), 0},
        {"name without zero byte", RawRecord(0, "", 5, "A.TXT"), 1},
        {"255 characters and the zero byte", RawRecord(0, "", 256, std::string(255, 'N') + '\0'), 1},
        {"256 characters, no zero byte", RawRecord(0, "", 256, std::string(256, 'N')), 0},
        {"file name over 256", RawRecord(0, "", 257, std::string(256, 'N') + '\0'), 0},
        {"file name of 257 whose zero byte is in the field",
         RawRecord(0, "", 257, std::string(255, 'N') + std::string("\0N", 2)), 0},
        {"directory of 257 whose zero byte is in the field",
         RawRecord(257, std::string(255, 'D') + std::string("\0D", 2), 2, std::string("A\0", 2)), 0},
        {"directory over 256", RawRecord(300, std::string(299, 'D') + '\0', 2, "A\0"), 0},
        {"directory of 256 without zero", RawRecord(256, std::string(256, 'D'), 2, std::string("A\0", 2)), 0},
    };
    for (const Case &c : cases) {
        ScratchFolder folder;
        ArchiveFile file(folder, c.bytes + std::string(1000, 'x'));
        EntryRecord record;
        EXPECT_EQ(ReadEntryRecord(file.handle(), &record), c.expected) << c.name;
        if (c.expected)
            EXPECT_EQ(record.fileName[255], 0) << c.name;
    }
}

TEST(ArchiveReaderTest, ARecordCutShortAnywhereFails)
{
    std::string record = EncodeDataArea({SampleEntry()});
    record.resize(record.size() - SampleEntry().data.size()); // record without its data
    for (size_t length = 0; length < record.size(); ++length) {
        ScratchFolder folder;
        ArchiveFile file(folder, record.substr(0, length));
        EntryRecord entry;
        EXPECT_EQ(ReadEntryRecord(file.handle(), &entry), 0) << "cut after " << length << " bytes";
    }
}

// --- CopyToNewFile ---

class CopyToNewFileTest : public ::testing::Test {
protected:
    static std::vector<DWORD> requests;
    static DWORD largestGranted;

    static void *LimitedAllocator(DWORD size)
    {
        requests.push_back(size);
        return size <= largestGranted ? VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    }
    void SetUp() override
    {
        requests.clear();
        largestGranted = 0xFFFFFFFF;
    }
    ScratchFolder folder;
};
std::vector<DWORD> CopyToNewFileTest::requests;
DWORD CopyToNewFileTest::largestGranted;

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

TEST_F(CopyToNewFileTest, CopiesTheNextBytesAndStopsBehindThem)
{
    std::string data = Pattern(10000);
    ArchiveFile archive(folder, "HEAD" + data + "TAIL");
    SetFilePointer(archive.handle(), 4, nullptr, FILE_BEGIN);
    std::string target = folder / "out.bin";
    ASSERT_EQ(CopyToNewFileWith(archive.handle(), target.c_str(), 10000, LimitedAllocator), 1);
    EXPECT_EQ(ReadWholeFile(target), data);
    EXPECT_EQ(archive.Position(), 10004u);
    EXPECT_EQ(requests, std::vector<DWORD>{10000}) << "one buffer of the full size";
}

TEST_F(CopyToNewFileTest, ZeroBytesGiveAnEmptyFileWithoutAllocating)
{
    ArchiveFile archive(folder, "data");
    std::string target = folder / "empty.bin";
    WriteWholeFile(target, "old contents");
    ASSERT_EQ(CopyToNewFileWith(archive.handle(), target.c_str(), 0, LimitedAllocator), 1);
    EXPECT_TRUE(FileExists(target));
    EXPECT_EQ(ReadWholeFile(target), "");
    EXPECT_TRUE(requests.empty());
}

TEST_F(CopyToNewFileTest, ReplacesAnExistingFile)
{
    ArchiveFile archive(folder, "new");
    std::string target = folder / "existing.txt";
    WriteWholeFile(target, "a much longer old content");
    ASSERT_EQ(CopyToNewFile(archive.handle(), target.c_str(), 3), 1);
    EXPECT_EQ(ReadWholeFile(target), "new");
}

TEST_F(CopyToNewFileTest, FailsInAMissingFolderWithoutCreatingAnything)
{
    ArchiveFile archive(folder, "data");
    std::string target = folder / "missing\\out.bin";
    EXPECT_EQ(CopyToNewFile(archive.handle(), target.c_str(), 4), 0);
    EXPECT_FALSE(FileExists(folder / "missing"));
    EXPECT_EQ(CopyToNewFile(archive.handle(), "", 4), 0);
    EXPECT_EQ(CopyToNewFile(archive.handle(), nullptr, 4), 0);
}

TEST_F(CopyToNewFileTest, CopiesInHalvesWhenTheFullBufferCannotBeHad)
{
    std::string data = Pattern(10001);
    ArchiveFile archive(folder, data + "NEXT");
    largestGranted = 3000;
    std::string target = folder / "halves.bin";
    ASSERT_EQ(CopyToNewFileWith(archive.handle(), target.c_str(), 10001, LimitedAllocator), 1);
    EXPECT_EQ(ReadWholeFile(target), data);
    EXPECT_EQ(requests, (std::vector<DWORD>{10001, 5000, 2500}));
    EXPECT_EQ(archive.Position(), 10001u) << "the last chunk is the remainder";
}

TEST_F(CopyToNewFileTest, FailsWhenNotEvenOneByteCanBeHad)
{
    ArchiveFile archive(folder, "data");
    largestGranted = 0;
    std::string target = folder / "none.bin";
    EXPECT_EQ(CopyToNewFileWith(archive.handle(), target.c_str(), 4, LimitedAllocator), 0);
    EXPECT_EQ(requests, (std::vector<DWORD>{4, 2, 1}));
    EXPECT_FALSE(FileExists(target)) << "the created file is deleted";
}

// Short in the first chunk or after two whole ones: either way no file stays.
TEST_F(CopyToNewFileTest, AShortArchiveLeavesNoFile)
{
    for (DWORD granted : {0xFFFFFFFFu, 1000u}) {
        ScratchFolder other;
        ArchiveFile archive(other, Pattern(2500));
        largestGranted = granted;
        std::string target = other / "short.bin";
        WriteWholeFile(target, "earlier");
        EXPECT_EQ(CopyToNewFileWith(archive.handle(), target.c_str(), 4000, LimitedAllocator), 0);
        EXPECT_FALSE(FileExists(target)) << "buffers of at most " << granted;
    }
}

} // namespace
