// The launcher started as a program, under the Windows versions and system languages
// that Wine can pretend to be. Copies of record-start.exe stand in for the setup
// programs and note how they were started.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>
#include "profile_cases.h"
#include "test_support.h"

namespace {

using velmor::test::BuiltProgram;
using velmor::test::FileExists;
using velmor::test::ReadWholeFile;
using velmor::test::RequiredEnvironment;
using velmor::test::ScratchFolder;
using velmor::test::StartNote;
using velmor::test::WineVersionSetting;
using velmor::test::WaitForStartNote;
using velmor::test::WriteWholeFile;

// Folders below base for every backslash in relative, then the file itself.
void CopyProgram(const char *program, const std::string &base, const std::string &relative)
{
    for (size_t at = relative.find('\\'); at != std::string::npos; at = relative.find('\\', at + 1))
        CreateDirectoryA((base + "\\" + relative.substr(0, at)).c_str(), nullptr);
    std::string target = base + "\\" + relative;
    ASSERT_TRUE(CopyFileA(BuiltProgram(program).c_str(), target.c_str(), FALSE)) << target;
}

// Runs the launcher at path from another working directory, waits for its end and
// returns its exit code.
DWORD RunLauncher(const std::string &path)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, temp,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << path << ": error " << GetLastError();
        return 0xFFFFFFFF;
    }
    DWORD waited = WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << path << " did not end";
    return code;
}

// What the stand-in at programPath noted about its start.
StartNote WaitForStart(const std::string &programPath, DWORD timeoutMs)
{
    return WaitForStartNote(programPath + ".started", timeoutMs);
}

// The launcher does not wait for what it starts: a program that has not noted its
// start this long after the launcher ended was not started.
const DWORD kStartTimeoutMs = 15000;
const DWORD kNoStartGraceMs = 3000;

std::string Directory(const std::string &path)
{
    return path.substr(0, path.rfind('\\'));
}

struct VersionCase {
    const char *name;
    const char *wineVersion;
    std::vector<std::string> entries; // of section [Setup Program]: "key=value"
    const char *expected;             // the stand-in that must start; nullptr for none
};

class LauncherVersionTest : public testing::TestWithParam<VersionCase> {};

