// Goes through a package's dialogs as a user would, from a second Windows program:
// starts the package, waits for its main dialog, optionally types a folder, presses
// Extract (or Setup, or Cancel) and waits for the package to end. Used by the demo,
// the screenshot script and the extraction benchmark.
//
//   drive-dialogs PACKAGE [--folder PATH] [--press confirm|cancel]
//                 [--handshake DIR] [--stop main] [--stop progress] [--progress-at N]
//                 [--timeout SECONDS]
//
// PACKAGE, PATH and DIR may be Unix paths (/...), which are reached through Z:.
// --handshake: at each --stop the driver writes DIR\main.rect or DIR\progress.rect
// (the dialog's window rectangle on the screen: left top width height) and waits
// until DIR\main.done or DIR\progress.done exists; the script takes its screenshot
// in between. The progress stop comes once the progress bar has reached N (default
// 1), that is while the run is under way.
//
// Prints one "key value" line per event on standard output, times in milliseconds:
//   main-shown-ms         from the start of the package to its visible main dialog
//   press                 the button pressed
//   progress-shown-ms     from the press to the visible progress dialog
//   press-to-progress-closed-ms  from the press to the progress dialog's end
//   press-to-main-closed-ms  from the press to the main dialog's end
//   press-to-exit-ms      from the press to the end of the package's process
//   exit-code             the package's exit code
// Exit code 0 when every step happened and the package ended in time, 1 otherwise: also
// when a dialog is missing once the package shows a window, within 5 seconds.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "visible_captions.h"

namespace {

const int kConfirmId = 1;
const int kCancelId = 2;
const int kFolderEditId = 1002;
const int kProgressBarId = 1005;

DWORD g_timeoutMs = 60000;
// Once the package shows a window, the one the driver waits for is there at once.
const DWORD kShownTimeoutMs = 5000;

std::string WindowsPath(const std::string &path)
{
    std::string result = !path.empty() && path[0] == '/' ? "Z:" + path : path;
    for (char &c : result) {
        if (c == '/')
            c = '\\';
    }
    return result;
}

double Milliseconds(const LARGE_INTEGER &from, const LARGE_INTEGER &to)
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "drive-dialogs: %s\n", what);
    std::fflush(stdout);
    std::exit(1);
}

