// Temporary entries and their removal when the process is interrupted, on Windows.
// Only the Windows build's code belongs here.
#include "temporary_files.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>
#include <vector>
#include "pack_error.h"
#include "windows_files.h"

namespace velmor {
namespace {

// How a process ends when Ctrl+C ends it.
constexpr UINT kInterruptedExit = 0xC000013A;

// The registry the control handler reads, on a thread of its own: written under the
// lock, which the handler takes and keeps until the process has ended, so that no
// entry is made after it has removed them.
struct Slot {
    bool used;
    HANDLE folder;
    bool isFolder;
    char name[256];
};
Slot g_slots[16];
std::mutex g_slotsWritten;

// Marks what is open at handle for removal: it goes when the last handle to it closes
// (at once where the file system removes names the POSIX way).
bool Remove(HANDLE handle)
{
    FILE_DISPOSITION_INFO_EX posix{FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
    // FileDispositionInfoEx, which the headers at hand do not name.
    const auto dispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    if (SetFileInformationByHandle(handle, dispositionEx, &posix, sizeof posix))
        return true;
    FILE_DISPOSITION_INFO classic{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &classic, sizeof classic) != FALSE;
}

// Removes a file, or a folder with the entries in it (one level deep).
void RemoveEntry(HANDLE folder, const std::string &name, bool isFolder)
{
    HANDLE entry;
    if (!isFolder) {
        if (OpenIn(folder, name, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, entry) >= 0) {
            Remove(entry);
            CloseHandle(entry);
        }
        return;
    }
    if (OpenIn(folder, name, kFolderAccess | DELETE, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT,
               entry) < 0)
        return;
    std::string reason;
    if (std::optional<std::vector<std::string>> names = NamesInFolder(entry, reason)) {
        for (const std::string &child : *names) {
            HANDLE opened;
            if (OpenIn(entry, child, DELETE, FILE_OPEN, FILE_OPEN_REPARSE_POINT, opened) >= 0) {
                Remove(opened);
                CloseHandle(opened);
            }
        }
    }
    Remove(entry);
    CloseHandle(entry);
}

BOOL WINAPI OnControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    g_slotsWritten.lock();
    for (int i = static_cast<int>(std::size(g_slots)) - 1; i >= 0; --i) {
        if (g_slots[i].used)
            RemoveEntry(g_slots[i].folder, g_slots[i].name, g_slots[i].isFolder);
    }
    // Ended here, the other threads write nothing more; the handles close, and with
    // them go the files marked for removal.
    TerminateProcess(GetCurrentProcess(), kInterruptedExit);
    return TRUE;
}

// Whether the process runs: one that ended is not, even while someone holds it open.
bool Running(DWORD pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER; // no such process; else not ours to ask
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return !ended;
}

} // namespace

std::string TemporaryName(const std::string &target, const char *role)
{
    static std::atomic<unsigned long> counter{0};
    // One process id space per machine.
    return FormatTemporaryName(target, 0, static_cast<long>(GetCurrentProcessId()), ++counter, role);
}

int RemoveStaleTemporaries(SystemHandle handle, const std::string &target)
{
    HANDLE folder = AsHandle(handle);
    std::string reason;
    std::optional<std::vector<std::string>> names = NamesInFolder(folder, reason);
    if (!names)
        return 0;
    uint64_t hash = TemporaryNameHash(target);
    int removed = 0;
    for (const std::string &name : *names) {
        TemporaryNameFields parsed;
        if (!ParseTemporaryName(name, parsed) || (!target.empty() && parsed.targetHash != hash) ||
            parsed.idSpace != 0 || static_cast<DWORD>(parsed.pid) == GetCurrentProcessId() ||
            Running(static_cast<DWORD>(parsed.pid)))
            continue;
        HANDLE entry;
        if (OpenIn(folder, name, FILE_READ_ATTRIBUTES, FILE_OPEN, FILE_OPEN_REPARSE_POINT, entry) < 0)
            continue;
        OpenFacts facts;
        bool isFolder = ReadOpenFacts(entry, facts) && facts.IsFolder();
        CloseHandle(entry);
        RemoveEntry(folder, name, isFolder);
        ++removed;
    }
    return removed;
}

TemporaryEntry::TemporaryEntry(SystemHandle folder, const std::string &name, bool isFolder) : slot_(-1)
{
    if (name.size() >= sizeof g_slots[0].name)
        throw PackError(name + ": a temporary name too long");
    HANDLE own;
    if (!DuplicateHandle(GetCurrentProcess(), AsHandle(folder), GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        throw PackError("cannot keep track of a temporary file: " + SystemReason(GetLastError()));
    std::lock_guard<std::mutex> lock(g_slotsWritten);
    for (int i = 0; i < static_cast<int>(std::size(g_slots)); ++i) {
        if (!g_slots[i].used) {
            Slot &s = g_slots[i];
            s.folder = own;
            s.isFolder = isFolder;
            std::memcpy(s.name, name.c_str(), name.size() + 1);
            s.used = true;
            slot_ = i;
            return;
        }
    }
    CloseHandle(own);
    throw PackError("cannot keep track of more than 16 temporary files at once");
}

TemporaryEntry::~TemporaryEntry()
{
    if (slot_ < 0)
        return;
    Slot &s = g_slots[slot_];
    RemoveEntry(s.folder, s.name, s.isFolder);
    Release();
}

void TemporaryEntry::Release()
{
    if (slot_ < 0)
        return;
    HANDLE folder;
    {
        std::lock_guard<std::mutex> lock(g_slotsWritten);
        folder = g_slots[slot_].folder;
        g_slots[slot_].used = false;
    }
    CloseHandle(folder);
    slot_ = -1;
}

TemporaryPath::TemporaryPath(const std::string &target, const char *role, bool isFolder)
{
    std::string folder, name;
    DWORD error = 0;
    HANDLE opened = OpenFolderOf(target, folder, name, error);
    if (opened == INVALID_HANDLE_VALUE)
        throw PackError(target + ": cannot write beside it: " + folder + ": " + SystemReason(error));
    folder_ = AsSystemHandle(opened);
    RemoveStaleTemporaries(folder_, name);
    std::string temporary = TemporaryName(name, role);
    path_ = folder + (folder.back() == '\\' || folder.back() == '/' ? "" : "\\") + temporary;
    try {
        entry_ = std::make_unique<TemporaryEntry>(folder_, temporary, isFolder);
    } catch (...) {
        CloseHandle(opened);
        throw;
    }
}

TemporaryPath::~TemporaryPath()
{
    entry_.reset();
    CloseHandle(AsHandle(folder_));
}

void RemoveTemporariesOnSignals()
{
    // Where whoever started the program made it ignore Ctrl+C, the system does not
    // pass Ctrl+C on to handlers, so it stays ignored.
    SetConsoleCtrlHandler(OnControl, TRUE);
}

} // namespace velmor
