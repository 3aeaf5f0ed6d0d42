// The example package's setup program. It only notes that it ran: "setup-ran.txt"
// next to itself gets its command line on the first line and its working directory
// on the second. It shows nothing and waits for nothing, so that the demo can run
// without anyone at the keyboard. No C runtime: the same rules as the stub.
#include <windows.h>

static void Append(char *text, int size, const char *more)
{
    int used = lstrlenA(text);
    int length = lstrlenA(more);
    if (used + length < size)
        lstrcpyA(text + used, more);
}

static int Run()
{
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    // The note goes beside the program: cut the path after its last backslash.
    char *name = path;
    for (char *p = path; *p; ++p) {
        if (*p == '\\')
            name = p + 1;
    }
    *name = 0;
    if (lstrlenA(path) + 16 > MAX_PATH)
        return 1;
    lstrcatA(path, "setup-ran.txt");

    char note[3 * MAX_PATH + 64] = "";
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    Append(note, sizeof note, "command line: ");
    Append(note, sizeof note, GetCommandLineA());
    Append(note, sizeof note, "\r\nworking directory: ");
    Append(note, sizeof note, directory);
    Append(note, sizeof note, "\r\n");

    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, note, lstrlenA(note), &written, 0);
    CloseHandle(file);
    return ok && written == static_cast<DWORD>(lstrlenA(note)) ? 0 : 1;
}

extern "C" void SetupEntry()
{
    ExitProcess(Run());
}
