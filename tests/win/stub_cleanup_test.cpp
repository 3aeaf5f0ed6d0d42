// The end of a setup-mode run: a signed package, and a clean-up that finds an
// extracted file still in use.
#include <gtest/gtest.h>
#include <memory>
#include "running_package.h"

using namespace velmor;
using namespace velmor::test;

namespace {

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
