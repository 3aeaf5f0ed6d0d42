// The package reader on packages built byte by byte: the trailer, the records and
// the walk through them, sound and damaged.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "byte_built_packages.h"
#include "hostile_packages.h"

using namespace velmor;
using namespace velmor::test;

TEST(PackageReaderTest, ASoundPackageReadsWithItsDirectoriesInherited)
{
    std::string bytes = Package(kEntries, Trailer(0, "setup.exe"));
    PackageContents c = Read(bytes);
    EXPECT_TRUE(c.Sound()) << Problems(c);
    ASSERT_EQ(c.entries.size(), 5u);
    const char *paths[] = {"SETUP.EXE", "README.TXT", "DATA\\ONE\\A.BIN", "DATA\\ONE\\B.BIN", "TWO\\C.BIN"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(c.entries[i].path, paths[i]);
        EXPECT_EQ(c.entries[i].index, i + 1);
    }
    EXPECT_EQ(c.entries[3].directoryName, "");
    EXPECT_EQ(c.entries[3].directory, "DATA\\ONE");
    EXPECT_EQ(c.entries[2].attributes, uint32_t(kAttributeReadOnly));
    EXPECT_EQ(c.entries[2].lastWriteTime, 0x01D2000000000000ULL);
    EXPECT_EQ(bytes.substr(c.entries[1].dataOffset, c.entries[1].dataSize), "read me");
    EXPECT_EQ(c.defaultFolder, "C:\\Acme");
    EXPECT_EQ(c.setupProgram, "setup.exe");
}

TEST(PackageReaderTest, TrailerDamage)
{
    std::string sound = Package(kEntries, Trailer(0, "SETUP.EXE"));
    size_t t = TrailerAt(sound);
    struct Case {
        const char *name;
        std::string bytes;
        const char *expected;
    } cases[] = {
        {"only a trailer's worth", sound.substr(sound.size() - kTrailerSize), "too short for a package"},
        {"empty", "", "0 bytes long"},
        {"cut short", sound.substr(0, sound.size() - 1), "no package trailer"},
        {"signature in other case", [&] { std::string b = sound; b[t] = 'q'; return b; }(), "no package trailer"},
        {"mode 2", [&] { std::string b = sound; b[t + 10] = 2; return b; }(), "mode 2 is neither"},
        {"setup field unterminated", [&] { std::string b = sound; std::memset(&b[t + 20], 'S', 256); return b; }(),
         "setup program field holds no zero byte"},
        {"folder field unterminated", [&] { std::string b = sound; std::memset(&b[t + 276], 'F', 256); return b; }(),
         "folder field holds no zero byte"},
        {"description unterminated", [&] { std::string b = sound; std::memset(&b[t + 532], 'D', 512); return b; }(),
         "description field holds no zero byte"},
        {"data offset past the end", [&] { std::string b = sound; PutU32(b, t + 1048, uint32_t(b.size())); return b; }(),
         "data offset"},
        {"data offset inside the trailer", [&] { std::string b = sound; PutU32(b, t + 1048, uint32_t(t + 1)); return b; }(),
         "lies past the start of the trailer"},
        {"no program before the data", [&] { std::string b = sound; b[0] = 'X'; return b; }(), "no MZ"},
        {"relative folder", Package(kEntries, Trailer(0, "SETUP.EXE", "Acme")), "not a full path"},
    };
    for (const Case &c : cases) {
        PackageContents contents = Read(c.bytes);
        EXPECT_FALSE(contents.Sound()) << c.name;
        EXPECT_TRUE(HasProblem(contents, 0, c.expected)) << c.name << ":\n" << Problems(contents);
    }
    // The rows the stub's reader checks too.
    for (const SignatureCase &c : SignatureCases()) {
        std::string bytes = sound;
        bytes[t + c.offset] = c.value;
        PackageContents contents = Read(bytes);
        EXPECT_EQ(contents.hasTrailer, c.accepted) << c.label;
        EXPECT_EQ(contents.Sound(), c.accepted) << c.label << ":\n" << Problems(contents);
    }
}