// Every value of the config names a stand-in; only the expected one may start.
TEST_P(LauncherVersionTest, StartsProgramForWindowsVersion)
{
    const VersionCase &c = GetParam();
    ScratchFolder folder;
    std::string config = "[Setup Program]\r\n";
    std::vector<std::string> programs;
    for (const std::string &entry : c.entries) {
        config += entry + "\r\n";
        std::string value = entry.substr(entry.find('=') + 1);
        programs.push_back(value[0] == '\\' ? value.substr(1) : value);
        CopyProgram("record-start.exe", folder.path(), programs.back());
    }
    WriteWholeFile(folder / "install.CFG", config);
    CopyProgram("install.exe", folder.path(), "install.exe");

    WineVersionSetting version("install.exe", c.wineVersion);
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);

    if (c.expected) {
        std::string program = folder / c.expected;
        StartNote note = WaitForStart(program, kStartTimeoutMs);
        ASSERT_TRUE(note.started) << program << " was not started";
        EXPECT_EQ(note.commandLine, "\"" + program + "\"");
        EXPECT_EQ(note.directory, Directory(program));
    } else {
        Sleep(kNoStartGraceMs);
    }
    for (const std::string &other : programs) {
        if (!c.expected || other != c.expected)
            EXPECT_FALSE(FileExists(folder / other + ".started")) << other << " was started";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, LauncherVersionTest,
    testing::Values(
        // An empty service pack leaves no trace in the key.
        VersionCase{"Win95", "win95",
                    {"WinNT 4 0 409 Setup-File=NT4\\Setup.exe", "Windows 409 Setup-File=W9X\\Setup.exe",
                     "Windows 4 0 409 Setup-File=W95\\Setup.exe", "Setup-File=Any\\Setup.exe"},
                    "W95\\Setup.exe"},
        // " A " keeps its spaces; the minor version 10 also stands in the build number.
        VersionCase{"Win98", "win98",
                    {"Windows 4 10 409 Setup-File=W98\\Setup.exe", "Windows 4 0 409 Setup-File=W95\\Setup.exe",
                     "Windows 4 10  A  409 Setup-File=W98A\\Setup.exe"},
                    "W98A\\Setup.exe"},
        // Every key that names the language comes first.
        VersionCase{"NT40", "nt40",
                    {"WinNT 4 0 Service Pack 6a Setup-File=NT4SP6A\\Setup.exe",
                     "WinNT 4 0 409 Setup-File=NT4\\Setup.exe", "Windows 4 0 409 Setup-File=W95\\Setup.exe"},
                    "NT4\\Setup.exe"},
        VersionCase{"Win2000", "win2k",
                    {"WinNT 5 409 Setup-File=NT5\\Setup.exe",
                     "WinNT 5 0 Service Pack 4 409 Setup-File=W2KSP4\\Setup.exe"},
                    "W2KSP4\\Setup.exe"},
        VersionCase{"WinXP", "winxp",
                    {"WinNT 5 Setup-File=NT5\\Setup.exe", "WinNT 5 0 Setup-File=W2K\\Setup.exe",
                     "WinNT 5 1 Setup-File=XP\\Setup.exe"},
                    "XP\\Setup.exe"},
        // A leading backslash of a relative value is left out.
        VersionCase{"LeadingBackslash", "winxp", {"WinNT Setup-File=\\NT\\Setup.exe"}, "NT\\Setup.exe"},
        VersionCase{"NothingMatchesWin95", "win95",
                    {"WinNT Setup-File=NT\\Setup.exe", "Windows 4 10 Setup-File=W98\\Setup.exe",
                     "407 Setup-File=DE\\Setup.exe"},
                    nullptr},
        VersionCase{"NothingMatchesWinXP", "winxp",
                    {"Windows Setup-File=W9X\\Setup.exe", "WinNT 5 0 Setup-File=W2K\\Setup.exe",
                     "WinNT 5 1 Service Pack 2 Setup-File=XPSP2\\Setup.exe"},
                    nullptr}),
    [](const testing::TestParamInfo<VersionCase> &info) { return std::string(info.param.name); });

// A value with a drive letter moves onto the launcher's own drive.
TEST(LauncherTest, DriveLetterValueMovesToLauncherDrive)
{
    ScratchFolder folder;
    std::string program = folder / "Drive\\Setup.exe";
    CopyProgram("record-start.exe", folder.path(), "Drive\\Setup.exe");
    std::string value = "Q" + program.substr(1);
    WriteWholeFile(folder / "install.CFG", "[Setup Program]\r\nSetup-File=" + value + "\r\n");
    CopyProgram("install.exe", folder.path(), "install.exe");
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
    StartNote note = WaitForStart(program, kStartTimeoutMs);
    ASSERT_TRUE(note.started) << program;
    EXPECT_EQ(note.commandLine, "\"" + program + "\"");
}

// A UTF-16 config is read as UTF-16 (which-setup is tested on the same config).
TEST(LauncherTest, Utf16ConfigStartsItsProgramOnNt)
{
    const velmor::test::ProfileCase &config = velmor::test::kUtf16LauncherConfig;
    ScratchFolder folder;
    CopyProgram("record-start.exe", folder.path(), "W9X\\Setup.exe");
    CopyProgram("record-start.exe", folder.path(), config.value);
    WriteWholeFile(folder / "install.CFG", velmor::test::ProfileCaseBytes(config));
    CopyProgram("install.exe", folder.path(), "install.exe");
    WineVersionSetting version("install.exe", "winxp");
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
    std::string program = folder / config.value;
    EXPECT_TRUE(WaitForStart(program, kStartTimeoutMs).started) << program;
    EXPECT_FALSE(FileExists(folder / "W9X\\Setup.exe.started"));
}

