// velmor-pack which-setup: the launcher's lookup over a config file, as reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include "host_support.h"
#include "profile_cases.h"
#include "which_setup.h"

namespace {

namespace fs = std::filesystem;
using velmor::ProfileFile;
using velmor::test::CommandRun;
using velmor::test::Pack;
using velmor::test::Quote;

velmor::SystemDescription Preset(const char *name)
{
    std::optional<velmor::SystemDescription> system = velmor::PresetSystem(name);
    EXPECT_TRUE(system) << name;
    return system.value_or(velmor::SystemDescription{});
}

const char kConfig[] =
    "[Setup Program]\r\n"
    "Windows 4 10  A  409 Setup-File=W98A\\Setup.exe\r\n"
    "Windows 4 0 409 Setup-File = \"W95 US\\Setup.exe\"\r\n"
    "WinNT 5 1 Setup-File=X:\\XP\\Setup.exe\r\n"
    "407 Setup-File=DE\\Setup.exe\r\n"
    "WinNT Setup-File=NT\\Setup.exe\r\n"
    "Setup-File=..\\Any.exe\r\n";

struct PresetCase {
    const char *windows;
    unsigned short language;
    int answered; // index of the key that answers
    const char *program;
};

class WhichSetupPresetTest : public testing::TestWithParam<PresetCase> {};

TEST_P(WhichSetupPresetTest, ChoosesAsLauncherWould)
{
    const PresetCase &c = GetParam();
    velmor::SystemDescription system = Preset(c.windows);
    system.languageId = c.language;
    velmor::SetupChoice choice =
        velmor::ChooseSetupProgram(ProfileFile::Parse(kConfig), system, "E:\\DISK1\\INSTALL.CFG");
    EXPECT_TRUE(choice.platformKnown);
    EXPECT_EQ(choice.attempts.size(), 10u);
    EXPECT_EQ(choice.answered, c.answered);
    EXPECT_EQ(choice.programPath, c.program);
}

INSTANTIATE_TEST_SUITE_P(
    Presets, WhichSetupPresetTest,
    testing::Values(PresetCase{"98", 0x0409, 0, "E:\\DISK1\\W98A\\Setup.exe"},
                    PresetCase{"95", 0x0409, 0, "E:\\DISK1\\W95 US\\Setup.exe"},
                    PresetCase{"me", 0x0409, 9, "E:\\DISK1\\..\\Any.exe"},
                    PresetCase{"98", 0x0407, 4, "E:\\DISK1\\DE\\Setup.exe"},
                    PresetCase{"xp", 0x0409, 6, "E:\\XP\\Setup.exe"},
                    PresetCase{"xp", 0x0407, 4, "E:\\DISK1\\DE\\Setup.exe"},
                    PresetCase{"2000", 0x0409, 8, "E:\\DISK1\\NT\\Setup.exe"},
                    PresetCase{"10", 0x0C0A, 8, "E:\\DISK1\\NT\\Setup.exe"}));

TEST(WhichSetupTest, PresetsMatchWhatWineReports)
{
    struct Expected {
        const char *windows;
        uint32_t platformId, major, minor, build;
        const char *servicePack;
    };
    const Expected expected[] = {
        {"95", 1, 4, 0, 0x040003B6, ""},
        {"98", 1, 4, 10, 0x040A08AE, " A "},
        {"me", 1, 4, 90, 0x045A0BB8, " "},
        {"nt4", 2, 4, 0, 0x565, "Service Pack 6a"},
        {"2000", 2, 5, 0, 0x893, "Service Pack 4"},
        {"xp", 2, 5, 1, 0xA28, "Service Pack 3"},
        {"vista", 2, 6, 0, 0x1772, "Service Pack 2"},
        {"7", 2, 6, 1, 0x1DB1, "Service Pack 1"},
        {"8", 2, 6, 2, 0x23F0, ""},
        {"10", 2, 6, 2, 0x23F0, ""},
    };
    for (const Expected &e : expected) {
        velmor::SystemDescription system = Preset(e.windows);
        EXPECT_EQ(system.version.dwPlatformId, e.platformId) << e.windows;
        EXPECT_EQ(system.version.dwMajorVersion, e.major) << e.windows;
        EXPECT_EQ(system.version.dwMinorVersion, e.minor) << e.windows;
        EXPECT_EQ(system.version.dwBuildNumber, e.build) << e.windows;
        EXPECT_STREQ(system.version.szCSDVersion, e.servicePack) << e.windows;
    }
    EXPECT_FALSE(velmor::PresetSystem("31"));
}

TEST(WhichSetupTest, LaterKeysWithValuesAreListedButNotTaken)
{
    velmor::SetupChoice choice = velmor::ChooseSetupProgram(ProfileFile::Parse(kConfig), Preset("nt4"),
                                                            "E:\\INSTALL.CFG");
    EXPECT_EQ(choice.answered, 8);
    ASSERT_EQ(choice.attempts.size(), 10u);
    EXPECT_EQ(choice.attempts[8].key, "WinNT Setup-File");
    EXPECT_EQ(choice.attempts[9].value, "..\\Any.exe");
    EXPECT_FALSE(choice.attempts[0].value);
}

TEST(WhichSetupTest, OtherPlatformListsNoKeys)
{
    velmor::SystemDescription system = Preset("xp");
    system.version.dwPlatformId = 3;
    velmor::SetupChoice choice =
        velmor::ChooseSetupProgram(ProfileFile::Parse(kConfig), system, "E:\\INSTALL.CFG");
    EXPECT_FALSE(choice.platformKnown);
    EXPECT_TRUE(choice.attempts.empty());
    EXPECT_EQ(choice.answered, -1);
    EXPECT_EQ(choice.programPath, "");
}

TEST(WhichSetupTest, OverlongPathAnswersButStartsNothing)
{
    std::string config = "[Setup Program]\nSetup-File=" + std::string(250, 'v') + "\n";
    velmor::SetupChoice choice =
        velmor::ChooseSetupProgram(ProfileFile::Parse(config), Preset("xp"), "E:\\DISK1\\INSTALL.CFG");
    EXPECT_EQ(choice.answered, 9);
    EXPECT_EQ(choice.programPath, "");
}

TEST(WhichSetupTest, KeysThatNoSystemReadsAreFound)
{
    struct Case {
        const char *key;
        const char *problem; // "" when some system reads the key
    } cases[] = {
        {"Setup-File", ""},
        {"Windows Setup-File", ""},
        {"winnt 5 setup-file", ""},
        {"WinNT 5 1 Setup-File", ""},
        {"Windows 4 10  A  409 Setup-File", ""},
        {"WinNT 5 1 Service Pack 3 Setup-File", ""},
        {"WinNT 407 Setup-File", ""},
        {"C0A Setup-File", ""},
        {"WinNT 5.1 Setup-File", "written with a dot"},
        {"Win95 Setup-File", "'Win95' is neither a platform"},
        {"Windows 98 Setup-File", "no Windows system reports major version 98"},
        {"WinNT 10 Setup-File", "no WinNT system reports major version 10"},
        {"WinNT 6 3 Setup-File", "no WinNT system reports version 6.3"},
        {"WinNT 05 Setup-File", "'05' is neither a version number nor a language id"},
        {"409 Setup File", "expected a key that ends in \" Setup-File\""},
        {"Setup-Files", "expected a key that ends in"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> problems =
            velmor::CheckLauncherConfig(ProfileFile::Parse(std::string("[Setup Program]\n") + c.key + "=A.EXE\n"));
        if (*c.problem == 0) {
            EXPECT_TRUE(problems.empty()) << c.key << ": " << problems.front();
        } else {
            ASSERT_EQ(problems.size(), 1u) << c.key;
            EXPECT_NE(problems[0].find(c.problem), std::string::npos) << c.key << ": " << problems[0];
            EXPECT_NE(problems[0].find(c.key), std::string::npos) << problems[0];
        }
    }
    EXPECT_EQ(velmor::CheckLauncherConfig(ProfileFile::Parse("[setup program]\nSetup-File=A\nSETUP-FILE=B\n")),
              std::vector<std::string>{"[Setup Program] key \"SETUP-FILE\": given again; the launcher reads only the first"});
    EXPECT_EQ(velmor::CheckLauncherConfig(ProfileFile::Parse(kConfig)), std::vector<std::string>{});
}

TEST(WhichSetupTest, SystemsAreNamedAsTheReportPrintsThem)
{
    for (const char *name : {"xp", "XP", "Windows XP", "windows xp", "WINDOWS XP"})
        EXPECT_EQ(Preset(name).name, "Windows XP") << name;
    for (const char *name : {"nt4", "NT 4.0", "Windows NT 4.0"})
        EXPECT_EQ(Preset(name).name, "Windows NT 4.0") << name;
    EXPECT_FALSE(velmor::PresetSystem("Windows"));
    EXPECT_FALSE(velmor::PresetSystem("XP SP3"));
}

// The command itself: its report and its refusals.
// A folder of the running test's own, so that tests running side by side do not
// share the file. The path in UTF-8, as the report names it.
std::string WriteConfig(const std::string &name, const std::string &text)
{
    std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::path folder = fs::path(testing::TempDir()) / ("which-setup-" + test);
    fs::create_directories(folder);
    fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.u8string();
}

TEST(WhichSetupCommandTest, MarksAnsweringKeyAndPrintsProgram)
{
    std::string path = WriteConfig("INSTALL.CFG", kConfig);
    CommandRun out = Pack("which-setup " + Quote(path) + " --windows 98 --lang 407 --drive F");
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("Config: F:\\INSTALL.CFG"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("    1  \"Windows 4 10  A  407 Setup-File\"\n"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("=>  5  \"407 Setup-File\" = DE\\Setup.exe\n"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("   10  \"Setup-File\" = ..\\Any.exe   (never reached)\n"), std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("Starts: F:\\DE\\Setup.exe\nWorking directory: F:\\DE\n"), std::string::npos)
        << out.output;
}

TEST(WhichSetupCommandTest, FieldOptionsOverridePreset)
{
    std::string path = WriteConfig("INSTALL.CFG", kConfig);
    CommandRun out =
        Pack("which-setup " + Quote(path) + " --windows 95 --minor 10 --csd ' A ' --build 0x040A08AE");
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("=>  1  \"Windows 4 10  A  409 Setup-File\""), std::string::npos) << out.output;
}

TEST(WhichSetupCommandTest, WithoutSystemReportsEveryPreset)
{
    std::string path = WriteConfig("INSTALL.CFG", kConfig);
    CommandRun out = Pack("which-setup " + Quote(path));
    EXPECT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("Windows 98      E:\\W98A\\Setup.exe   (key 1,"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("Windows XP      E:\\XP\\Setup.exe   (key 7,"), std::string::npos) << out.output;
}

TEST(WhichSetupCommandTest, AConfigThatCannotWorkIsWarnedAbout)
{
    std::string path = WriteConfig("INSTALL.CFG", "[Setup Programm]\r\nSetup-File=SETUP.EXE\r\n");
    CommandRun out = Pack("which-setup " + Quote(path) + " --windows 'Windows XP'");
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_NE(out.output.find("Starts: nothing"), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("velmor-pack: warning: " + path + ": expected a section [Setup Program], found "
                            "[Setup Programm]; the launcher starts nothing on any system\n"),
              std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("velmor-pack: " + path + ": 1 warning about the config"), std::string::npos) << out.output;

    std::string fine = WriteConfig("FINE.CFG", kConfig);
    EXPECT_EQ(Pack("which-setup " + Quote(fine) + " --windows XP").status, 0);
}

// A UTF-16 config: the NT family reads it as the launcher does under Wine (the
// Windows-side test starts the same config), the 95 family finds nothing in it.
TEST(WhichSetupCommandTest, Utf16ConfigIsReadByTheNtFamilyOnly)
{
    const velmor::test::ProfileCase &config = velmor::test::kUtf16LauncherConfig;
    std::string path = WriteConfig("INSTALL.CFG", velmor::test::ProfileCaseBytes(config));
    CommandRun nt = Pack("which-setup " + Quote(path) + " --windows xp");
    EXPECT_NE(nt.output.find("Starts: E:\\" + std::string(config.value) + "\n"), std::string::npos) << nt.output;
    CommandRun w98 = Pack("which-setup " + Quote(path) + " --windows 98");
    EXPECT_NE(w98.output.find("Starts: nothing"), std::string::npos) << w98.output;
    EXPECT_NE(w98.output.find("warning: " + path + ": UTF-16 text"), std::string::npos) << w98.output;
    EXPECT_EQ(w98.status, 1);
}

// A UTF-16 config's program path is decoded into the code page --codepage names, and
// looked for on the medium by that name; a code page that cannot hold it gives '?'.
// (Every UTF-16 config is warned about, for the 95 family.)
TEST(WhichSetupCommandTest, Utf16ConfigIsDecodedIntoTheCodePageNamed)
{
    struct {
        const char *codePage;
        std::u16string folder; // of the program, in the config
        const char *onMedium;  // that folder on the medium, UTF-8
        bool found;
    } cases[] = {
        {"1251", u"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430", "\xD0\xA3\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBA\xD0\xB0", true},
        {"932", u"\u30bb\u30c3\u30c8\u30a2\u30c3\u30d7", "\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97", true},
        {"1252", u"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430", "\xD0\xA3\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBA\xD0\xB0", false},
    };
    for (const auto &c : cases) {
        std::u16string text = u"[Setup Program]\r\nWinNT Setup-File=" + c.folder + u"\\Setup.exe\r\n";
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : text)
            bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        std::string path = WriteConfig("INSTALL.CFG", bytes);
        fs::path media = fs::u8path(path).parent_path() / "media";
        fs::remove_all(media);
        fs::create_directories(media / fs::u8path(c.onMedium));
        std::ofstream(media / fs::u8path(c.onMedium) / "Setup.exe") << "MZ";
        CommandRun out =
            Pack("which-setup " + Quote(path) + " --windows xp --codepage " + c.codePage + " --media " + Quote(media));
        EXPECT_EQ(out.status, 1) << "a UTF-16 config is warned about\n" << out.output;
        std::string expected = c.found ? "On the medium: " + (media / fs::u8path(c.onMedium) / "Setup.exe").u8string() + "\n"
                                       : (media / "\?\?\?\?\?\?\?\?\?" / "Setup.exe").u8string() + ": missing";
        EXPECT_NE(out.output.find(expected), std::string::npos) << c.codePage << "\n" << out.output;
    }
}

// Where the launcher would start nothing, or the language is one no Windows has, the
// report warns and the status is 1.
TEST(WhichSetupCommandTest, WarnsWhereTheLauncherStartsNothingOrNoWindowsHasTheLanguage)
{
    std::string overlong = WriteConfig("LONG.CFG", "[Setup Program]\r\nWinNT Setup-File=" + std::string(300, 'v') +
                                                      "\r\nWindows Setup-File=W9X\\Setup.exe\r\n");
    std::string fine = WriteConfig("INSTALL.CFG", kConfig);
    const std::string tooLong = "warning: " + overlong + ": \"WinNT Setup-File\" names a program whose full path "
                                "would be longer than 255 characters; the launcher starts nothing on ";
    struct {
        std::string arguments;
        int status;
        std::string expected; // "" for no warning at all
    } cases[] = {
        {Quote(overlong) + " --windows xp", 1, tooLong + "Windows XP\n"},
        {Quote(overlong), 1, tooLong + "Windows NT 4.0, Windows 2000, Windows XP, Windows Vista, Windows 7, Windows 8, "
                                "Windows 10\n"},
        {Quote(overlong) + " --windows 98", 0, ""},
        {Quote(fine) + " --windows xp --lang 1031", 1,
         "warning: --lang 1031: 0x1031 is no language Windows knows (--lang is hexadecimal); 1031 in decimal is 0x407 "
         "(de-DE): give --lang 407\n"},
        {Quote(fine) + " --lang 7", 1, "warning: --lang 7: 0x7 is no language Windows knows"},
        {Quote(fine) + " --windows xp --lang 0C0A", 0, ""},
        {Quote(fine) + " --windows xp --lang 43C", 0, ""},
    };
    for (const auto &c : cases) {
        CommandRun out = Pack("which-setup " + c.arguments);
        EXPECT_EQ(out.status, c.status) << c.arguments << "\n" << out.output;
        if (c.expected.empty())
            EXPECT_EQ(out.output.find("warning"), std::string::npos) << c.arguments << "\n" << out.output;
        else
            EXPECT_NE(out.output.find(c.expected), std::string::npos) << c.arguments << "\n" << out.output;
    }
}

// --media: the program started is looked for below the folder, as Windows finds it,
// and named below it as the medium spells it, with the system's own separators.
TEST(WhichSetupCommandTest, MediaMustHoldTheProgramStarted)
{
    struct {
        const char *value;   // of Setup-File
        const char *present; // the file below the media folder, if any
        // The report's line: before, the file below the media folder (shown), after.
        const char *before, *shown, *after;
    } cases[] = {
        {"NT\\Setup.exe", "NT/Setup.exe", "On the medium: ", "NT/Setup.exe", "\n"},
        {"NT\\Setup.exe", "nt/SETUP.EXE", "On the medium: ", "nt/SETUP.EXE", "\n"},
        {".\\Other\\..\\NT.\\Setup.exe", "Nt/Setup.exe", "On the medium: ", "Nt/Setup.exe", "\n"},
        {"NT\\Setup.exe", "NT/Other.exe", "velmor-pack: ", "NT/Setup.exe",
         ": missing; the launcher would start E:\\NT\\Setup.exe"},
        {"NT\\Setup.exe", nullptr, "velmor-pack: ", "NT/Setup.exe", ": missing"},
    };
    int index = 0;
    for (const auto &c : cases) {
        fs::path media = fs::path(testing::TempDir()) / ("which-setup-media-" + std::to_string(index++));
        fs::remove_all(media);
        fs::create_directories(media);
        if (c.present) {
            fs::create_directories((media / c.present).parent_path());
            std::ofstream(media / c.present) << "MZ";
        }
        std::string path = WriteConfig("INSTALL.CFG", "[Setup Program]\r\nSetup-File=" + std::string(c.value) + "\r\n");
        CommandRun out = Pack("which-setup " + Quote(path) + " --windows xp --media " + Quote(media));
        std::string expected = c.before + (media / fs::path(c.shown).make_preferred()).u8string() + c.after;
        EXPECT_EQ(out.status, c.present && std::string(c.present) != "NT/Other.exe" ? 0 : 1) << out.output;
        EXPECT_NE(out.output.find(expected), std::string::npos) << c.value << "\n" << out.output;
    }
}

TEST(WhichSetupCommandTest, RefusesBadNumbers)
{
    std::string path = WriteConfig("INSTALL.CFG", kConfig);
    for (const char *options : {"--lang zz", "--lang 10000", "--windows 95 --build 0x123456789",
                                "--windows 95 --major 4x", "--drive EF"}) {
        CommandRun out = Pack("which-setup " + Quote(path) + " " + options);
        EXPECT_EQ(out.status, 2) << options << ": " << out.output;
        EXPECT_EQ(out.output.find("Config:"), std::string::npos) << options << ": " << out.output;
    }
}

} // namespace