// A record cut at every byte: the data area then ends inside it, and the trailer
// that follows must not be read as the rest of the record.
TEST(PackageReaderTest, ARecordCutAtEveryByteIsNamedAtItsField)
{
    Entry first{"", "FIRST.TXT", "first"};
    Entry second{"SUB", "SECOND.TXT", "0123456789"};
    std::string head = Record(first);
    std::string record = Record(second);
    // Field boundaries of the second record: 2, 4 (SUB\0), 2, 11, then the fixed fields and data.
    struct Field {
        size_t end;
        const char *name;
    } fields[] = {{2, "directory name length"}, {6, "directory name"}, {8, "file name length"},
                  {19, "file name"}, {23, "attributes"}, {31, "creation time"}, {39, "last access time"},
                  {47, "last write time"}, {51, "data size"}, {61, "runs past the trailer"}};
    ASSERT_EQ(record.size(), 61u);
    for (size_t cut = 0; cut < record.size(); ++cut) {
        PackageContents c = Read(Package(head + record.substr(0, cut), Trailer(2)));
        const Field *field = fields;
        while (cut >= field->end)
            ++field;
        std::string expected = cut == 0 ? "the data area ends after 1 entry" : field->name;
        EXPECT_TRUE(HasProblem(c, 2, expected)) << "cut at " << cut << ":\n" << Problems(c);
        EXPECT_EQ(c.problems.size(), 1u) << "cut at " << cut << ":\n" << Problems(c);
        ASSERT_EQ(c.entries.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(c.entries[0].path, "FIRST.TXT");
    }
}

TEST(PackageReaderTest, RecordAndCountDamage)
{
    Entry a{"", "A.TXT", "aaa"};
    Entry b{"D", "B.TXT", "bb"};
    std::string ab = DataArea({a, b});
    auto raw = [](uint16_t dirLength, const std::string &dir, uint16_t fileLength, const std::string &file) {
        std::string r;
        r += static_cast<char>(dirLength & 0xFF);
        r += static_cast<char>(dirLength >> 8);
        r += dir;
        r += static_cast<char>(fileLength & 0xFF);
        r += static_cast<char>(fileLength >> 8);
        r += file;
        return r + std::string(32, '\0');
    };
    struct Case {
        const char *name;
        std::string area;
        uint32_t count;
        uint32_t index;
        const char *expected;
        size_t entriesRead; // records read whole
    } cases[] = {
        {"count over the records", ab, 3, 3, "entry count is 3, but the data area ends after 2 entries", 2},
        {"count far over", ab, 0xFFFFFFFF, 3, "ends after 2 entries", 2},
        {"count under the records", ab, 1, 0, "holds 1 more records than the entry count 1", 1},
        {"stray bytes", ab + "xyz", 2, 0, "3 bytes after the last entry", 2},
        {"directory length over 256", ab + raw(257, std::string(257, 'd'), 2, "F"), 3, 3,
         "directory name length 257 is over 256", 2},
        {"directory length 65535", ab + raw(65535, "", 2, "F"), 3, 3, "directory name length 65535", 2},
        {"file length 0", ab + raw(0, "", 0, ""), 3, 3, "file name length 0 is outside 1 to 256", 2},
        {"file length 300", ab + raw(0, "", 300, std::string(300, 'f')), 3, 3, "file name length 300", 2},
        {"empty file name", ab + raw(0, "", 1, std::string(1, '\0')), 3, 3, "the file name is empty", 3},
        {"data past the trailer", ab + raw(0, "", 2, std::string("F\0", 2)).substr(0, 34) + "\xff\xff\xff\x7f", 3, 3,
         "its data of 2147483647 bytes runs past the trailer", 2},
    };
    for (const Case &c : cases) {
        PackageContents contents = Read(Package(c.area, Trailer(c.count)));
        EXPECT_TRUE(HasProblem(contents, c.index, c.expected)) << c.name << ":\n" << Problems(contents);
        EXPECT_EQ(contents.entries.size(), c.entriesRead) << c.name;
    }
}

// The rows the stub runs under Wine too: both refuse entry 2, or both accept it.
// Names the stub reads up to their first zero byte or their end are noted, not refused.
TEST(PackageReaderTest, NamesWithoutTheirZeroByteAreNotedWhereTheStubTakesThem)
{
    struct Case {
        const char *name;
        std::string record;
        const char *note;
    } cases[] = {
        {"file name unterminated", RawRecord(0, "", 3, "ABC"), "file name does not end in its zero byte"},
        {"file name with an early zero", RawRecord(0, "", 4, std::string("AB\0\0", 4)), "holds a zero byte before"},
        {"directory unterminated", RawRecord(2, "DD", 2, std::string("F\0", 2)),
         "directory name does not end in its zero byte"},
    };
    for (const Case &c : cases) {
        PackageContents contents = Read(Package(FirstEntry() + c.record, Trailer(2)));
        EXPECT_TRUE(contents.Sound()) << c.name << ":\n" << Problems(contents);
        ASSERT_EQ(contents.notes.size(), 1u) << c.name;
        EXPECT_NE(contents.notes[0].what.find(c.note), std::string::npos) << contents.notes[0].what;
    }
}

// The longest directory name a record holds (255 bytes and the zero) is read, not
// refused: only the full paths are too long, and the entries behind it are read too.
TEST(PackageReaderTest, TheLongestDirectoryNameIsReadAndTheWalkGoesOn)
{
    const std::string longest(255, 'D');
    PackageContents c = Read(Package({{longest, "A.TXT", "a"}, {"", "B.TXT", "b"}, {"", "a.txt", "c"}}, Trailer(0)));
    ASSERT_EQ(c.entries.size(), 3u) << Problems(c);
    EXPECT_EQ(c.entries[2].directory, longest);
    ASSERT_EQ(c.problems.size(), 4u) << Problems(c);
    for (uint32_t index = 1; index <= 3; ++index)
        EXPECT_EQ(c.problems[index - 1].kind, ProblemKind::Length) << Problems(c);
    EXPECT_TRUE(HasProblem(c, 3, "the same file as entry 1")) << Problems(c);
}


TEST(PackageReaderTest, NoEntriesIsSound)
{
    PackageContents c = Read(Package(std::vector<Entry>{}, Trailer(0)));
    EXPECT_TRUE(c.Sound()) << Problems(c);
    EXPECT_TRUE(c.entries.empty());
}
