#include "running_package.h"

namespace velmor::test {

const uint64_t kWriteTime = 0x01C0000000000000ULL;

std::string ControlText(HWND dialog, int id)
{
    char text[1024] = "";
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

LONG Height(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

void Click(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string PackageName(const char *prefix)
{
    static int counter = 0;
    return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++counter) + ".EXE";
}

std::vector<TestEntry> SampleEntries()
{
    TestEntry readme{"", "README.TXT", "read me\r\n"};
    readme.attributes = 0x21;
    readme.lastWriteTime = kWriteTime;
    TestEntry program{"SETUP", "RUN.EXE", ReadWholeFile(BuiltProgram("record-start.exe"))};
    TestEntry data{"", "DATA.BIN", std::string(100000, 'd')};
    TestEntry deep{"SETUP\\DEEP\\ER", "LAST.TXT", "last"};
    return {readme, program, data, deep};
}

std::string SamplePackage(const PackageOptions &options, std::vector<TestEntry> entries)
{
    TrailerFields trailer;
    trailer.mode = options.mode;
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    trailer.setupProgram = options.setupProgram;
    trailer.defaultFolder = options.folder;
    trailer.description = options.description;
    return BuildPackage(StubImage(), EncodeDataArea(entries), trailer);
}

void RunProgressDialog(const RunningPackage &package, HWND mainDialog)
{
    Click(mainDialog, IDOK);
    HWND progress = package.WaitForDialog("Extracting - ");
    for (DWORD waited = 0; progress && IsWindow(progress) && waited < kRunTimeoutMs; waited += 20)
        Sleep(20);
}

} // namespace velmor::test
