// The stub's extraction run, timed inside the process: the package is loaded as a
// module the way the stub's own start-up sees itself, InitializeStub reads its
// trailer, and ExtractAll runs with the progress dialog's message pump and cancel
// check in place of the dialog, which has no part in the work.
//
//   extract-bench PACKAGE DESTINATION
//
// Prints "extract-ms T", the time of ExtractAll alone, and ends with 0 when the run
// extracted every entry.
#include <windows.h>
#include <cstdio>
#include "progress_dialog.h"
#include "startup.h"
#include "stub_state.h"
#include "extract_run.h"

namespace {

void EntryStarted(void *, DWORD, const char *) {}

void Dispatch(void *)
{
    PumpMessages();
}

int CancelRequested(void *)
{
    return g_stub.cancelRequested != 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract-bench PACKAGE DESTINATION\n");
        return 2;
    }
    ResetStubState();
    g_stub.instance = LoadLibraryExA(argv[1], nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!g_stub.instance || !InitializeStub()) {
        std::fprintf(stderr, "extract-bench: %s is no package the stub accepts\n", argv[1]);
        return 1;
    }
    lstrcpynA(g_stub.trailer.defaultFolder, argv[2], sizeof g_stub.trailer.defaultFolder);
    ExtractHooks hooks{EntryStarted, Dispatch, CancelRequested, nullptr};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int completed = ExtractAll(&hooks);
    QueryPerformanceCounter(&end);
    FinishStub();
    std::printf("extract-ms %.1f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    if (!completed)
        std::fprintf(stderr, "extract-bench: the run did not complete\n");
    return completed ? 0 : 1;
}
