// Temporary entries and their removal on signals, on Linux. Only the Linux build's code belongs here.
#include "temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <vector>
#include "linux_files.h"
#include "pack_error.h"
#include "temporary_registry.h"

namespace velmor {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// While interruptions are held, the signals this thread blocked before.
thread_local sigset_t g_unheld;

// Removes a file, or a folder with the entries in it (one level deep), using only
// calls that are safe in a signal handler.
void RemoveEntry(int folder, const char *name, bool isFolder)
{
    if (!isFolder) {
        unlinkat(folder, name, 0);
        return;
    }
    int fd = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        ssize_t n;
        while ((n = getdents64(fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                auto *entry = reinterpret_cast<struct dirent64 *>(buffer + at);
                const char *child = entry->d_name;
                if (std::strcmp(child, ".") != 0 && std::strcmp(child, "..") != 0 && unlinkat(fd, child, 0) != 0)
                    unlinkat(fd, child, AT_REMOVEDIR);
                at += entry->d_reclen;
            }
        }
        close(fd);
    }
    unlinkat(folder, name, AT_REMOVEDIR);
}

void OnSignal(int signal)
{
    for (int i = kTemporarySlots - 1; i >= 0; --i) {
        const TemporarySlot &s = g_temporarySlots[i];
        if (s.used)
            RemoveEntry(static_cast<int>(s.folder), s.name, s.isFolder);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// The pid namespace of this process: pids name processes only within it.
unsigned long long PidNamespace()
{
    static const unsigned long long id = [] {
        struct stat info;
        return stat("/proc/self/ns/pid", &info) == 0 ? static_cast<unsigned long long>(info.st_ino) : 0ULL;
    }();
    return id;
}

// Whether the process runs: a zombie, killed but not yet waited for, does not.
bool Running(pid_t pid)
{
    if (kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", static_cast<long>(pid));
    FILE *stat = std::fopen(path, "r");
    if (!stat)
        return true;
    char state = 0;
    // "pid (name) state ...": the name may hold spaces and parentheses.
    char line[512];
    if (std::fgets(line, sizeof line, stat)) {
        const char *close = std::strrchr(line, ')');
        if (close && close[1] == ' ')
            state = close[2];
    }
    std::fclose(stat);
    return state != 'Z' && state != 'X';
}

} // namespace

int OpenFolderOf(const std::string &target, std::string &folder, std::string &name)
{
    std::filesystem::path path(target);
    folder = path.has_parent_path() ? path.parent_path().string() : ".";
    name = path.filename().string();
    return open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

std::string TemporaryName(const std::string &target, const char *role)
{
    static std::atomic<unsigned long> counter{0};
    return FormatTemporaryName(target, PidNamespace(), static_cast<long>(getpid()), ++counter, role);
}

int RemoveStaleTemporaries(SystemHandle handle, const std::string &target)
{
    int folder = static_cast<int>(handle);
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return 0;
    }
    std::vector<std::string> stale;
    uint64_t hash = TemporaryNameHash(target);
    while (dirent *e = readdir(dir)) {
        TemporaryNameFields parsed;
        if (!ParseTemporaryName(e->d_name, parsed) || (!target.empty() && parsed.targetHash != hash) ||
            parsed.idSpace != PidNamespace() || parsed.pid == getpid())
            continue;
        if (!Running(static_cast<pid_t>(parsed.pid)))
            stale.push_back(e->d_name);
    }
    closedir(dir);
    for (const std::string &name : stale) {
        struct stat info;
        if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            RemoveEntry(folder, name.c_str(), S_ISDIR(info.st_mode));
    }
    return static_cast<int>(stale.size());
}

SystemHandle KeepTemporaryFolder(SystemHandle folder, std::string &reason)
{
    int fd = fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        reason = std::strerror(errno);
    return fd;
}

void CloseTemporaryFolder(SystemHandle folder)
{
    close(static_cast<int>(folder));
}

void RemoveTemporaryEntry(SystemHandle folder, const char *name, bool isFolder)
{
    RemoveEntry(static_cast<int>(folder), name, isFolder);
}

void HoldInterruptions()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals)
        sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &g_unheld);
}

void LetInterruptionsIn()
{
    sigprocmask(SIG_SETMASK, &g_unheld, nullptr);
}

TemporaryPath::TemporaryPath(const std::string &target, const char *role, bool isFolder)
{
    std::string folder, name;
    folder_ = OpenFolderOf(target, folder, name);
    if (folder_ < 0)
        throw PackError(target + ": cannot write beside it: " + folder + ": " + std::strerror(errno));
    RemoveStaleTemporaries(folder_, name);
    std::string temporary = TemporaryName(name, role);
    path_ = folder + "/" + temporary;
    try {
        entry_ = std::make_unique<TemporaryEntry>(folder_, temporary, isFolder);
    } catch (...) {
        close(static_cast<int>(folder_));
        throw;
    }
}

TemporaryPath::~TemporaryPath()
{
    entry_.reset();
    close(static_cast<int>(folder_));
}

void RemoveTemporariesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        sigaddset(&action.sa_mask, s);
    for (int s : kSignals) {
        struct sigaction old;
        // A signal ignored by whoever started the program stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(s, &action, nullptr);
    }
}

} // namespace velmor