// A path with spaces starts that program and no other: Windows would try "Disk.exe"
// for an unquoted "Disk 1\Set up.exe". The program sees its path quoted.
TEST(LauncherTest, PathWithSpacesStartsThatProgramAlone)
{
    ScratchFolder folder;
    CopyProgram("record-start.exe", folder.path(), "Disk 1\\Set up.exe");
    CopyProgram("record-start.exe", folder.path(), "Disk.exe");
    WriteWholeFile(folder / "install.CFG", "[Setup Program]\r\nSetup-File=Disk 1\\Set up.exe\r\n");
    CopyProgram("install.exe", folder.path(), "install.exe");
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
    std::string program = folder / "Disk 1\\Set up.exe";
    StartNote note = WaitForStart(program, kStartTimeoutMs);
    ASSERT_TRUE(note.started) << program;
    EXPECT_EQ(note.commandLine, "\"" + program + "\"");
    EXPECT_EQ(note.directory, folder / "Disk 1");
    EXPECT_FALSE(WaitForStart(folder / "Disk.exe", 0).started) << "the program before the space ran";
}

// ..\ is not resolved by the launcher: the command line keeps it.
// A value longer than a path buffer is not started cut short, not even when the
// cut path names a program.
TEST(LauncherTest, AValueTooLongForAPathStartsNothing)
{
    ScratchFolder folder;
    std::string program = folder.path() + "\\";
    program += std::string(255 - 4 - program.size(), 'P') + ".exe";
    ASSERT_EQ(program.size(), 255u);
    ASSERT_TRUE(CopyFileA(BuiltProgram("record-start.exe").c_str(), program.c_str(), FALSE));
    WriteWholeFile(folder / "install.CFG", "[Setup Program]\r\nSetup-File=" + program + "0123456789\r\n");
    CopyProgram("install.exe", folder.path(), "install.exe");
    // Beside the program its note would not fit a path: it goes to the shorter temp folder.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string note = std::string(temp) + program.substr(program.rfind('\\') + 1);
    SetEnvironmentVariableA("VELMOR_NOTE_FOLDER", std::string(temp).substr(0, lstrlenA(temp) - 1).c_str());
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
    bool started = WaitForStart(note, kNoStartGraceMs).started;
    SetEnvironmentVariableA("VELMOR_NOTE_FOLDER", nullptr);
    DeleteFileA((note + ".started").c_str());
    EXPECT_FALSE(started) << "the cut path was started";
}

TEST(LauncherTest, RelativeValueIsNotNormalised)
{
    ScratchFolder folder;
    CreateDirectoryA((folder / "Disk1").c_str(), nullptr);
    CopyProgram("record-start.exe", folder.path(), "Up\\Setup.exe");
    WriteWholeFile(folder / "Disk1\\install.CFG", "[Setup Program]\r\nSetup-File=..\\Up\\Setup.exe\r\n");
    CopyProgram("install.exe", folder.path(), "Disk1\\install.exe");
    EXPECT_EQ(RunLauncher(folder / "Disk1\\install.exe"), 0u);
    StartNote note = WaitForStart(folder / "Up\\Setup.exe", kStartTimeoutMs);
    ASSERT_TRUE(note.started);
    EXPECT_EQ(note.commandLine, "\"" + folder / "Disk1\\..\\Up\\Setup.exe" + "\"");
    EXPECT_EQ(note.directory, folder / "Up");
}

