// The floor for the extraction benchmark: the least a program must do to produce the
// same files from the same bytes. It reads one file of concatenated data from start
// to end and writes the files the plan names, with the same sizes and below the same
// directories, through one reused buffer and nothing else: no records to parse, no
// time stamps or attributes to set, no log.
//
//   extract-floor DATA_FILE PLAN_FILE DESTINATION [--whole | --stub-calls]
//
// --whole copies each file through a buffer of its full size, allocated for the file
// and released after it, instead: what that way of copying costs on its own.
// --stub-calls adds, to --whole, the calls the stub makes for every entry besides
// reading its record: the message pump, the existence check of the file's directory,
// the target opened for reading and writing and shared for reading, and afterwards
// reopened for its time stamps and given its attributes. The stub's own cost is what
// it takes beyond this.
// PLAN_FILE holds one line per file, in the order of the data: its size in bytes, a
// tab, and its path below DESTINATION with backslashes. Prints "floor-ms T", the time
// from opening DATA_FILE to closing the last file written (the plan is read before).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct PlannedFile {
    DWORD size;
    std::string path;
};

std::vector<PlannedFile> ReadPlan(const char *path)
{
    std::vector<PlannedFile> plan;
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return plan;
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
        char *tab = std::strchr(line, '\t');
        if (!tab)
            continue;
        std::string name = tab + 1;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        plan.push_back({static_cast<DWORD>(std::strtoul(line, nullptr, 10)), name});
    }
    std::fclose(file);
    return plan;
}

// Creates each missing directory on the way to the file; only when the file's
// directory differs from the previous file's, as a sequential writer would.
bool MakeDirectories(const std::string &filePath, std::string &lastDirectory)
{
    size_t slash = filePath.rfind('\\');
    std::string directory = filePath.substr(0, slash);
    if (directory == lastDirectory)
        return true;
    for (size_t at = directory.find('\\', 3); ; at = directory.find('\\', at + 1)) {
        std::string part = directory.substr(0, at);
        if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (at == std::string::npos)
            break;
    }
    lastDirectory = directory;
    return true;
}

// The message pump of the stub's progress dialog, with no window to serve.
void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// What the stub does to a written file: times through a second handle, then attributes.
void RestoreTimesAndAttributes(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME time = {0xD53E8000, 0x019DB1DE}; // 2000-01-01
        SetFileTime(file, &time, &time, &time);
        CloseHandle(file);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

} // namespace

int main(int argc, char **argv)
{
    bool stubCalls = argc == 5 && std::strcmp(argv[4], "--stub-calls") == 0;
    bool whole = stubCalls || (argc == 5 && std::strcmp(argv[4], "--whole") == 0);
    if (argc != 4 && !whole) {
        std::fprintf(stderr,
                     "usage: extract-floor DATA_FILE PLAN_FILE DESTINATION [--whole | --stub-calls]\n");
        return 2;
    }
    std::vector<PlannedFile> plan = ReadPlan(argv[2]);
    if (plan.empty()) {
        std::fprintf(stderr, "extract-floor: no files in %s\n", argv[2]);
        return 1;
    }
    const DWORD kBufferSize = 1 << 20;
    char *buffer = static_cast<char *>(
        VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::string destination = argv[3];

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HANDLE data = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (data == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "extract-floor: cannot open %s\n", argv[1]);
        return 1;
    }
    std::string lastDirectory;
    for (const PlannedFile &planned : plan) {
        std::string path = destination + "\\" + planned.path;
        if (!MakeDirectories(path, lastDirectory)) {
            std::fprintf(stderr, "extract-floor: cannot create the directory of %s\n", path.c_str());
            return 1;
        }
        if (stubCalls) {
            PumpMessages();
            GetFileAttributesA(path.substr(0, path.rfind('\\') + 1).c_str());
        }
        HANDLE out = stubCalls ? CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr)
                               : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "extract-floor: cannot create %s\n", path.c_str());
            return 1;
        }
        char *fileBuffer = buffer;
        DWORD bufferSize = kBufferSize;
        if (whole) {
            bufferSize = planned.size ? planned.size : 1;
            fileBuffer = static_cast<char *>(
                VirtualAlloc(nullptr, bufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        }
        for (DWORD left = planned.size; left;) {
            DWORD chunk = left < bufferSize ? left : bufferSize;
            DWORD done = 0;
            if (!ReadFile(data, fileBuffer, chunk, &done, nullptr) || done != chunk ||
                !WriteFile(out, fileBuffer, chunk, &done, nullptr) || done != chunk) {
                std::fprintf(stderr, "extract-floor: copy failed at %s\n", path.c_str());
                return 1;
            }
            left -= chunk;
        }
        CloseHandle(out);
        if (whole)
            VirtualFree(fileBuffer, 0, MEM_RELEASE);
        if (stubCalls)
            RestoreTimesAndAttributes(path);
    }
    CloseHandle(data);
    QueryPerformanceCounter(&end);
    std::printf("floor-ms %.1f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    return 0;
}
