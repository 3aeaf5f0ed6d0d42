// The package reader's checks of what the records hold: names as the stub takes
// them, full paths, the setup program, duplicates, compressed data, the stub itself.
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "byte_built_packages.h"
#include "host_support.h"
#include "hostile_packages.h"
#include "pack_error.h"
#include "package_extract.h"
#include "package_writer.h"
#include "pe_image.h"
#include "stub_marker.h"
#include "szdd_encoder.h"

using namespace velmor;
using namespace velmor::test;

// verify reports the name at entry 2 exactly when extract stops there; what both
// accept, extract writes.
void CheckHostileNames(const std::vector<HostileNameCase> &cases, int codePage)
{
    ReadOptions options;
    options.codePage = codePage;
    for (const HostileNameCase &c : cases) {
        std::string bytes = Package(FirstEntry() + SharedRecord(c.directory, c.file, "bad"), Trailer(2));
        PackageContents contents = Read(bytes, options);
        EXPECT_EQ(contents.HasProblem(ProblemKind::Name), c.refused) << c.label << ":\n" << Problems(contents);
        if (c.refused) {
            EXPECT_EQ(contents.problems.size(), 1u) << c.label << ":\n" << Problems(contents);
            EXPECT_TRUE(!contents.problems.empty() && contents.problems[0].index == 2u) << c.label;
        }
        MemorySource source(bytes);
        uint32_t extracted = 0;
        try {
            extracted = ExtractPackage(source, contents, (FreshTestFolder("names") / "dest").string(), codePage).files;
        } catch (const PackError &) {
        }
        EXPECT_EQ(extracted, c.refused ? 0u : 2u) << c.label << ": extract";
    }
}

TEST(PackageReaderTest, HostileNamesAsTheStubTakesThem)
{
    CheckHostileNames(HostileNames(), 1252);
}

TEST(PackageReaderTest, DoubleByteHostileNamesAsTheStubTakesThem)
{
    CheckHostileNames(DoubleByteHostileNames(), 932);
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
    // The shipped stub with UTF-16 texts of its version resource changed, each to one
    // of the same length.
    auto edited = [&stub](std::vector<std::pair<std::string, std::string>> edits) {
        auto wide = [](const std::string &text) {
            std::string w;
            for (char c : text)
                w += std::string(1, c) + '\0';
            return w;
        };
        std::string image = stub;
        for (const auto &[from, to] : edits) {
            size_t at = image.find(wide(from));
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos)
                image.replace(at, from.size() * 2, wide(to));
        }
        return image;
    };
    struct Case {
        const char *what;
        std::string image;
        bool stub;
    } cases[] = {
        {"the stub", stub, true},
        {"a stub made before the marker", edited({{STUB_MARKER_KEY, "ArchiveFormaX"}}), true},
        {"a stub for another archive format", edited({{STUB_MARKER_VALUE, "QX-V1.11"}}), false},
        {"no marker, and another program of the product",
         edited({{STUB_MARKER_KEY, "ArchiveFormaX"}, {"InternalName", "InternalNamX"}}), false},
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


// A time Windows does not set is reported, and extract, as the stub, sets the others.
TEST(PackageReaderTest, ATimeOutOfRangeIsReportedAndTheOthersAreKept)
{
    const char *names[] = {"creation", "last-access", "last-write"};
    for (int bad = 0; bad < 3; ++bad) {
        EntryHeader header;
        header.fileName = "T.TXT";
        header.dataSize = 1;
        uint64_t *times[] = {&header.creationTime, &header.lastAccessTime, &header.lastWriteTime};
        for (uint64_t *time : times)
            *time = 0x01D2000000000000ULL;
        *times[bad] = 0xFFFFFFFF00000000ULL;
        std::string bytes = Package(EncodeEntryRecord(header) + "t", Trailer(1));
        PackageContents contents = Read(bytes);
        ASSERT_EQ(contents.problems.size(), 1u) << names[bad] << ":\n" << Problems(contents);
        EXPECT_EQ(contents.problems[0].kind, ProblemKind::Time) << names[bad];
        EXPECT_NE(contents.problems[0].what.find(names[bad]), std::string::npos) << contents.problems[0].what;
        MemorySource source(bytes);
        EXPECT_EQ(ExtractPackage(source, contents, (FreshTestFolder("times") / "dest").string(), 1252).files, 1u)
            << names[bad];
    }
}
