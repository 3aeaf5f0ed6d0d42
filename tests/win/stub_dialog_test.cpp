// The stub from start to end through its real windows: this test program drives the
// dialogs of a package running as its own process, as a user would, and a copy of
// record-start.exe stands in for the setup program.
#include <gtest/gtest.h>
#include "running_package.h"

using namespace velmor;
using namespace velmor::test;

namespace {

TEST(StubDialogTest, ExtractModeExtractsIntoTheChosenFolderAndStartsTheProgram)
{
    ScratchFolder folder;
    NoteFolder notes(folder.path());
    RunningPackage package(folder / PackageName("EXT"), SamplePackage({}));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(ControlText(dialog, 1000), "Test package\r\nSecond line");
    EXPECT_EQ(ControlText(dialog, 1002), folder.path() + "\\") << "the stub's own folder";
    EXPECT_EQ(ControlText(dialog, IDOK), "Extract");
    for (int id : {1001, 1002, 1003})
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, id))) << id;

    // A folder with a space: Windows would try "chosen.exe" for an unquoted path.
    std::string target = folder / "chosen place\\acme";
    CopyFileA(BuiltProgram("record-start.exe").c_str(), (folder / "chosen.exe").c_str(), FALSE);
    SendMessageA(GetDlgItem(dialog, 1002), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    Click(dialog, IDOK);
    ASSERT_TRUE(package.WaitForExit());
    EXPECT_EQ(package.ExitCode(), 0u);

    EXPECT_EQ(ReadWholeFile(target + "\\README.TXT"), "read me\r\n");
    EXPECT_EQ(ReadWholeFile(target + "\\SETUP\\DATA.BIN"), std::string(100000, 'd'))
        << "an entry without a directory name stays in the previous entry's directory";
    EXPECT_EQ(ReadWholeFile(target + "\\SETUP\\DEEP\\ER\\LAST.TXT"), "last");
    EXPECT_EQ(GetFileAttributesA((target + "\\README.TXT").c_str()), 0x21u);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA((target + "\\README.TXT").c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ(FileTimeValue(info.ftLastWriteTime), kWriteTime);

    StartNote note = WaitForStartNote(notes.note, 15000);
    ASSERT_TRUE(note.started) << "the setup program was started";
    EXPECT_EQ(note.commandLine, "\"" + target + "\\SETUP\\RUN.EXE\"");
    EXPECT_EQ(note.directory, target + "\\SETUP");
    EXPECT_FALSE(FileExists(package.InstallLog()));
    EXPECT_FALSE(FileExists(folder / "chosen place\\acme\\RUN.EXE.started"));
    EXPECT_FALSE(FileExists(folder / "chosen.exe.started")) << "the program before the space ran";
}

TEST(StubDialogTest, SetupModeHidesTheFolderRowAwaitsTheProgramAndRemovesEverything)
{
    ScratchFolder folder;
    LONG fullHeight = 0;
    {
        RunningPackage extract(folder / PackageName("FULL"), SamplePackage({}));
        HWND dialog = extract.MainDialog();
        ASSERT_TRUE(dialog);
        fullHeight = Height(dialog);
        Click(dialog, IDCANCEL);
        ASSERT_TRUE(extract.WaitForExit());
    }
    NoteFolder notes(folder.path(), "1500");
    PackageOptions options;
    options.mode = 1;
    options.folder = folder / "dest";
    RunningPackage package(folder / PackageName("SET"), SamplePackage(options));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(ControlText(dialog, IDOK), "Setup");
    for (int id : {1001, 1002, 1003})
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, id))) << id;
    EXPECT_EQ(Height(dialog), fullHeight - Height(GetDlgItem(dialog, 1002)));

    Click(dialog, IDOK);
    ASSERT_TRUE(package.WaitForExit());
    ASSERT_TRUE(FileExists(notes.note)) << "the stub waited for the setup program's end";
    StartNote note = WaitForStartNote(notes.note, 0);
    EXPECT_EQ(note.commandLine, "\"" + folder / "dest\\SETUP\\RUN.EXE" + "\"");
    EXPECT_EQ(note.directory, folder / "dest\\SETUP");
    EXPECT_FALSE(FileExists(folder / "dest")) << "every file and created folder removed";
    EXPECT_FALSE(FileExists(package.InstallLog()));
}

