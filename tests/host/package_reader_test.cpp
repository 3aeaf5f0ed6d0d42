// The package reader on packages built byte by byte, sound and damaged.
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "package_layout.h"
#include "package_reader.h"
#include "package_writer.h"
#include "pack_error.h"
#include "pe_image.h"
#include "record_writer.h"
#include "hostile_packages.h"
#include "host_support.h"
#include "szdd_encoder.h"

using namespace velmor;
using namespace velmor::test;

namespace {

const std::string kImage = StandInStub();

struct Entry {
    std::string directory;
    std::string name;
    std::string data;
    uint32_t attributes = kAttributeArchive;
};

std::string Record(const Entry &e)
{
    EntryHeader h;
    h.directoryName = e.directory;
    h.fileName = e.name;
    h.attributes = e.attributes;
    h.lastWriteTime = 0x01D2000000000000ULL;
    h.dataSize = static_cast<uint32_t>(e.data.size());
    return EncodeEntryRecord(h) + e.data;
}

std::string DataArea(const std::vector<Entry> &entries)
{
    std::string area;
    for (const Entry &e : entries)
        area += Record(e);
    return area;
}

TrailerFields Trailer(uint32_t count, const std::string &setup = "", const std::string &folder = "C:\\Acme")
{
    TrailerFields t;
    t.entryCount = count;
    t.setupProgram = setup;
    t.defaultFolder = folder;
    t.dataOffset = static_cast<uint32_t>(kImage.size());
    return t;
}

std::string Package(const std::string &dataArea, const TrailerFields &trailer)
{
    return kImage + dataArea + EncodeTrailer(trailer);
}

std::string Package(const std::vector<Entry> &entries, TrailerFields trailer)
{
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    return Package(DataArea(entries), trailer);
}

PackageContents Read(const std::string &bytes, ReadOptions options = {})
{
    MemorySource source(bytes);
    return ReadPackage(source, options);
}

// "index: what" for each problem, to compare and to print.
std::string Problems(const PackageContents &c)
{
    std::string text;
    for (const PackageProblem &p : c.problems)
        text += std::to_string(p.index) + " [" + p.path + "]: " + p.what + "\n";
    return text;
}

bool HasProblem(const PackageContents &c, uint32_t index, const std::string &part)
{
    for (const PackageProblem &p : c.problems) {
        if (p.index == index && p.what.find(part) != std::string::npos)
            return true;
    }
    return false;
}

void PutU32(std::string &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

size_t TrailerAt(const std::string &bytes)
{
    return bytes.size() - kTrailerSize;
}

const std::vector<Entry> kEntries = {
    {"", "SETUP.EXE", "program"},
    {"", "README.TXT", "read me"},
    {"DATA\\ONE", "A.BIN", "aaaa", kAttributeReadOnly},
    {"", "B.BIN", ""},
    {"TWO\\", "C.BIN", "c"},
};

} // namespace

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
        std::string expected = cut == 0 ? "the data area ends after 1 entries" : field->name;
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

TEST(PackageReaderTest, HostileNamesAsTheStubTakesThem)
{
    for (const HostileNameCase &c : HostileNames()) {
        std::string area = FirstEntry() + SharedRecord(c.directory, c.file, "bad");
        PackageContents contents = Read(Package(area, Trailer(2)));
        EXPECT_EQ(contents.HasProblem(ProblemKind::Name), c.refused) << c.label << ":\n" << Problems(contents);
        if (c.refused) {
            ASSERT_EQ(contents.problems.size(), 1u) << c.label << ":\n" << Problems(contents);
            EXPECT_EQ(contents.problems[0].index, 2u) << c.label;
        }
    }
}

TEST(PackageReaderTest, DoubleByteHostileNamesAsTheStubTakesThem)
{
    ReadOptions japanese;
    japanese.codePage = 932;
    for (const HostileNameCase &c : DoubleByteHostileNames()) {
        PackageContents contents =
            Read(Package(FirstEntry() + SharedRecord(c.directory, c.file, "bad"), Trailer(2)), japanese);
        EXPECT_EQ(contents.HasProblem(ProblemKind::Name), c.refused) << c.label << ":\n" << Problems(contents);
    }
}

TEST(PackageReaderTest, DamagedRecordsAsTheStubTakesThem)
{
    for (const DamagedRecordCase &c : DamagedRecords()) {
        PackageContents contents = Read(Package(FirstEntry() + c.secondRecord, Trailer(2)));
        EXPECT_FALSE(contents.Sound()) << c.label;
        ASSERT_FALSE(contents.problems.empty()) << c.label;
        EXPECT_EQ(contents.problems[0].index, 2u) << c.label << ":\n" << Problems(contents);
    }
}

TEST(PackageReaderTest, DoubleByteNamesAreScannedByCharacter)
{
    // In code page 932, 0x83 0x5C is one character whose second byte is a backslash.
    std::string name = "\x83\x5C.TXT";
    std::string bytes = Package({{"", name, "x"}}, Trailer(0));
    ReadOptions japanese;
    japanese.codePage = 932;
    EXPECT_TRUE(Read(bytes, japanese).Sound()) << Problems(Read(bytes, japanese));
    EXPECT_TRUE(Read(bytes).HasProblem(ProblemKind::Name)) << "in 1252 the backslash is a separator";
}

TEST(PackageReaderTest, FullPathsAreCheckedForTheFolder)
{
    // C:\Acme\ + name: 255 characters fit.
    std::string fits(255 - 8, 'F');
    std::string over = fits + "G";
    std::string sub = "SUB";
    std::string below(255 - 8 - 4, 'H');
    struct Case {
        const char *name;
        std::vector<Entry> entries;
        std::string setup;
        std::string folderOption;
        bool tooLong;
    } cases[] = {
        {"255 fit", {{"", fits, ""}}, "", "", false},
        {"256 do not", {{"", over, ""}}, "", "", true},
        {"below a directory", {{sub, below, ""}}, "", "", false},
        {"one more below a directory", {{sub, below + "I", ""}}, "", "", true},
        {"inherited directory counts", {{sub, "A", ""}, {"", below + "I", ""}}, "", "", true},
        {"a longer folder given", {{"", fits, ""}}, "", "C:\\Acme\\Longer", true},
        {"a folder with a trailing backslash", {{"", fits, ""}}, "", "C:\\Acme\\", false},
        {"setup program", {{"", "S.EXE", ""}}, std::string(248, 'S'), "", true},
    };
    for (const Case &c : cases) {
        ReadOptions options;
        options.folder = c.folderOption;
        PackageContents contents = Read(Package(c.entries, Trailer(0, c.setup)), options);
        EXPECT_EQ(contents.HasProblem(ProblemKind::Length), c.tooLong) << c.name << ":\n" << Problems(contents);
    }
}

TEST(PackageReaderTest, TheSetupProgramMustBeAmongTheEntries)
{
    struct Case {
        const char *setup;
        bool problem;
    } cases[] = {
        {"", false},
        {"SETUP.EXE", false},
        {"setup.exe", false},
        {"data\\one\\a.bin", false},
        {"DATA/ONE/B.BIN", false},
        {"TWO\\C.BIN", false},
        {"MISSING.EXE", true},
        {"DATA\\A.BIN", true},
        {"..\\SETUP.EXE", true},
        {"C:\\SETUP.EXE", true},
        {"DATA\\", true},
    };
    for (const Case &c : cases) {
        PackageContents contents = Read(Package(kEntries, Trailer(0, c.setup)));
        EXPECT_EQ(contents.HasProblem(ProblemKind::Setup), c.problem) << c.setup << ":\n" << Problems(contents);
    }
    // A walk that stopped early cannot tell whether the program is there.
    PackageContents cut = Read(Package(DataArea(kEntries), Trailer(9, "MISSING.EXE")));
    EXPECT_FALSE(cut.HasProblem(ProblemKind::Setup)) << Problems(cut);
}

TEST(PackageReaderTest, DuplicatesAreFound)
{
    // Letters beyond ASCII fold as Windows folds them: \xDC and \xFC are U and u with umlaut.
    for (const auto &[first, second] : {std::pair{"A", "a\\"}, std::pair{"\xDC", "\xFC"}}) {
        PackageContents c = Read(Package({{first, "X.TXT", "1"}, {second, "x.txt", "2"}}, Trailer(0)));
        ASSERT_EQ(c.problems.size(), 1u) << Problems(c);
        EXPECT_EQ(c.problems[0].kind, ProblemKind::Duplicate);
        EXPECT_EQ(c.problems[0].index, 2u);
    }
}

TEST(PackageReaderTest, CompressedEntriesAreChecked)
{
    std::string text = "compressible compressible compressible text";
    std::string szdd = SzddCompress(text, SzddLevel::Default);
    std::string wrongLength = szdd;
    PutU32(wrongLength, 10, uint32_t(text.size() + 5));
    std::string wrongMethod = szdd;
    wrongMethod[8] = 'B';
    struct Case {
        const char *name;
        std::string data;
        bool headerProblem;   // found without expanding
        bool expandProblem;   // found when expanding
        const char *expected;
    } cases[] = {
        {"sound", szdd, false, false, ""},
        {"not SZDD", text, true, true, "not an SZDD file"},
        {"shorter than a header", szdd.substr(0, 13), true, true, "shorter than an SZDD header"},
        {"other method", wrongMethod, true, true, "compression method 66"},
        {"data cut short", szdd.substr(0, szdd.size() - 6), false, true, "compressed data:"},
        {"stated length too large", wrongLength, false, true, "cut short"},
    };
    for (const Case &c : cases) {
        TrailerFields trailer = Trailer(0);
        trailer.compressed = true;
        std::string bytes = Package({{"", "A.TXT", c.data}}, trailer);
        PackageContents quick = Read(bytes);
        EXPECT_EQ(quick.HasProblem(ProblemKind::Content), c.headerProblem) << c.name << ":\n" << Problems(quick);
        ReadOptions expand;
        expand.expandCompressed = true;
        PackageContents full = Read(bytes, expand);
        EXPECT_EQ(full.HasProblem(ProblemKind::Content), c.expandProblem) << c.name << ":\n" << Problems(full);
        if (c.expandProblem)
            EXPECT_TRUE(HasProblem(full, 1, c.expected)) << c.name << ":\n" << Problems(full);
    }
    PackageContents sound = Read(Package({{"", "A.TXT", szdd}}, [] { auto t = Trailer(0); t.compressed = true; return t; }()));
    ASSERT_EQ(sound.entries.size(), 1u);
    EXPECT_EQ(sound.entries[0].expandedSize, text.size());
}

// Only the velmor stub extracts the package behind it: it says so in its version
// resource, which signing leaves alone.
TEST(PackageReaderTest, OnlyTheVelmorStubIsTakenForOne)
{
    const std::filesystem::path shipped = VELMOR_I686_STUB;
    const std::string stub = velmor::test::Read(shipped);
    const std::string launcher = velmor::test::Read(shipped.parent_path() / "install.exe");
    ASSERT_FALSE(stub.empty());
    ASSERT_FALSE(launcher.empty());
    // What signing changes in the program: the checksum and the security directory.
    std::string signedStub = stub;
    MemorySource headers(stub);
    std::optional<PeSigningFields> pe = ReadPeSigningFields(headers);
    ASSERT_TRUE(pe);
    PutU32(signedStub, pe->checksumOffset, 0x1234567);
    PutU32(signedStub, pe->directoryOffset, uint32_t(stub.size() + 4096));
    PutU32(signedStub, pe->directoryOffset + 4, 3000);
    struct Case {
        const char *what;
        std::string image;
        bool stub;
    } cases[] = {
        {"the stub", stub, true},
        {"the stub as signing leaves it", signedStub, true},
        {"the stand-in", StandInStub(), true},
        {"a stand-in for another archive format", StandInStub("QX-V1.11"), false},
        {"the launcher", launcher, false},
        {"a program without a PE header", "MZ" + std::string(1022, '\0'), false},
        {"the stub cut short before its resources", stub.substr(0, stub.size() / 2), false},
    };
    for (const Case &c : cases) {
        std::string thrown;
        try {
            CheckStubImage(c.image, "stub.exe");
        } catch (const PackError &e) {
            thrown = e.what();
        }
        EXPECT_EQ(thrown.empty(), c.stub) << c.what << ": " << thrown;
        TrailerFields trailer = Trailer(0, "A.TXT");
        trailer.dataOffset = uint32_t(c.image.size());
        trailer.entryCount = 1;
        PackageContents read = Read(c.image + Record({"", "A.TXT", "a"}) + EncodeTrailer(trailer));
        EXPECT_EQ(read.HasProblem(ProblemKind::Stub), !c.stub) << c.what << ":\n" << Problems(read);
        EXPECT_EQ(read.entries.size(), 1u) << c.what << ": the entries are read all the same";
    }
    // The stub packed as a file does not make the program before it one.
    TrailerFields trailer = Trailer(1, "VELMOR.EXE");
    trailer.dataOffset = uint32_t(launcher.size());
    PackageContents carried = Read(launcher + Record({"", "VELMOR.EXE", stub}) + EncodeTrailer(trailer));
    EXPECT_TRUE(carried.HasProblem(ProblemKind::Stub)) << Problems(carried);
}

TEST(PackageReaderTest, NoEntriesIsSound)
{
    PackageContents c = Read(Package(std::vector<Entry>{}, Trailer(0)));
    EXPECT_TRUE(c.Sound()) << Problems(c);
    EXPECT_TRUE(c.entries.empty());
}
