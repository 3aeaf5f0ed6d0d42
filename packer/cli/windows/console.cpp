// The console on Windows. Only the Windows build's code belongs here.
#include "console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>

namespace velmor {
namespace {

// The console's output code page before the packer set it, restored when it ends.
UINT g_previousCodePage = 0;

bool IsConsole(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

void RestoreCodePage()
{
    if (g_previousCodePage != 0)
        SetConsoleOutputCP(g_previousCodePage);
}

// Called before the handler that ends the process on Ctrl+C (handlers run last
// registered first): the console the user goes on typing in gets its code page back.
BOOL WINAPI RestoreOnControl(DWORD)
{
    RestoreCodePage();
    return FALSE;
}

} // namespace

bool StandardErrorIsTerminal()
{
    return IsConsole(STD_ERROR_HANDLE);
}

void PrepareConsole()
{
    // The bytes as written, line ends included, as the Linux build writes them; a
    // console starts a new line at a line feed alone.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE))
        return;
    UINT previous = GetConsoleOutputCP();
    if (previous == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8))
        return;
    g_previousCodePage = previous;
    std::atexit(RestoreCodePage);
    SetConsoleCtrlHandler(RestoreOnControl, TRUE);
}

} // namespace velmor
