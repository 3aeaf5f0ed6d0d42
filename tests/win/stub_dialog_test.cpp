// The stub from start to end through its real windows: this test program drives the
// dialogs of a package running as its own process, as a user would, and a copy of
// record-start.exe stands in for the setup program.
#include <gtest/gtest.h>
#include <memory>
#include "test_support.h"
#include "visible_captions.h"

using namespace velmor;
using namespace velmor::test;

namespace {

// A cold start of Wine takes seconds, and so may a whole run: only the package's
// first window and the end of a run are awaited that long. Every other window
// follows that first window or a click at once, so a test whose window never comes
// (under a wrong caption, say) fails within seconds.
const DWORD kRunTimeoutMs = 30000;
const DWORD kShownTimeoutMs = 5000;

std::string ControlText(HWND dialog, int id)
{
    char text[1024] = "";
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

LONG Height(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

void Click(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A package started as a program of its own, from its own folder.
class RunningPackage {
public:
    RunningPackage(const std::string &path, const std::string &bytes) : path_(path)
    {
        WriteWholeFile(path, bytes);
        name_ = path.substr(path.rfind('\\') + 1);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + path + "\"";
        std::string folder = path.substr(0, path.rfind('\\'));
        EXPECT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.c_str(), &startup, &process_))
            << path;
    }
    ~RunningPackage()
    {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

    // The visible dialog of that caption (with the package's name appended), which is
    // expected to be there already or within kShownTimeoutMs.
    HWND WaitForDialog(const std::string &caption) const
    {
        std::string full = caption + name_;
        for (DWORD waited = 0;; waited += 10) {
            HWND window = FindWindowA("#32770", full.c_str());
            if (window && IsWindowVisible(window))
                return window;
            if (waited >= kShownTimeoutMs || WaitForExit(0))
                break;
            Sleep(10);
        }
        ADD_FAILURE() << "no window \"" << full << "\"; the package shows: " << VisibleCaptions()
                      << (WaitForExit(0) ? " and has ended" : "");
        return nullptr;
    }
    // The package's first window, once it has one.
    HWND MainDialog() const
    {
        for (DWORD waited = 0; waited < kRunTimeoutMs && VisibleCaptions().empty() && !WaitForExit(0);
             waited += 10)
            Sleep(10);
        return WaitForDialog("Self-Extractor - ");
    }
    bool HasWindow(const std::string &caption) const
    {
        return FindWindowA("#32770", (caption + name_).c_str()) != nullptr;
    }
    bool WaitForExit(DWORD timeoutMs = kRunTimeoutMs) const
    {
        return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const
    {
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }
    std::string InstallLog() const { return WindowsDirectory() + name_.substr(0, name_.size() - 3) + "CFG"; }

private:
    // The captions of the package's visible top-level windows, quoted.
    std::string VisibleCaptions() const { return velmor::test::VisibleCaptions(process_.dwProcessId); }

    std::string path_;
    std::string name_;
    PROCESS_INFORMATION process_{};
};

// A unique file name for a package, so that install logs of tests never meet.
std::string PackageName(const char *prefix)
{
    static int counter = 0;
    return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++counter) + ".EXE";
}

struct PackageOptions {
    uint8_t mode = 0;
    std::string folder;
    std::string setupProgram = "SETUP\\RUN.EXE";
    std::string description = "Test package\r\nSecond line";
};

const uint64_t kWriteTime = 0x01C0000000000000ULL;

std::vector<TestEntry> SampleEntries()
{
    TestEntry readme{"", "README.TXT", "read me\r\n"};
    readme.attributes = 0x21;
    readme.lastWriteTime = kWriteTime;
    TestEntry program{"SETUP", "RUN.EXE", ReadWholeFile(BuiltProgram("record-start.exe"))};
    TestEntry data{"", "DATA.BIN", std::string(100000, 'd')};
    TestEntry deep{"SETUP\\DEEP\\ER", "LAST.TXT", "last"};
    return {readme, program, data, deep};
}

std::string SamplePackage(const PackageOptions &options, std::vector<TestEntry> entries = SampleEntries())
{
    TrailerFields trailer;
    trailer.mode = options.mode;
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    trailer.setupProgram = options.setupProgram;
    trailer.defaultFolder = options.folder;
    trailer.description = options.description;
    return BuildPackage(StubImage(), EncodeDataArea(entries), trailer);
}

// The stand-in setup program notes its start in a folder of the test's choosing, so
// that the note never keeps a folder of the package from being removed.
class NoteFolder {
public:
    NoteFolder(const std::string &folder, const char *delayMs = "0")
    {
        SetEnvironmentVariableA("VELMOR_NOTE_FOLDER", folder.c_str());
        SetEnvironmentVariableA("VELMOR_START_DELAY", delayMs);
        note = folder + "\\RUN.EXE.started";
    }
    ~NoteFolder()
    {
        SetEnvironmentVariableA("VELMOR_NOTE_FOLDER", nullptr);
        SetEnvironmentVariableA("VELMOR_START_DELAY", nullptr);
    }
    std::string note;
};

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

// Waits until the progress dialog that a click on the confirm button opens has ended.
void RunProgressDialog(const RunningPackage &package, HWND mainDialog)
{
    Click(mainDialog, IDOK);
    HWND progress = package.WaitForDialog("Extracting - ");
    for (DWORD waited = 0; progress && IsWindow(progress) && waited < kRunTimeoutMs; waited += 20)
        Sleep(20);
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

// A package signed by velmor-pack sign (make-signed-packages.sh) runs as an unsigned
// one does: the signature lies between the data area and the trailer, where the stub
// never reads.
TEST(SignedPackageTest, SetupModeExtractsStartsTheProgramAndRemovesEverything)
{
    std::string output = WindowsPathFromUnix(RequiredEnvironment("VELMOR_TEST_OUTPUT"));
    std::string dest = output + "\\signed-run\\dest", source = output + "\\signed-src";
    RemoveTree(dest);
    ScratchFolder folder;
    NoteFolder notes(folder.path(), "1500");
    RunningPackage package(folder / PackageName("SGN"), ReadWholeFile(output + "\\signed-setup.exe"));
    HWND dialog = package.MainDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(ControlText(dialog, 1000), "Signed test package");
    EXPECT_EQ(ControlText(dialog, IDOK), "Setup");
    Click(dialog, IDOK);

    // While the setup program runs, every file lies in the package's folder.
    const char *files[] = {"README.TXT", "SETUP\\RUN.EXE", "SETUP\\DATA.BIN"};
    bool extracted = false;
    for (DWORD waited = 0; !extracted && waited < kRunTimeoutMs; waited += 50) {
        extracted = true;
        for (const char *file : files)
            extracted = extracted && FileExists(dest + "\\" + file) &&
                        ReadWholeFile(dest + "\\" + file) == ReadWholeFile(source + "\\" + file);
        if (!extracted)
            Sleep(50);
    }
    EXPECT_TRUE(extracted) << "the files of the signed package, byte for byte";
    ASSERT_TRUE(package.WaitForExit());
    EXPECT_EQ(package.ExitCode(), 0u);
    ASSERT_TRUE(FileExists(notes.note)) << "the stub waited for the setup program's end";
    StartNote note = WaitForStartNote(notes.note, 0);
    EXPECT_EQ(note.commandLine, "\"" + dest + "\\SETUP\\RUN.EXE\"");
    EXPECT_EQ(note.directory, dest + "\\SETUP");
    EXPECT_FALSE(FileExists(dest)) << "every file and created folder removed";
    EXPECT_FALSE(FileExists(package.InstallLog()));
}

// A file of the package still in use when the clean-up runs: the system is asked
// to remove it, and the folders that hold it, at the next restart.
class StubCleanUpTest : public ::testing::Test {
protected:
    // Runs a setup-mode package whose extracted DATA.BIN this test holds open while
    // the setup program runs; returns the destination folder.
    std::string RunHoldingAFile(const std::string &packageName)
    {
        notes = std::make_unique<NoteFolder>(folder.path(), "2500");
        PackageOptions options;
        options.mode = 1;
        options.folder = folder / "dest";
        RunningPackage package(folder / packageName, SamplePackage(options));
        HWND dialog = package.MainDialog();
        if (!dialog)
            return {};
        Click(dialog, IDOK);
        std::string held = folder / "dest\\SETUP\\DATA.BIN";
        // Hold it as soon as the setup program has been started.
        HANDLE file = INVALID_HANDLE_VALUE;
        for (DWORD waited = 0; file == INVALID_HANDLE_VALUE && waited < kRunTimeoutMs; waited += 20) {
            if (FileExists(folder / "dest\\SETUP\\DEEP\\ER\\LAST.TXT"))
                file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                Sleep(20);
        }
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(package.WaitForExit());
        CloseHandle(file);
        return held;
    }
    ScratchFolder folder;
    std::unique_ptr<NoteFolder> notes;
};

TEST_F(StubCleanUpTest, OnTheNtFamilyItemsInUseAreRemovedAtRestart)
{
    std::string held = RunHoldingAFile(PackageName("NT"));
    EXPECT_TRUE(FileExists(held));
    EXPECT_FALSE(FileExists(folder / "dest\\README.TXT")) << "everything else is gone";
    EXPECT_FALSE(FileExists(folder / "dest\\SETUP\\DEEP"));

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    std::string pending(65536, '\0');
    DWORD size = static_cast<DWORD>(pending.size());
    ASSERT_EQ(RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE *>(&pending[0]), &size),
              ERROR_SUCCESS);
    pending.resize(size);
    for (const std::string &item : {held, folder / "dest\\SETUP", folder / "dest"})
        EXPECT_NE(pending.find(item + std::string(1, '\0')), std::string::npos) << item;
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
}

TEST_F(StubCleanUpTest, OnThe95FamilyItemsInUseGoToWinInit)
{
    std::string name = PackageName("W98");
    WineVersionSetting win98(name, "win98");
    std::string winInit = WindowsDirectory() + "WinInit.INI";
    DeleteFileA(winInit.c_str());

    std::string held = RunHoldingAFile(name);
    EXPECT_FALSE(FileExists(folder / "dest\\README.TXT"));
    // Each item by its short name, which Windows reads at the restart.
    auto shortName = [](const std::string &path) {
        char buffer[MAX_PATH];
        DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
        EXPECT_TRUE(length > 0 && length < sizeof buffer) << path;
        return std::string(buffer, length < sizeof buffer ? length : 0);
    };
    std::string expected = "[rename]\r\nNUL=" + shortName(held) + "\r\nNUL=" + shortName(folder / "dest\\SETUP") +
                           "\r\nNUL=" + shortName(folder / "dest") + "\r\n";
    EXPECT_NE(shortName(held), held) << "the test folder has a long name";
    EXPECT_EQ(ReadWholeFile(winInit), expected);
    DeleteFileA(winInit.c_str());
}

} // namespace
