// File facts on Linux, from statx. Only the Linux build's code belongs here.
#include "file_facts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include "linux_files.h"

namespace velmor {
namespace {

FileMoment Moment(const struct statx_timestamp &t)
{
    return {t.tv_sec, t.tv_nsec};
}

// What stands at path, read from folder; nothing, with reason set, when nothing can
// be looked at there.
std::optional<FileFacts> Look(int folder, const char *path, int flags, std::string &reason)
{
    struct statx sx;
    unsigned mask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (statx(folder, path, flags, mask, &sx) != 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    FileFacts facts;
    facts.isRegular = S_ISREG(sx.stx_mode);
    facts.isFolder = S_ISDIR(sx.stx_mode);
    facts.isLink = S_ISLNK(sx.stx_mode);
    facts.kindName = FileTypeName(sx.stx_mode);
    facts.identity = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, false};
    facts.size = sx.stx_size;
    facts.lastWrite = Moment(sx.stx_mtime);
    facts.lastAccess = Moment(sx.stx_atime);
    if (sx.stx_mask & STATX_BTIME)
        facts.creation = Moment(sx.stx_btime);
    facts.readOnly = (sx.stx_mode & S_IWUSR) == 0;
    facts.othersMayRead = (sx.stx_mode & (S_IRGRP | S_IROTH)) != 0;
    return facts;
}

// The names an open folder holds, "." and ".." left out; closes it.
std::vector<std::string> NamesIn(DIR *dir)
{
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(dir);
    return names;
}

} // namespace

std::optional<FileFacts> LookAt(const std::string &path, bool followLinks, std::string &reason)
{
    return Look(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW, reason);
}

std::optional<FileFacts> LookAtIn(SystemHandle folder, const std::string &name)
{
    std::string reason;
    return Look(static_cast<int>(folder), name.c_str(), AT_SYMLINK_NOFOLLOW, reason);
}

std::optional<std::string> ResolvedPath(const std::string &path, std::string &reason)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) {
        reason = error.message();
        return std::nullopt;
    }
    return resolved.string();
}

std::string WhyNotReadable(const std::string &path)
{
    return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0 ? std::string() : std::strerror(errno);
}

std::optional<std::vector<std::string>> ListFolder(const std::string &path, std::string &reason)
{
    DIR *dir = opendir(path.c_str());
    if (!dir) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    return NamesIn(dir);
}

std::optional<std::vector<std::string>> ListOpenFolder(SystemHandle folder, std::string &reason)
{
    int fd = openat(static_cast<int>(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        reason = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return std::nullopt;
    }
    return NamesIn(dir);
}

} // namespace velmor
