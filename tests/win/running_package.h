// A package run as a program of its own, driven through its real windows as a user
// would: the helpers of the dialog and clean-up tests.
#ifndef VELMOR_RUNNING_PACKAGE_H
#define VELMOR_RUNNING_PACKAGE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>
#include "test_support.h"
#include "visible_captions.h"

namespace velmor::test {

// A cold start of Wine takes seconds, and so may a whole run: only the package's
// first window and the end of a run are awaited that long. Every other window
// follows that first window or a click at once, so a test whose window never comes
// (under a wrong caption, say) fails within seconds.
inline const DWORD kRunTimeoutMs = 30000;
inline const DWORD kShownTimeoutMs = 5000;

// The text of a dialog's control.
std::string ControlText(HWND dialog, int id);
// A window's height in pixels.
LONG Height(HWND window);
// A click on a dialog's button, posted as the button would.
void Click(HWND dialog, int id);

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
std::string PackageName(const char *prefix);

struct PackageOptions {
    uint8_t mode = 0;
    std::string folder;
    std::string setupProgram = "SETUP\\RUN.EXE";
    std::string description = "Test package\r\nSecond line";
};

// The last write time of the sample's README.TXT.
extern const uint64_t kWriteTime;

// README.TXT, SETUP\RUN.EXE (record-start.exe), DATA.BIN of 100,000 bytes and
// SETUP\DEEP\ER\LAST.TXT.
std::vector<TestEntry> SampleEntries();

// A package of the test stub with these entries and the trailer the options describe.
std::string SamplePackage(const PackageOptions &options, std::vector<TestEntry> entries = SampleEntries());

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
// Clicks the confirm button and waits until the progress dialog it opens has ended.
void RunProgressDialog(const RunningPackage &package, HWND mainDialog);

} // namespace velmor::test

#endif
