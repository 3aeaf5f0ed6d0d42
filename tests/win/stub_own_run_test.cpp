// The shipped stub as a program of its own: a run touches only what it made, a repeat
// run replaces what the last one left, and the names and times of a package land as
// stored.
#include <gtest/gtest.h>
#include "extraction_fixture.h"
#include "hostile_packages.h"
#include "running_package.h"
#include "szdd_encoder.h"

using namespace velmor;
using namespace velmor::test;

namespace {

// Confirms the main dialog; true when the run completed and the program ended, false
// when the run stopped and the main dialog stayed, which is then cancelled.
bool ExtractAndEnd(const RunningPackage &package)
{
    HWND dialog = package.MainDialog();
    if (!dialog)
        return false;
    RunProgressDialog(package, dialog);
    if (package.WaitForExit(1000))
        return true;
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(package.WaitForExit());
    return false;
}

// An install log of the package's name is already there: left by a run of another
// package of that name that never reached its end, listing a file and a folder of
// its own, or a file of another program. A setup-mode run, and a cancel, leave both
// the listed items and the other program's file as they were.
TEST(StubOwnRunTest, WhatAnotherRunLoggedIsLeftAlone)
{
    ScratchFolder folder;
    const std::string victimFolder = folder / "victim", victim = victimFolder + "\\keep.txt";
    CreateDirectoryA(victimFolder.c_str(), nullptr);
    const std::string stale = "[Directory List]\r\nPath 1=" + victimFolder +
                              "\r\nCount=1\r\n[Extract Files List]\r\nFile 1=" + victim + "\r\nFile 5=" + victim +
                              "\r\n";
    const std::string foreign = "[Settings]\r\nkey=value\r\n";
    struct Case {
        const char *name;
        std::string log;
        bool setup;              // a setup-mode run to its end; otherwise Cancel at once
        bool logStays;
    } cases[] = {
        {"a stale log, setup run", stale, true, false},
        {"a stale log, cancel", stale, false, true},
        {"another program's file, setup run", foreign, true, true},
        {"another program's file, cancel", foreign, false, true},
    };
    for (const Case &c : cases) {
        WriteWholeFile(victim, "mine");
        NoteFolder notes(folder.path());
        PackageOptions options;
        options.mode = 1;
        options.folder = folder / "dest";
        RunningPackage package(folder / PackageName("OWN"), SamplePackage(options));
        WriteWholeFile(package.InstallLog(), c.log);
        HWND dialog = package.MainDialog();
        ASSERT_TRUE(dialog) << c.name;
        Click(dialog, c.setup ? IDOK : IDCANCEL);
        ASSERT_TRUE(package.WaitForExit()) << c.name;
        EXPECT_EQ(FileExists(notes.note), c.setup) << c.name << ": the setup program ran";
        EXPECT_FALSE(FileExists(folder / "dest")) << c.name << ": what the run made is gone";
        EXPECT_EQ(ReadWholeFile(victim), "mine") << c.name;
        if (c.logStays)
            EXPECT_EQ(ReadWholeFile(package.InstallLog()), c.log) << c.name;
        else
            EXPECT_FALSE(FileExists(package.InstallLog())) << c.name;
        DeleteFileA(package.InstallLog().c_str());
        DeleteFileA(notes.note.c_str());
    }
}

// A package of the shipped stub in extract mode, without a setup program, that
// proposes folder.
std::string ExtractModePackage(const std::string &folder, const std::vector<TestEntry> &entries,
                               bool compressed = false)
{
    TrailerFields trailer;
    trailer.compressed = compressed;
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    trailer.defaultFolder = folder;
    return BuildPackage(StubImage(), EncodeDataArea(entries), trailer);
}

// The same package extracted again over the read-only, hidden and system files its
// first run left, as a second version would be.
TEST(StubOwnRunTest, ASecondRunReplacesFilesTheFirstLeftReadOnlyHiddenOrSystem)
{
    for (bool compressed : {false, true}) {
        ScratchFolder folder;
        // Read-only, hidden, system; the second version passes them round. (Wine run by
        // an ordinary user cannot keep hidden or system on a read-only file.)
        auto entries = [compressed](const std::string &version, std::vector<uint32_t> attributes) {
            std::vector<TestEntry> list = {{"", "A.TXT", version, attributes[0]},
                                           {"", "B.TXT", version, attributes[1]},
                                           {"SUB", "C.TXT", version, attributes[2]},
                                           {"SUB", "LAST.TXT", version, 0x20}};
            for (TestEntry &e : list)
                e.data = compressed ? SzddCompress(e.data, SzddLevel::Default) : e.data;
            return list;
        };
        const std::pair<std::string, std::vector<uint32_t>> versions[] = {{"first", {0x21, 0x22, 0x24}},
                                                                           {"second", {0x24, 0x21, 0x22}}};
        for (const auto &[version, attributes] : versions) {
            std::string label = version + (compressed ? ", compressed" : "");
            RunningPackage package(folder / PackageName("TWICE"),
                                   ExtractModePackage(folder / "dest", entries(version, attributes), compressed));
            EXPECT_TRUE(ExtractAndEnd(package)) << label;
            for (const TestEntry &e : entries(version, attributes)) {
                std::string path = folder / ("dest\\" + e.directoryName + (e.directoryName.empty() ? "" : "\\") +
                                             e.fileName);
                EXPECT_EQ(ReadWholeFile(path), version) << label << ": " << path;
                EXPECT_EQ(AttributesOf(path), e.attributes) << label << ": " << path;
            }
        }
    }
}

// SetFileTime refuses a time of 2^63 ticks or more; the entry's other times are set
// all the same.
TEST(StubOwnRunTest, EachValidTimeIsSetWhenAnotherIsOutOfRange)
{
    const uint64_t outOfRange = 0xFFFFFFFF00000000ULL;
    for (int bad = 0; bad < 3; ++bad) {
        ScratchFolder folder;
        TestEntry entry{"", "TIMES.TXT", "times"};
        uint64_t *times[] = {&entry.creationTime, &entry.lastAccessTime, &entry.lastWriteTime};
        *times[bad] = outOfRange;
        RunningPackage package(folder / PackageName("TIME"), ExtractModePackage(folder / "dest", {entry}));
        EXPECT_TRUE(ExtractAndEnd(package)) << bad;
        // Wine keeps no creation time on a Linux file system: the other two are checked.
        FileTimes set = TimesOf(folder / "dest\\TIMES.TXT");
        if (bad != 1)
            EXPECT_EQ(set.lastAccess, entry.lastAccessTime) << "with time " << bad << " out of range";
        if (bad != 2)
            EXPECT_EQ(set.lastWrite, entry.lastWriteTime) << "with time " << bad << " out of range";
    }
}

// A few rows of the name table that both the stub and the packer's reader take
// (hostile_packages.h), run on the shipped program.
TEST(StubOwnRunTest, NamesAsThePackerTakesThem)
{
    const char *labels[] = {"control character 9", "a file name with *", "a slash between new levels",
                            "a level ending in a space", "1252's undefined byte 129"};
    for (const char *label : labels) {
        HostileNameCase c;
        for (const HostileNameCase &row : HostileNames())
            if (row.label == label)
                c = row;
        ASSERT_EQ(c.label, label);
        ScratchFolder folder;
        RunningPackage package(folder / PackageName("NAME"),
                               ExtractModePackage(folder / "dest", {{"", "FIRST.TXT", "first"},
                                                                    {c.directory, c.file, "named"}}));
        EXPECT_EQ(ExtractAndEnd(package), !c.refused) << label;
        std::string directory = c.directory.empty() ? "" : c.directory + "\\";
        EXPECT_EQ(FileExists(folder / ("dest\\" + directory + c.file)), !c.refused) << label;
    }
}

} // namespace
