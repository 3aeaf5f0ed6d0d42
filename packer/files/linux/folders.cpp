// Open folders on Linux, through the *at calls. Only the Linux build's code belongs here.
#include "folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "pack_error.h"

namespace velmor {

int OpenFolder(const std::string &path, std::string &reason)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        reason = std::strerror(errno);
    return fd;
}

int OpenFolderIn(int folder, const std::string &name, std::string &reason, bool &inTheWay)
{
    int fd = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        inTheWay = errno == ENOTDIR || errno == ELOOP;
        reason = std::strerror(errno);
    }
    return fd;
}

bool CreateFolderIn(int folder, const std::string &name, const std::string &shown)
{
    if (mkdirat(folder, name.c_str(), 0777) == 0)
        return true;
    if (errno != EEXIST)
        throw PackError(shown + ": cannot create the folder: " + std::strerror(errno));
    return false;
}

void RemoveEmptyFolderIn(int folder, const std::string &name)
{
    unlinkat(folder, name.c_str(), AT_REMOVEDIR);
}

void RemoveEmptyFolder(const std::string &path)
{
    rmdir(path.c_str());
}

std::optional<FileFacts> LookAtIn(int folder, const std::string &name)
{
    struct stat info;
    if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    FileFacts facts;
    facts.isRegular = S_ISREG(info.st_mode);
    facts.isFolder = S_ISDIR(info.st_mode);
    facts.isLink = S_ISLNK(info.st_mode);
    facts.kindName = FileTypeName(info.st_mode);
    facts.identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), false};
    facts.size = static_cast<uint64_t>(info.st_size);
    facts.lastWrite = {info.st_mtim.tv_sec, static_cast<uint32_t>(info.st_mtim.tv_nsec)};
    facts.lastAccess = {info.st_atim.tv_sec, static_cast<uint32_t>(info.st_atim.tv_nsec)};
    facts.ownerWritable = (info.st_mode & S_IWUSR) != 0;
    facts.othersMayRead = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
    return facts;
}

std::optional<std::vector<std::string>> ListOpenFolder(int folder, std::string &reason)
{
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        reason = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(dir);
    return names;
}

} // namespace velmor
