// Temporary entries and their removal when the process is interrupted, on Windows.
// Only the Windows build's code belongs here.
#include "temporary_files.h"

#include <atomic>
#include <vector>
#include "pack_error.h"
#include "temporary_registry.h"
#include "windows_files.h"

namespace velmor {
namespace {

// How a process ends when Ctrl+C ends it.
constexpr UINT kInterruptedExit = 0xC000013A;

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
    // Kept until the process has ended, so that no entry is made after the removal.
    g_temporarySlotsWritten.lock();
    for (int i = kTemporarySlots - 1; i >= 0; --i) {
        const TemporarySlot &s = g_temporarySlots[i];
        if (s.used)
            RemoveEntry(AsHandle(s.folder), s.name, s.isFolder);
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

SystemHandle KeepTemporaryFolder(SystemHandle folder, std::string &reason)
{
    HANDLE own;
    if (DuplicateHandle(GetCurrentProcess(), AsHandle(folder), GetCurrentProcess(), &own, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
        return AsSystemHandle(own);
    reason = SystemReason(GetLastError());
    return kNoHandle;
}

void CloseTemporaryFolder(SystemHandle folder)
{
    CloseHandle(AsHandle(folder));
}

void RemoveTemporaryEntry(SystemHandle folder, const char *name, bool isFolder)
{
    RemoveEntry(AsHandle(folder), name, isFolder);
}

// The control handler runs on a thread of its own and takes the registry's lock.
void HoldInterruptions() {}
void LetInterruptionsIn() {}

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
