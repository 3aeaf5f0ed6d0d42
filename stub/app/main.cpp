// Entry point of the stub: start-up, the main dialog, exit. The program reads no
// command line and always ends with exit code 0.
#include <windows.h>
#include "main_dialog.h"
#include "resource.h"
#include "startup.h"
#include "stub_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_stub.instance = instance;
    if (!InitializeStub())
        return 0;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), 0, MainDialogProc, 0);
    FinishStub();
    return 0;
}

// The program's own module handle is the address it is loaded at, which the linker
// names: no GetModuleHandleA(0) call and no import for it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// Called by the system in place of a runtime's start-up code.
extern "C" void StubEntry()
{
    // The loader hands the record over zero-filled: its load state but for the handle.
    g_stub.archive = INVALID_HANDLE_VALUE;
    ExitProcess(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), 0, 0, SW_SHOWDEFAULT));
}