// A copy of the launcher reads the config of its own name, with "CFG" in capitals.
TEST(LauncherTest, RenamedLauncherReadsConfigOfItsName)
{
    ScratchFolder folder;
    CopyProgram("record-start.exe", folder.path(), "Own\\Setup.exe");
    CopyProgram("record-start.exe", folder.path(), "Other\\Setup.exe");
    WriteWholeFile(folder / "Setup.CFG", "[Setup Program]\r\nSetup-File=Own\\Setup.exe\r\n");
    WriteWholeFile(folder / "install.CFG", "[Setup Program]\r\nSetup-File=Other\\Setup.exe\r\n");
    CopyProgram("install.exe", folder.path(), "Setup.exe");
    EXPECT_EQ(RunLauncher(folder / "Setup.exe"), 0u);
    EXPECT_TRUE(WaitForStart(folder / "Own\\Setup.exe", kStartTimeoutMs).started);
    EXPECT_FALSE(FileExists(folder / "Other\\Setup.exe.started"));
}

TEST(LauncherTest, MissingConfigOrProgramEndsQuietly)
{
    ScratchFolder folder;
    CopyProgram("install.exe", folder.path(), "install.exe");
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
    WriteWholeFile(folder / "install.CFG", "[Setup Program]\r\nSetup-File=Missing\\Setup.exe\r\n");
    EXPECT_EQ(RunLauncher(folder / "install.exe"), 0u);
}

// Run once per system language (LC_ALL and friends set by CTest): the program for the
// system default language starts, not the one for the user's language or any other.
TEST(LauncherLanguageTest, StartsProgramForSystemLanguage)
{
    std::string expected = RequiredEnvironment("VELMOR_EXPECTED_LANGUAGE");
    ASSERT_FALSE(expected.empty());
    ScratchFolder folder;
    std::string config = "[Setup Program]\r\n";
    std::vector<std::string> languages = {"409", "407", "C0A", "40C", "411"};
    if (std::find(languages.begin(), languages.end(), expected) == languages.end())
        languages.push_back(expected);
    for (const std::string &language : languages) {
        config += language + " Setup-File=L" + language + "\\Setup.exe\r\n";
        CopyProgram("record-start.exe", folder.path(), "L" + language + "\\Setup.exe");
    }
    config += "Setup-File=Any\\Setup.exe\r\n";
    CopyProgram("record-start.exe", folder.path(), "Any\\Setup.exe");
    WriteWholeFile(folder / "langinst.CFG", config);
    CopyProgram("install.exe", folder.path(), "langinst.exe");

    EXPECT_EQ(RunLauncher(folder / "langinst.exe"), 0u);
    std::string program = folder / ("L" + expected + "\\Setup.exe");
    StartNote note = WaitForStart(program, kStartTimeoutMs);
    ASSERT_TRUE(note.started) << program;
    EXPECT_EQ(note.commandLine, "\"" + program + "\"");
    for (const std::string &language : languages) {
        if (language != expected)
            EXPECT_FALSE(FileExists(folder / ("L" + language + "\\Setup.exe.started"))) << language;
    }
}

// Under a double-byte code page the last backslash is found character by character:
// the second byte of the character 0x95 0x5C looks like a backslash and is none.
TEST(LauncherDoubleByteTest, FindsBackslashesByCharacter)
{
    ASSERT_EQ(GetACP(), 932u) << "run with a Japanese system locale";
    const std::string kTable = "\x95\x5C";
    ScratchFolder folder;
    // The config path ends in the character, after its last real backslash; so does
    // the program path, whose folder becomes the working directory.
    CopyProgram("record-start.exe", folder.path(), "Sub\\" + kTable + ".exe");
    WriteWholeFile(folder / (kTable + ".CFG"), "[Setup Program]\r\nSetup-File=Sub\\" + kTable + ".exe\r\n");
    CopyProgram("install.exe", folder.path(), kTable + ".exe");
    EXPECT_EQ(RunLauncher(folder / (kTable + ".exe")), 0u);
    std::string program = folder / ("Sub\\" + kTable + ".exe");
    StartNote note = WaitForStart(program, kStartTimeoutMs);
    ASSERT_TRUE(note.started) << program;
    EXPECT_EQ(note.commandLine, "\"" + program + "\"");
    EXPECT_EQ(note.directory, folder / "Sub");
}

} // namespace
