// Start-up and exit of the stub, on packages built from the real x86_64 stub.
#include <gtest/gtest.h>
#include "archive_reader.h"
#include "install_log.h"
#include "startup.h"
#include "stub_state.h"
#include "test_support.h"

using namespace velmor;
using namespace velmor::test;

namespace {

// Runs start-up as the package at path would: the module handle of the loaded
// package stands in for the instance handle of the running program.
class StartedPackage {
public:
    explicit StartedPackage(const std::string &path)
    {
        ResetStubState();
        module_ = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        EXPECT_NE(module_, nullptr) << "cannot load " << path;
        g_stub.instance = module_;
        result = InitializeStub();
    }
    ~StartedPackage()
    {
        if (g_stub.archive != INVALID_HANDLE_VALUE)
            CloseHandle(g_stub.archive);
        g_stub.archive = INVALID_HANDLE_VALUE;
        if (module_)
            FreeLibrary(module_);
    }
    DWORD Position() const { return SetFilePointer(g_stub.archive, 0, nullptr, FILE_CURRENT); }
    int result = 0;

private:
    HMODULE module_ = nullptr;
};

std::string SamplePackage(const std::string &defaultFolder = "", uint32_t entryCount = 1,
                          uint8_t mode = 0)
{
    TrailerFields trailer;
    trailer.mode = mode;
    trailer.entryCount = entryCount;
    trailer.defaultFolder = defaultFolder;
    trailer.description = "Sample";
    std::string area = entryCount ? EncodeDataArea({{"", "A.TXT", "hello"}}) : "";
    return BuildPackage(StubImage(), area, trailer);
}

TEST(StubStartupTest, PreparesEverythingFromThePackageOnAFixedDisk)
{
    ScratchFolder folder;
    std::string package = SamplePackage();
    std::string path = folder / "PACKAGE.EXE";
    WriteWholeFile(path, package);
    StartedPackage started(path);
    ASSERT_EQ(started.result, 1);

    std::string windows = WindowsDirectory();
    EXPECT_EQ(g_stub.windowsDirectory, windows);
    EXPECT_EQ(g_stub.installLogPath, windows + "PACKAGE.CFG");
    EXPECT_EQ(g_stub.stubDirectory, folder.path() + "\\");
    EXPECT_STREQ(g_stub.stubFileName, "PACKAGE.EXE");
    EXPECT_EQ(g_stub.trailer.defaultFolder, folder.path() + "\\")
        << "no folder in the package: the stub's own directory on a fixed disk";
    EXPECT_STREQ(g_stub.trailer.description, "Sample");
    EXPECT_EQ(started.Position(), StubImage().size()) << "positioned at the first entry record";

    EntryRecord record;
    ASSERT_EQ(ReadEntryRecord(g_stub.archive, &record), 1);
    EXPECT_STREQ(record.fileName, "A.TXT");
}

TEST(StubStartupTest, InstallLogTakesTheNameWithItsLastThreeCharactersReplaced)
{
    const char *names[][2] = {{"Setup.exe", "Setup.CFG"}, {"driver.pkg", "driver.CFG"},
                              {"two.dots.exe", "two.dots.CFG"}};
    std::string package = SamplePackage();
    for (const auto &name : names) {
        ScratchFolder folder;
        WriteWholeFile(folder / name[0], package);
        StartedPackage started(folder / name[0]);
        ASSERT_EQ(started.result, 1) << name[0];
        EXPECT_EQ(g_stub.installLogPath, WindowsDirectory() + name[1]);
    }
}

TEST(StubStartupTest, KeepsTheFolderThePackageNames)
{
    ScratchFolder folder;
    WriteWholeFile(folder / "P.EXE", SamplePackage("E:\\Vendor\\Driver"));
    StartedPackage started(folder / "P.EXE");
    ASSERT_EQ(started.result, 1);
    EXPECT_STREQ(g_stub.trailer.defaultFolder, "E:\\Vendor\\Driver");
}

TEST(StubStartupTest, ProposesTheFallbackFolderOffAFixedDisk)
{
    // The test prefix presents D: as a CD-ROM drive.
    ASSERT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_CDROM)) << "prefix not prepared";
    std::string dir = "D:\\startup-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string path = dir + "\\CD.EXE";
    WriteWholeFile(path, SamplePackage());
    {
        StartedPackage started(path);
        ASSERT_EQ(started.result, 1);
        EXPECT_STREQ(g_stub.trailer.defaultFolder, "C:\\QXTemp");
        EXPECT_EQ(g_stub.stubDirectory, dir + "\\");
    }
    RemoveTree(dir);
}

TEST(StubStartupTest, AnEmptyArchiveIsReady)
{
    ScratchFolder folder;
    std::string package = SamplePackage("", 0);
    WriteWholeFile(folder / "EMPTY.EXE", package);
    StartedPackage started(folder / "EMPTY.EXE");
    ASSERT_EQ(started.result, 1);
    EXPECT_EQ(g_stub.trailer.entryCount, 0u);
    EXPECT_EQ(started.Position(), package.size() - kTrailerSize);
}

TEST(StubStartupTest, RefusesAStubWithoutArchive)
{
    ScratchFolder folder;
    WriteWholeFile(folder / "BARE.EXE", StubImage());
    StartedPackage started(folder / "BARE.EXE");
    EXPECT_EQ(started.result, 0);
}

TEST(StubStartupTest, FinishDeletesTheInstallLogAndClosesTheFile)
{
    ScratchFolder folder;
    WriteWholeFile(folder / "FINISH.EXE", SamplePackage());
    StartedPackage started(folder / "FINISH.EXE");
    ASSERT_EQ(started.result, 1);
    LogCreatedDirectory("C:\\NEW");
    ASSERT_TRUE(FileExists(g_stub.installLogPath));
    FinishStub();
    EXPECT_FALSE(FileExists(g_stub.installLogPath));
    EXPECT_EQ(g_stub.archive, INVALID_HANDLE_VALUE);
}

// The program itself, which ends with exit code 0 whether it started or not. The
// package's mode is not a valid one, so that no dialog waits for a user.
DWORD RunProgram(const std::string &path)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + path + "\"";
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << path;
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

// A file of the install log's name that the program did not write is another
// program's, or a log of a run that did not end: it stays as it is, whether the
// program starts or not.
TEST(StubStartupTest, TheProgramLeavesALogItDidNotWriteAlone)
{
    ScratchFolder folder;
    std::string suffix = std::to_string(GetCurrentProcessId());
    std::string bare = folder / ("BARE" + suffix + ".EXE");
    std::string packaged = folder / ("PKG" + suffix + ".EXE");
    WriteWholeFile(bare, StubImage());
    WriteWholeFile(packaged, SamplePackage("", 0, 2));
    std::string windows = WindowsDirectory();
    std::string bareLog = windows + "BARE" + suffix + ".CFG";
    std::string packagedLog = windows + "PKG" + suffix + ".CFG";
    WriteWholeFile(bareLog, "stale");
    WriteWholeFile(packagedLog, "[Settings]\r\nkey=value\r\n");

    EXPECT_EQ(RunProgram(bare), 0u);
    EXPECT_EQ(RunProgram(packaged), 0u);
    EXPECT_EQ(ReadWholeFile(bareLog), "stale") << "a stub without archive ends before anything";
    EXPECT_EQ(ReadWholeFile(packagedLog), "[Settings]\r\nkey=value\r\n") << "the exit step wrote nothing";
    DeleteFileA(bareLog.c_str());
    DeleteFileA(packagedLog.c_str());
}

} // namespace
