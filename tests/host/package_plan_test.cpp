// Ordering, conversion and the limits checked before a package is written.
#include <gtest/gtest.h>
#include "package_layout.h"
#include "pack_error.h"
#include "package_plan.h"

using namespace velmor;

namespace {

SourceFile File(const std::string &directory, const std::string &name, uint64_t size = 1)
{
    SourceFile f;
    f.directory = directory;
    f.name = name;
    f.path = "/src/" + (directory.empty() ? name : directory + "/" + name);
    f.size = size;
    f.lastWriteTime = 300;
    f.lastAccessTime = 200;
    f.creationTime = 100;
    return f;
}

std::string PlanError(std::vector<SourceFile> files, const PackageSettings &settings = {})
{
    try {
        PlanPackage(std::move(files), settings);
    } catch (const PackError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(PackagePlanTest, FolderFilesFirstThenOneGroupPerDirectoryNamedOnce)
{
    PackagePlan plan = PlanPackage({File("b", "2"), File("a/c", "x"), File("", "z"), File("b", "1"),
                                    File("", "m"), File("a", "y")},
                                   {});
    std::vector<std::pair<std::string, std::string>> got;
    for (const PlannedEntry &e : plan.entries)
        got.emplace_back(e.header.directoryName, e.header.fileName);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"", "m"}, {"", "z"}, {"a", "y"}, {"a\\c", "x"}, {"b", "1"}, {"", "2"}};
    EXPECT_EQ(got, expected);
}

TEST(PackagePlanTest, StoresReadOnlyHiddenAndSystemAsWindowsAttributes)
{
    const struct {
        bool readOnly, hidden, system;
        uint32_t stored;
    } cases[] = {
        {false, false, false, kAttributeArchive},
        {true, false, false, kAttributeReadOnly},
        {false, true, true, kAttributeArchive | kAttributeHidden | kAttributeSystem},
        {true, true, true, kAttributeReadOnly | kAttributeHidden | kAttributeSystem},
    };
    for (const auto &c : cases) {
        SourceFile file = File("", "f");
        file.readOnly = c.readOnly;
        file.hidden = c.hidden;
        file.system = c.system;
        EXPECT_EQ(PlanPackage({file}, {}).entries[0].header.attributes, c.stored)
            << c.readOnly << c.hidden << c.system;
    }
}

TEST(PackagePlanTest, StoresTimesAndReadOnlyFromTheOwnersWriteBit)
{
    SourceFile readOnly = File("", "r");
    readOnly.readOnly = true;
    PackagePlan plan = PlanPackage({File("", "w"), readOnly}, {});
    EXPECT_EQ(plan.entries[0].header.attributes, static_cast<uint32_t>(kAttributeReadOnly));
    EXPECT_EQ(plan.entries[1].header.attributes, static_cast<uint32_t>(kAttributeArchive));

    // File() has creation 100, last access 200, last write 300.
    struct Case {
        const char *what;
        bool allTimes;
        std::optional<uint64_t> latest;
        uint64_t creation, access, write;
    } cases[] = {
        {"last write for all three", false, std::nullopt, 300, 300, 300},
        {"all times as found", true, std::nullopt, 100, 200, 300},
        {"clamped", false, 250, 250, 250, 250},
        {"all times, clamped", true, 150, 100, 150, 150},
        {"clamp after every time", true, 1000, 100, 200, 300},
    };
    for (const Case &c : cases) {
        PackageSettings settings;
        settings.allTimes = c.allTimes;
        settings.latestTime = c.latest;
        const EntryHeader &h = PlanPackage({File("", "w")}, settings).entries[0].header;
        EXPECT_EQ(h.creationTime, c.creation) << c.what;
        EXPECT_EQ(h.lastAccessTime, c.access) << c.what;
        EXPECT_EQ(h.lastWriteTime, c.write) << c.what;
    }
}

TEST(PackagePlanTest, NamesClashAsWindowsComparesThem)
{
    struct Case {
        const char *what;
        std::vector<SourceFile> files;
        int codePage;
        bool clash;
    } cases[] = {
        {"umlaut", {File("", "\xc3\x9c" "bersicht.txt"), File("", "\xc3\xbc" "bersicht.txt")}, 1252, true},
        {"folder with an umlaut", {File("\xc3\x84rger", "a"), File("\xc3\xa4rger", "a")}, 1252, true},
        {"Greek", {File("", "\xce\xa3\xce\x9f\xce\xa6"), File("", "\xcf\x83\xce\xbf\xcf\x86")}, 1253, true},
        {"Cyrillic", {File("", "\xd0\xa4\xd0\xb0\xd0\xb9\xd0\xbb"), File("", "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb")}, 1251, true},
        {"full-width letters", {File("", "\xef\xbc\xa1"), File("", "\xef\xbd\x81")}, 932, true},
        {"sharp s has no simple folding", {File("", "stra\xc3\x9f" "e"), File("", "STRASSE")}, 1252, false},
        {"different letters", {File("", "\xc3\x9c"), File("", "\xc3\xb6")}, 1252, false},
    };
    for (const Case &c : cases) {
        PackageSettings settings;
        settings.codePage = c.codePage;
        std::string error = PlanError(c.files, settings);
        EXPECT_EQ(error.find("names differ only in letter case") != std::string::npos, c.clash)
            << c.what << ": " << error;
    }
    // Folders that differ only in case are one on Windows: allowed, with a warning.
    PackagePlan merged = PlanPackage({File("\xc3\x84rger", "a"), File("\xc3\xa4rger", "b")}, {});
    ASSERT_EQ(merged.warnings.size(), 1u);
    EXPECT_NE(merged.warnings[0].find("one folder"), std::string::npos) << merged.warnings[0];
}

TEST(PackagePlanTest, EveryRefusedFileHasALineOfItsOwn)
{
    PackageSettings settings;
    settings.folder = "Program Files";
    try {
        PlanPackage({File("", "a:b"), File("", "ok"), File("sub", "nul"), File("", "bad\xff"),
                     File("", "OK")},
                    settings);
        FAIL() << "accepted";
    } catch (const PackErrors &e) {
        std::vector<std::string> expected = {"--folder", "a:b", "bad\xff", "OK", "sub/nul"};
        ASSERT_EQ(e.lines().size(), expected.size()) << e.what();
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_NE(e.lines()[i].find(expected[i]), std::string::npos) << e.lines()[i];
    }
}

TEST(PackagePlanTest, NamesAreStoredInTheChosenCodePage)
{
    PackageSettings cp932;
    cp932.codePage = 932;
    EXPECT_EQ(PlanPackage({File("", "caf\xc3\xa9")}, {}).entries[0].header.fileName, "caf\xe9");
    EXPECT_EQ(PlanPackage({File("\xe6\x97\xa5", "a")}, cp932).entries[0].header.directoryName, "\x93\xfa");
    EXPECT_NE(PlanError({File("", "\xe6\x97\xa5.txt")}), "") << "not in code page 1252";
    EXPECT_NE(PlanError({File("", "bad\xff")}), "") << "not UTF-8";
    PackageSettings unknown;
    unknown.codePage = 1234;
    EXPECT_NE(PlanError({File("", "a")}, unknown).find("1252"), std::string::npos)
        << "the message lists the code pages there are";
}

TEST(PackagePlanTest, RefusedInputNamesTheFileAndTheReason)
{
    struct Case {
        const char *what;
        std::vector<SourceFile> files;
        const char *expected;
    } cases[] = {
        {"name over 255 bytes", {File("", std::string(256, 'n'))}, "at most 255"},
        {"file of 4 GiB", {File("d", "big", 0x100000000ULL)}, "d/big: the file is 4 GiB"},
        {"colon", {File("", "a:b")}, "a:b: the name holds a character"},
        {"backslash", {File("", "a\\b")}, "the name holds a character"},
        {"folder with a colon", {File("x:y", "a")}, "x:y/a"},
        {"trailing dot", {File("", "name.")}, "trailing dot"},
        {"device name", {File("", "nul.txt")}, "reserved for a device"},
        {"letter case", {File("", "Read.me"), File("", "READ.ME")}, "letter case"},
        {"letter case of a folder", {File("Sub", "a"), File("SUB", "a")},
         "Sub/a: Windows does not tell it apart from SUB/a"},
        {"folder named like a file", {File("", "data"), File("DATA", "x")}, "DATA/x"},
    };
    for (const Case &c : cases) {
        std::string error = PlanError(c.files);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
    }
}

TEST(PackagePlanTest, DestinationPathsUpTo255CharactersFit)
{
    PackageSettings settings;
    settings.folder = "C:\\" + std::string(100, 'f');          // 103 characters
    std::string dir(100, 'd');
    // folder + '\' + dir + '\' + name = 103 + 1 + 100 + 1 + 50 = 255
    EXPECT_EQ(PlanError({File(dir, std::string(50, 'n'))}, settings), "");
    EXPECT_NE(PlanError({File(dir, std::string(51, 'n'))}, settings).find("256 characters"),
              std::string::npos);
    // Without a folder the check assumes the stub's fallback folder.
    EXPECT_EQ(PlanError({File("", std::string(245, 'n'))}), "");
    EXPECT_NE(PlanError({File("", std::string(246, 'n'))}), "");
}

TEST(PackagePlanTest, TrailerTextsAreCheckedAndConverted)
{
    PackageSettings s;
    s.mode = kModeSetup;
    s.folder = "C:/Program Files/Acme";
    s.setupProgram = "bin/setup.exe";
    s.description = "Acme\nDriver";
    PackagePlan plan = PlanPackage({File("bin", "setup.exe")}, s);
    EXPECT_EQ(plan.trailer.defaultFolder, "C:\\Program Files\\Acme");
    EXPECT_EQ(plan.trailer.setupProgram, "bin\\setup.exe");
    EXPECT_EQ(plan.trailer.description, "Acme\r\nDriver");
    EXPECT_TRUE(plan.warnings.empty());

    struct Case {
        const char *what;
        PackageSettings settings;
        const char *expected;
    } cases[] = {
        {"folder without drive", {0, false, "", "Program Files", "", 1252}, "drive letter"},
        {"folder over 255", {0, false, "", "C:\\" + std::string(253, 'f'), "", 1252}, "at most 255"},
        {"absolute program", {0, false, "C:\\setup.exe", "", "", 1252}, "relative"},
        {"program leaving the folder", {0, false, "..\\setup.exe", "", "", 1252}, "'..'"},
        {"two dots and a space", {0, false, ".. \\x.exe", "", "", 1252}, "would leave the destination folder"},
        {"three dots", {0, false, "...\\x.exe", "", "", 1252}, "would leave the destination folder"},
        {"dots after a folder", {0, false, "a\\ ..\\x.exe", "", "", 1252}, "would leave the destination folder"},
        {"a device", {0, false, "bin\\con.exe", "", "", 1252}, "reserved for a device"},
        {"program path over 255", {0, false, std::string(250, 'p'), "C:\\Dest", "", 1252}, "at most 255"},
        {"description over 511", {0, false, "", "", std::string(300, '\n'), 1252}, "at most 511"},
    };
    for (const Case &c : cases) {
        std::string error = PlanError({File("", "a")}, c.settings);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
    }
}

TEST(PackagePlanTest, TheSetupProgramMustBePacked)
{
    PackageSettings s;
    s.setupProgram = "SETUP.EXE";
    EXPECT_TRUE(PlanPackage({File("", "setup.exe")}, s).warnings.empty()) << "letter case aside";
    EXPECT_NE(PlanError({File("", "other.exe")}, s).find("--run SETUP.EXE: the setup program is not among"),
              std::string::npos);
    // Without one, setup mode deletes what it extracted at once.
    PackageSettings setup;
    setup.mode = kModeSetup;
    setup.folder = "C:\\Acme";
    std::vector<std::string> warnings = PlanPackage({File("", "a")}, setup).warnings;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("setup mode without --run: the files are extracted and at once deleted again"),
              std::string::npos) << warnings[0];
}
