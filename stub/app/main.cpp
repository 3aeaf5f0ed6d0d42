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

// Called by the system in place of a runtime's start-up code.
extern "C" void StubEntry()
{
    ResetStubState();
    ExitProcess(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