bool ProcessEnded(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// The visible dialog of that caption; fails when the process ended or time ran out.
// Only the package's first window may take long (a cold start of Wine); once the
// package shows any window, the one expected must follow within kShownTimeoutMs.
HWND WaitForDialog(const std::string &caption, const PROCESS_INFORMATION &process)
{
    DWORD shown = 0;
    for (DWORD waited = 0; waited < g_timeoutMs && shown < kShownTimeoutMs; waited += 5) {
        HWND window = FindWindowA("#32770", caption.c_str());
        if (window && IsWindowVisible(window))
            return window;
        if (ProcessEnded(process.hProcess))
            Fail(("no window \"" + caption + "\": the package ended").c_str());
        if (shown || !velmor::test::VisibleCaptions(process.dwProcessId).empty())
            shown += 5;
        Sleep(5);
    }
    std::string seen = velmor::test::VisibleCaptions(process.dwProcessId);
    Fail(("no window \"" + caption + "\"; the package shows " + (seen.empty() ? "none" : seen)).c_str());
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes the window's rectangle for the script and waits for its answer.
void HandOver(const std::string &handshake, const char *stop, HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    std::printf("%s-rect %ld %ld %ld %ld\n", stop, r.left, r.top, r.right - r.left,
                r.bottom - r.top);
    std::fflush(stdout);
    std::string base = handshake + "\\" + stop;
    char text[128];
    int length = std::snprintf(text, sizeof text, "%ld %ld %ld %ld\n", r.left, r.top,
                               r.right - r.left, r.bottom - r.top);
    std::string partial = base + ".partial";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot write to the handshake folder");
    DWORD written = 0;
    WriteFile(file, text, length, &written, nullptr);
    CloseHandle(file);
    if (!MoveFileExA(partial.c_str(), (base + ".rect").c_str(), MOVEFILE_REPLACE_EXISTING))
        Fail("cannot write to the handshake folder");
    for (DWORD waited = 0; !FileExists(base + ".done"); waited += 10) {
        if (waited >= g_timeoutMs)
            Fail("the script did not answer");
        Sleep(10);
    }
}

// The progress bar's position, or -1 while the dialog does not answer.
int ProgressPosition(HWND dialog)
{
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(GetDlgItem(dialog, kProgressBarId), PBM_GETPOS, 0, 0,
                             SMTO_ABORTIFHUNG, 200, &position))
        return -1;
    return static_cast<int>(position);
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: drive-dialogs PACKAGE [--folder PATH] [--press confirm|cancel]\n"
                 "       [--handshake DIR] [--stop main] [--stop progress] [--progress-at N]\n"
                 "       [--timeout SECONDS]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    std::string package, folder, handshake;
    bool confirm = true, stopAtMain = false, stopAtProgress = false;
    int progressAt = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--folder" && hasValue)
            folder = WindowsPath(argv[++i]);
        else if (arg == "--handshake" && hasValue)
            handshake = WindowsPath(argv[++i]);
        else if (arg == "--press" && hasValue) {
            std::string button = argv[++i];
            if (button != "confirm" && button != "cancel")
                Usage();
            confirm = button == "confirm";
        } else if (arg == "--stop" && hasValue) {
            std::string stop = argv[++i];
            if (stop == "main")
                stopAtMain = true;
            else if (stop == "progress")
                stopAtProgress = true;
            else
                Usage();
        } else if (arg == "--progress-at" && hasValue)
            progressAt = std::atoi(argv[++i]);
        else if (arg == "--timeout" && hasValue)
            g_timeoutMs = static_cast<DWORD>(std::atoi(argv[++i])) * 1000;
        else if (arg[0] != '-' && package.empty())
            package = WindowsPath(arg);
        else
            Usage();
    }
    if (package.empty() || ((stopAtMain || stopAtProgress) && handshake.empty()))
        Usage();

    size_t slash = package.rfind('\\');
    std::string name = slash == std::string::npos ? package : package.substr(slash + 1);
    std::string directory = slash == std::string::npos ? "." : package.substr(0, slash);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + package + "\"";
    LARGE_INTEGER started = Now();
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process))
        Fail("cannot start the package");

    HWND main = WaitForDialog("Self-Extractor - " + name, process);
    std::printf("main-shown-ms %.0f\n", Milliseconds(started, Now()));
    char label[64] = "";
    GetWindowTextA(GetDlgItem(main, kConfirmId), label, sizeof label);
    if (stopAtMain)
        HandOver(handshake, "main", main);
    if (!folder.empty()) {
        SendMessageA(GetDlgItem(main, kFolderEditId), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(folder.c_str()));
    }

    int button = confirm ? kConfirmId : kCancelId;
    std::printf("press %s\n", confirm ? label : "Cancel");
    std::fflush(stdout);
    LARGE_INTEGER pressed = Now();
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main, button)));

    if (confirm) {
        HWND progress = WaitForDialog("Extracting - " + name, process);
        std::printf("progress-shown-ms %.0f\n", Milliseconds(pressed, Now()));
        std::fflush(stdout);
        if (stopAtProgress) {
            while (!ProcessEnded(process.hProcess) && ProgressPosition(progress) < progressAt)
                Sleep(5);
            if (ProcessEnded(process.hProcess))
                Fail("the run ended before the progress stop");
            HandOver(handshake, "progress", progress);
        }
        while (IsWindow(progress) && !ProcessEnded(process.hProcess))
            Sleep(2);
        std::printf("press-to-progress-closed-ms %.1f\n", Milliseconds(pressed, Now()));
    }

    // The main dialog goes before the process ends; both moments are reported.
    while (IsWindow(main) && !ProcessEnded(process.hProcess))
        Sleep(2);
    std::printf("press-to-main-closed-ms %.1f\n", Milliseconds(pressed, Now()));
    if (WaitForSingleObject(process.hProcess, g_timeoutMs) != WAIT_OBJECT_0)
        Fail("the package did not end in time");
    std::printf("press-to-exit-ms %.1f\n", Milliseconds(pressed, Now()));
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("exit-code %lu\n", code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}