TEST(StubDialogTest, CancelInTheMainDialogExtractsNothing)
{
    ScratchFolder folder;
    PackageOptions options;
    options.folder = folder / "never";
    RunningPackage package(folder / PackageName("CAN"), SamplePackage(options));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(package.WaitForExit());
    EXPECT_FALSE(FileExists(folder / "never"));
}

TEST(StubDialogTest, ACancelledFolderPickerLeavesTheFolderAlone)
{
    ScratchFolder folder;
    PackageOptions options;
    options.folder = folder / "kept";
    RunningPackage package(folder / PackageName("PICK"), SamplePackage(options));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    Click(dialog, 1003);
    // The first folder picker in a fresh prefix loads the shell, which takes a while.
    HWND picker = nullptr;
    for (DWORD waited = 0; !picker && waited < kRunTimeoutMs && !package.WaitForExit(0); waited += 20) {
        HWND candidate = GetForegroundWindow();
        HWND owner = candidate ? GetWindow(candidate, GW_OWNER) : nullptr;
        if (owner == dialog && IsWindowVisible(candidate))
            picker = candidate;
        else
            Sleep(20);
    }
    ASSERT_TRUE(picker) << "the folder picker opens, owned by the main dialog";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "and is modal";
    PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (DWORD waited = 0; IsWindow(picker) && waited < kShownTimeoutMs; waited += 20)
        Sleep(20);
    EXPECT_EQ(ControlText(dialog, 1002), folder / "kept");
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(package.WaitForExit());
    EXPECT_FALSE(FileExists(folder / "kept"));
}

TEST(StubDialogTest, AnInvalidModeEndsAtOnce)
{
    ScratchFolder folder;
    PackageOptions options;
    options.mode = 2;
    options.folder = folder / "never";
    RunningPackage package(folder / PackageName("BAD"), SamplePackage(options));
    ASSERT_TRUE(package.WaitForExit());
    EXPECT_EQ(package.ExitCode(), 0u);
    EXPECT_FALSE(FileExists(folder / "never"));
}

TEST(StubDialogTest, AFailedRunKeepsTheDialogOpenAndTheEarlierEntries)
{
    ScratchFolder folder;
    std::vector<TestEntry> entries = SampleEntries();
    TrailerFields trailer;
    // The data area ends before the last entry the trailer counts.
    trailer.entryCount = static_cast<uint32_t>(entries.size() + 1);
    trailer.defaultFolder = folder / "dest";
    RunningPackage package(folder / PackageName("CUT"),
                           BuildPackage(StubImage(), EncodeDataArea(entries), trailer));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    RunProgressDialog(package, dialog);
    EXPECT_FALSE(package.WaitForExit(1000)) << "the main dialog stays open";
    EXPECT_TRUE(IsWindowEnabled(dialog)) << "and takes input again";
    EXPECT_EQ(ReadWholeFile(folder / "dest\\README.TXT"), "read me\r\n");
    EXPECT_EQ(ReadWholeFile(folder / "dest\\SETUP\\DEEP\\ER\\LAST.TXT"), "last");

    // Another attempt starts again from the first entry, and fails at the same place.
    std::string readme = folder / "dest\\README.TXT";
    SetFileAttributesA(readme.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileA(readme.c_str()));
    RunProgressDialog(package, dialog);
    EXPECT_FALSE(package.WaitForExit(1000));
    EXPECT_EQ(ReadWholeFile(readme), "read me\r\n");
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(package.WaitForExit());
    EXPECT_FALSE(FileExists(package.InstallLog()));
}

