// The extraction run on real packages, driven through its hooks without any window.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "directory_tree.h"
#include "extract_run.h"

using namespace velmor;
using namespace velmor::test;

namespace {

using Paths = std::vector<std::string>;
using Started = std::vector<std::pair<DWORD, std::string>>;

TrailerFields Mode(uint8_t mode)
{
    TrailerFields trailer;
    trailer.mode = mode;
    return trailer;
}

// Size of one entry's record without its data.
DWORD RecordSize(const TestEntry &entry)
{
    TestEntry bare = entry;
    bare.data.clear();
    return static_cast<DWORD>(EncodeDataArea({bare}).size());
}

TEST(ExtractAllTest, NoEntriesStillCreatesTheFolder)
{
    PackageRun run(std::vector<TestEntry>{}, Mode(1));
    ASSERT_EQ(run.Run(), 1);
    EXPECT_TRUE(IsDirectory(run.Destination().c_str()));
    EXPECT_EQ(WalkedDirectories(), Paths{run.Destination()});
    EXPECT_TRUE(run.started.empty());
    EXPECT_EQ(run.ArchivePosition(), PackageRun::DataOffset()) << "no record read";
}

// The record of an entry whose directory name is stored as a lone zero byte (length
// 1) rather than with length 0; both mean "no directory name".
std::string WithLoneZeroDirectoryName(const TestEntry &entry)
{
    std::string encoded = EncodeDataArea({entry}); // directory name length 0
    return std::string("\x01\x00\x00", 3) + encoded.substr(2);
}

TEST(ExtractAllTest, EntriesWithoutDirectoryInheritTheLastOneNamed)
{
    std::vector<TestEntry> entries = {
        {"", "TOP1.TXT", "t1"},      {"", "TOP2.TXT", "t2"}, {"ONE\\", "A.TXT", "a"},
        {"", "B.TXT", "b"},          {"TWO\\DEEP", "C.TXT", "c"},
        {"", "D.TXT", "d"}, // stored with a lone zero byte as its directory name
        {"", "E.TXT", "e"},
    };
    std::string area;
    for (const TestEntry &e : entries)
        area += e.fileName == "D.TXT" ? WithLoneZeroDirectoryName(e) : EncodeDataArea({e});
    TrailerFields trailer = Mode(1);
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    struct Case {
        const char *name;
        std::string folderSuffix;
    } folders[] = {{"folder without backslash", ""}, {"folder with backslash", "\\"}};
    for (const Case &f : folders) {
        ScratchFolder outside;
        PackageRun run(area, trailer, outside / "DEST" + f.folderSuffix);
        ASSERT_EQ(run.Run(), 1) << f.name;
        std::string dest = outside / "DEST";
        const char *expected[][2] = {
            {"TOP1.TXT", "t1"},      {"TOP2.TXT", "t2"},      {"ONE\\A.TXT", "a"},
            {"ONE\\B.TXT", "b"},     {"TWO\\DEEP\\C.TXT", "c"}, {"TWO\\DEEP\\D.TXT", "d"},
            {"TWO\\DEEP\\E.TXT", "e"},
        };
        Paths files;
        for (const auto &e : expected) {
            EXPECT_EQ(ReadWholeFile(dest + "\\" + e[0]), e[1]) << f.name << ": " << e[0];
            files.push_back(dest + "\\" + e[0]);
        }
        EXPECT_EQ(WalkedFiles(), files) << f.name << ": one backslash between the parts";
        EXPECT_EQ(WalkedDirectories(),
                  (Paths{dest + "\\TWO\\DEEP", dest + "\\TWO", dest + "\\ONE", dest}))
            << f.name;
        Started started;
        for (size_t i = 0; i < entries.size(); ++i)
            started.emplace_back(static_cast<DWORD>(i + 1), entries[i].fileName);
        EXPECT_EQ(run.started, started) << f.name;
        EXPECT_EQ(run.dispatched, 7);
        EXPECT_EQ(run.cancelQueries, 7);
    }
}

TEST(ExtractAllTest, RestoresTimesAndAttributes)
{
    TestEntry readOnly{"", "RO.TXT", "read only", 0x21, 0x01C0000000000001ULL,
                       0x01C1000000000002ULL, 0x01C2000000000003ULL};
    TestEntry empty{"", "EMPTY.DAT", "", 0x20, 0x01B0000000000000ULL, 0x01B1000000000000ULL,
                    0x01B2000000000000ULL};
    TestEntry none{"", "NONE.DAT", "n", 0, 0x01A0000000000000ULL, 0x01A1000000000000ULL,
                   0x01A2000000000000ULL};
    PackageRun run({readOnly, empty, none}, Mode(0));
    ASSERT_EQ(run.Run(), 1);
    for (const TestEntry &e : {readOnly, empty, none}) {
        std::string path = run.InDestination(e.fileName);
        // Times first: reading the contents moves the last access time. Wine keeps
        // no creation time on a Linux file system, so that one is not compared.
        FileTimes times = TimesOf(path);
        EXPECT_EQ(times.lastWrite, e.lastWriteTime) << e.fileName;
        EXPECT_EQ(times.lastAccess, e.lastAccessTime) << e.fileName;
        EXPECT_EQ(ReadWholeFile(path), e.data) << e.fileName;
        // Wine reports a file without attributes as an archive file.
        DWORD expected = e.attributes ? e.attributes : FILE_ATTRIBUTE_ARCHIVE;
        EXPECT_EQ(AttributesOf(path), expected) << e.fileName;
    }
    // As for a Windows user, the read-only file refuses writing. (Wine run by root
    // would allow it, and hide a wrong order of times and attributes.)
    HANDLE file = CreateFileA(run.InDestination("RO.TXT").c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

TEST(ExtractAllTest, OnlySetupModeRecordsFiles)
{
    for (uint8_t mode : {0, 1}) {
        PackageRun run({{"", "1.TXT", "1"}, {"SUB", "2.TXT", "2"}, {"", "3.TXT", "3"}},
                       Mode(mode));
        ASSERT_EQ(run.Run(), 1);
        Paths expected;
        if (mode == 1)
            expected = {run.InDestination("1.TXT"), run.InDestination("SUB\\2.TXT"),
                        run.InDestination("SUB\\3.TXT")};
        EXPECT_EQ(WalkedFiles(), expected) << "mode " << int(mode);
        EXPECT_EQ(LogNames(run.LogPath(), "Extract Files List").size(), expected.size());
        EXPECT_EQ(WalkedDirectories().size(), 2u) << "directories are recorded in both modes";
    }
}

TEST(ExtractAllTest, CancelIsSeenAfterTheNextRecordIsRead)
{
    std::vector<TestEntry> entries = {
        {"", "1.TXT", "one"}, {"A", "2.TXT", "two"}, {"B", "3.TXT", "three"}};
    const char *targets[] = {"1.TXT", "A\\2.TXT", "B\\3.TXT"};
    for (DWORD k = 1; k <= 2; ++k) {
        PackageRun run(entries, Mode(1));
        // Cancel pressed while entry k is written reaches the run in the dispatch
        // of entry k + 1.
        EXPECT_EQ(run.Run(k + 1), 0) << "k = " << k;
        DWORD position = PackageRun::DataOffset();
        for (DWORD i = 0; i < k; ++i) {
            EXPECT_EQ(ReadWholeFile(run.InDestination(targets[i])), entries[i].data);
            position += static_cast<DWORD>(EncodeDataArea({entries[i]}).size());
        }
        EXPECT_EQ(run.started.size(), k + 1);
        EXPECT_EQ(run.started.back().second, entries[k].fileName);
        EXPECT_EQ(WalkedFiles().size(), k) << "entry k + 1 is not recorded";
        EXPECT_FALSE(FileExists(run.InDestination(entries[k].directoryName)))
            << "nor its directory created";
        EXPECT_EQ(run.ArchivePosition(), position + RecordSize(entries[k]))
            << "just behind entry k + 1's record";
    }
}

TEST(ExtractAllTest, CancelDuringTheLastEntryCompletesTheRun)
{
    PackageRun run({{"", "1.TXT", "one"}, {"", "2.TXT", "two"}}, Mode(0));
    // The press arrives after the last dispatch: nothing asks for it any more.
    EXPECT_EQ(run.Run(3), 1);
    EXPECT_EQ(ReadWholeFile(run.InDestination("2.TXT")), "two");
}

TEST(ExtractAllTest, ARunStartedWithTheFlagSetStopsAtTheFirstEntry)
{
    {
        PackageRun run({{"SUB", "1.TXT", "one"}}, Mode(1));
        g_stub.cancelRequested = 1;
        EXPECT_EQ(run.Run(), 0);
        EXPECT_TRUE(IsDirectory(run.Destination().c_str())) << "the folder comes first";
        EXPECT_FALSE(FileExists(run.InDestination("SUB")));
        EXPECT_EQ(run.started, (Started{{1, "1.TXT"}}));
    }
    {
        PackageRun run(std::vector<TestEntry>{}, Mode(1));
        g_stub.cancelRequested = 1;
        EXPECT_EQ(run.Run(), 1) << "no entry, no question";
    }
}

TEST(ExtractAllTest, AFailureLeavesTheEarlierEntries)
{
    std::vector<TestEntry> entries = {
        {"", "1.TXT", "one"}, {"D", "2.TXT", "two"}, {"", "3.TXT", std::string(5000, 'x')}};
    struct Case {
        const char *name;
        std::string dataArea;
        uint32_t entryCount;
        bool thirdStarted;
        bool thirdCreated;
    } cases[] = {
        // The trailer follows the data, so the data must end more than 1052 bytes early
        // for the read to run out.
        {"data ends early", EncodeDataArea(entries).substr(0, EncodeDataArea(entries).size() - 4000),
         3, true, false},
        {"record ends early", EncodeDataArea({entries[0], entries[1]}) + "\x01", 3, false, false},
        {"more entries counted than stored", EncodeDataArea({entries[0], entries[1]}), 3, false,
         false},
        {"file name length 0",
         EncodeDataArea({entries[0], entries[1]}) + std::string("\0\0\0\0", 4) + std::string(40, 'z'),
         3, false, false},
    };
    for (const Case &c : cases) {
        TrailerFields trailer = Mode(1);
        trailer.entryCount = c.entryCount;
        PackageRun run(c.dataArea, trailer);
        EXPECT_EQ(run.Run(), 0) << c.name;
        EXPECT_EQ(ReadWholeFile(run.InDestination("1.TXT")), "one") << c.name;
        EXPECT_EQ(ReadWholeFile(run.InDestination("D\\2.TXT")), "two") << c.name;
        EXPECT_EQ(run.started.size(), c.thirdStarted ? 3u : 2u) << c.name;
        EXPECT_EQ(FileExists(run.InDestination("D\\3.TXT")), c.thirdCreated) << c.name;
    }
}

// Data cut short by the end of the package fails the entry before its file is
// touched: no half-written file, and an earlier version stays as it was.
TEST(ExtractAllTest, DataCutShortLeavesNoHalfWrittenFile)
{
    std::string area = EncodeDataArea({{"", "1.TXT", "one"}, {"", "BIG.BIN", std::string(100000, 'n')}});
    area.resize(area.size() - 50000);
    for (uint8_t mode : {0, 1}) {
        for (const char *earlier : {"", "earlier version"}) {
            std::string label = "mode " + std::to_string(mode) + ", earlier file: " + earlier;
            TrailerFields trailer = Mode(mode);
            trailer.entryCount = 2;
            PackageRun run(area, trailer);
            std::string target = run.InDestination("BIG.BIN");
            if (*earlier) {
                CreateDirectoryA(run.Destination().c_str(), nullptr);
                WriteWholeFile(target, earlier);
            }
            EXPECT_EQ(run.Run(), 0) << label;
            EXPECT_EQ(ReadWholeFile(run.InDestination("1.TXT")), "one") << label;
            EXPECT_EQ(FileExists(target), *earlier != 0) << label;
            if (*earlier)
                EXPECT_TRUE(ReadWholeFile(target) == earlier) << label;
        }
    }
}

// A target that cannot be replaced: another program holds it open without sharing.
// (A read-only bit would do on Windows; under Wine it does not stop a root user.)
TEST(ExtractAllTest, ATargetThatCannotBeReplacedStopsTheRun)
{
    PackageRun run({{"", "1.TXT", "one"}, {"", "LOCKED.TXT", "new"}, {"", "3.TXT", "three"}},
                   Mode(0));
    CreateDirectoryA(run.Destination().c_str(), nullptr);
    std::string locked = run.InDestination("LOCKED.TXT");
    WriteWholeFile(locked, "old");
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run.Run(), 0);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(run.InDestination("1.TXT")), "one");
    EXPECT_EQ(ReadWholeFile(locked), "old");
    EXPECT_FALSE(FileExists(run.InDestination("3.TXT")));
}

TEST(ExtractAllTest, NamesThatLeaveTheFolderAreRefused)
{
    struct Case {
        const char *directory;
        const char *file;
    } cases[] = {
        {"..", "ESCAPE.TXT"},
        {"..\\OUT", "ESCAPE.TXT"},
        {"SUB\\..\\..\\OUT", "ESCAPE.TXT"},
        {"SUB/../../OUT", "ESCAPE.TXT"},
        {"...", "ESCAPE.TXT"},
        {".. ", "ESCAPE.TXT"},
        {"\\OUT", "ESCAPE.TXT"},
        {"/OUT", "ESCAPE.TXT"},
        {"C:\\OUT", "ESCAPE.TXT"},
        {"C:OUT", "ESCAPE.TXT"},
        {"", "..\\ESCAPE.TXT"},
        {"", "../ESCAPE.TXT"},
        {"", "SUB\\ESCAPE.TXT"},
        {"", "C:ESCAPE.TXT"},
        {"", "ESCAPE.TXT:STREAM"},
        {"", ".."},
        {"", "."},
    };
    for (const Case &c : cases) {
        std::string label = std::string(c.directory) + " | " + c.file;
        ScratchFolder outside;
        std::string inner = outside / "IN";
        CreateDirectoryA(inner.c_str(), nullptr);
        PackageRun run({{"", "FIRST.TXT", "first"}, {c.directory, c.file, "bad"}}, Mode(1),
                       inner + "\\DEST");
        EXPECT_EQ(run.Run(), 0) << label;
        EXPECT_EQ(run.started.size(), 2u) << label;
        EXPECT_EQ(ReadWholeFile(inner + "\\DEST\\FIRST.TXT"), "first") << label;
        EXPECT_EQ(WalkedFiles(), Paths{inner + "\\DEST\\FIRST.TXT"}) << label << ": not recorded";
        EXPECT_EQ(WalkedDirectories(), Paths{inner + "\\DEST"}) << label << ": nothing created";
        EXPECT_FALSE(FileExists(inner + "\\OUT")) << label;
        EXPECT_FALSE(FileExists(inner + "\\ESCAPE.TXT")) << label;
        EXPECT_FALSE(FileExists(outside / "OUT")) << label;
        EXPECT_FALSE(FileExists("C:\\OUT")) << label;
    }
}

TEST(ExtractAllTest, HarmlessDotsAreAccepted)
{
    PackageRun run({{"", ".HIDDEN", "h"}, {"A..B", "X..TXT", "x"}, {"", "...TXT", "t"}},
                   Mode(0));
    ASSERT_EQ(run.Run(), 1);
    EXPECT_EQ(ReadWholeFile(run.InDestination(".HIDDEN")), "h");
    EXPECT_EQ(ReadWholeFile(run.InDestination("A..B\\X..TXT")), "x");
    EXPECT_EQ(ReadWholeFile(run.InDestination("A..B\\...TXT")), "t");
}

TEST(ExtractAllTest, TargetPathsOver255CharactersAreRefused)
{
    ScratchFolder folder;
    std::string dest = folder / "DEST";
    // dest + backslash + name: 255 characters fit, 256 do not.
    std::string fits(254 - dest.size(), 'F');
    std::string tooLong = fits + "G";
    std::string directory = "SUB";
    std::string tooLongBelow(256 - dest.size() - directory.size() - 2, 'H');
    struct Case {
        const char *name;
        std::vector<TestEntry> entries;
        int result;
    } cases[] = {
        {"255 characters", {{"", fits, "ok"}}, 1},
        {"256 characters", {{"", "1.TXT", "1"}, {"", tooLong, "no"}}, 0},
        {"256 with a directory", {{"", "1.TXT", "1"}, {directory, tooLongBelow, "no"}}, 0},
    };
    for (const Case &c : cases) {
        PackageRun run(c.entries, Mode(1), dest);
        EXPECT_EQ(run.Run(), c.result) << c.name;
        if (c.result) {
            EXPECT_EQ(ReadWholeFile(dest + "\\" + fits), "ok");
        } else {
            EXPECT_EQ(WalkedFiles(), Paths{dest + "\\1.TXT"}) << c.name;
            EXPECT_FALSE(FileExists(dest + "\\" + directory)) << c.name << ": nothing created";
        }
        RemoveTree(dest);
    }
}

} // namespace
