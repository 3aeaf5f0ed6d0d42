// Entry point of the launcher: reads the system's language and version, finds the
// setup program in the config beside the launcher and starts it. The program reads no
// command line, shows nothing and always ends with exit code 0.
#include <windows.h>
#include "launch.h"
#include "setup_lookup.h"
#include "text.h"

enum { kPathSize = 256 };

static unsigned ReadProfileString(void *, const char *section, const char *key, char *result,
                                  unsigned size, const char *path)
{
    return GetPrivateProfileStringA(section, key, 0, result, size, path);
}

// The launcher's own path with its last three characters replaced by "CFG":
// E:\DISK1\INSTALL.EXE reads E:\DISK1\INSTALL.CFG, a copy named Setup.exe reads
// Setup.CFG. 0 when the path cannot be had whole or is too short to hold an extension.
static int MakeConfigPath(HINSTANCE instance, char *configPath)
{
    DWORD length = GetModuleFileNameA(instance, configPath, kPathSize);
    if (length == 0 || length >= kPathSize)
        return 0;
    int end = TextLength(configPath);
    if (end < 3)
        return 0;
    configPath[end - 3] = 0;
    return AppendText(configPath, kPathSize, "CFG");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // The system default language, not the user's: it describes the installation.
    LANGID language = GetSystemDefaultLangID();
    char configPath[kPathSize];
    char programPath[kPathSize];
    OSVERSIONINFOA version;
    ClearBytes(configPath, sizeof configPath);
    ClearBytes(programPath, sizeof programPath);
    ClearBytes(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    if (!MakeConfigPath(instance, configPath))
        return 0;

    ProfileReader reader = {ReadProfileString, 0};
    if (!FindSetupProgram(&version, language, configPath, programPath, sizeof programPath,
                          &reader) ||
        !programPath[0])
        return 0;
    LaunchProgram(programPath);
    return 0;
}

// Called by the system in place of a runtime's start-up code.
extern "C" void InstallEntry()
{
    ExitProcess(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