TEST(StubDialogTest, CancelInTheProgressDialogStopsBeforeTheFirstEntryAndExtractRunsAgain)
{
    ScratchFolder folder;
    NoteFolder notes(folder.path());
    PackageOptions options;
    options.folder = folder / "dest";
    RunningPackage package(folder / PackageName("STOP"), SamplePackage(options));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    Click(dialog, IDOK);
    // The run starts 500 ms after the progress dialog opens; Cancel comes first.
    HWND progress = package.WaitForDialog("Extracting - ");
    ASSERT_TRUE(progress);
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "no second job while one runs";
    Click(progress, IDCANCEL);
    for (DWORD waited = 0; IsWindow(progress) && waited < kRunTimeoutMs; waited += 50)
        Sleep(50);
    EXPECT_FALSE(package.WaitForExit(1000)) << "the main dialog stays open";
    EXPECT_TRUE(FileExists(folder / "dest")) << "the destination folder is made first";
    EXPECT_FALSE(FileExists(folder / "dest\\README.TXT"));

    // The cancel belonged to that run: pressed again, Extract extracts everything.
    RunProgressDialog(package, dialog);
    EXPECT_TRUE(package.WaitForExit(kShownTimeoutMs)) << "the run completed";
    EXPECT_EQ(ReadWholeFile(folder / "dest\\SETUP\\DEEP\\ER\\LAST.TXT"), "last");
    EXPECT_TRUE(WaitForStartNote(notes.note, kShownTimeoutMs).started);
}

// A setup program named outside the destination folder is not started.
TEST(StubDialogTest, ASetupProgramOutsideTheDestinationIsNotStarted)
{
    for (const char *setupProgram : {"..\\RUN.EXE", "SETUP\\..\\..\\RUN.EXE"}) {
        ScratchFolder folder;
        NoteFolder notes(folder.path());
        ASSERT_TRUE(CopyFileA(BuiltProgram("record-start.exe").c_str(), (folder / "RUN.EXE").c_str(), FALSE));
        PackageOptions options;
        options.folder = folder / "dest";
        options.setupProgram = setupProgram;
        RunningPackage package(folder / PackageName("OUT"), SamplePackage(options));
        HWND dialog = package.MainDialog();
        ASSERT_TRUE(dialog);
        Click(dialog, IDOK);
        ASSERT_TRUE(package.WaitForExit());
        EXPECT_TRUE(FileExists(folder / "dest\\SETUP\\RUN.EXE")) << "the files are extracted";
        EXPECT_FALSE(WaitForStartNote(notes.note, 2000).started) << setupProgram;
    }
}

// Commands that other programs send while a job is under way: a confirm to the
// disabled main dialog, during the run and during the wait for the setup program,
// starts no second job; an IDOK to the progress dialog before its run has ended is
// not taken for a completed run.
TEST(StubDialogTest, CommandsSentDuringAJobStartNoOtherJob)
{
    ScratchFolder folder;
    NoteFolder notes(folder.path(), "1500");
    std::vector<TestEntry> entries = SampleEntries();
    for (int i = 0; i < 150; ++i)
        entries.push_back({"MANY", "F" + std::to_string(i) + ".TXT", std::string(i, 'm')});
    PackageOptions options;
    options.mode = 1;
    options.folder = folder / "dest";
    RunningPackage package(folder / PackageName("TWICE"), SamplePackage(options, entries));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    Click(dialog, IDOK);
    HWND progress = package.WaitForDialog("Extracting - ");
    ASSERT_TRUE(progress);
    Click(progress, IDOK);
    for (int i = 0; i < 20 && IsWindow(progress); ++i) {
        Click(dialog, IDOK);
        Sleep(25);
    }
    for (DWORD waited = 0; IsWindow(progress) && waited < kRunTimeoutMs; waited += 20)
        Sleep(20);
    // The setup program runs for 1.5 s; the clean-up follows its end.
    ASSERT_TRUE(FileExists(folder / "dest\\MANY\\F149.TXT")) << "the one run went through to its end";
    Click(dialog, IDOK);
    Sleep(500);
    EXPECT_FALSE(package.HasWindow("Extracting - ")) << "a second job began during the wait";
    ASSERT_TRUE(package.WaitForExit());
    EXPECT_TRUE(FileExists(notes.note)) << "the setup program ran";
    EXPECT_FALSE(FileExists(folder / "dest")) << "and the clean-up removed everything after it";
}

} // namespace
