// A stand-in for a setup program: notes how it was started in "<own path>.started",
// its command line on the first line and its working directory on the second. The
// note is written under another name first and then renamed, so that a test that
// sees it sees it whole.
// Two environment variables, inherited through whoever starts it, change that:
//   VELMOR_NOTE_FOLDER  the note goes into this folder instead, named after the program
//   VELMOR_START_DELAY  milliseconds to wait before writing the note and ending
#include <windows.h>

static void AppendLine(char *text, int size, const char *line)
{
    int used = lstrlenA(text);
    int length = lstrlenA(line);
    if (used + length + 2 < size) {
        lstrcpyA(text + used, line);
        lstrcpyA(text + used + length, "\n");
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char own[MAX_PATH + 16];
    char directory[MAX_PATH];
    char note[3 * MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(0, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    GetCurrentDirectoryA(sizeof directory, directory);
    AppendLine(note, sizeof note, GetCommandLineA());
    AppendLine(note, sizeof note, directory);

    char setting[MAX_PATH];
    if (GetEnvironmentVariableA("VELMOR_START_DELAY", setting, sizeof setting)) {
        DWORD delay = 0;
        for (const char *p = setting; *p >= '0' && *p <= '9'; ++p)
            delay = delay * 10 + (*p - '0');
        Sleep(delay);
    }
    DWORD folderLength = GetEnvironmentVariableA("VELMOR_NOTE_FOLDER", setting, sizeof setting);
    if (folderLength && folderLength < MAX_PATH - 32) {
        const char *name = own;
        for (const char *p = own; *p; ++p) {
            if (*p == '\\')
                name = p + 1;
        }
        lstrcatA(setting, "\\");
        if (lstrlenA(setting) + lstrlenA(name) >= MAX_PATH)
            return 1;
        lstrcatA(setting, name);
        lstrcpyA(own, setting);
    }

    char partial[MAX_PATH + 16];
    lstrcpyA(partial, own);
    lstrcatA(partial, ".partial");
    lstrcatA(own, ".started");
    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, note, lstrlenA(note), &written, 0);
    CloseHandle(file);
    return MoveFileA(partial, own) ? 0 : 1;
}
