// Files read on Linux. Only the Linux build's code belongs here.
#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "linux_files.h"
#include "pack_error.h"

namespace velmor {

const char *FileTypeName(unsigned mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "a special file";
}

namespace {

void CheckStat(const std::string &path, const struct stat &info, uint64_t maxSize)
{
    CheckInputKind(path, S_ISREG(info.st_mode), FileTypeName(info.st_mode), static_cast<uint64_t>(info.st_size),
                   maxSize);
}

struct stat StatOrThrow(const std::string &path, bool followLink = true)
{
    struct stat info;
    if ((followLink ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
    return info;
}

bool SameFile(const struct stat &info, const ScannedFile &scanned)
{
    return static_cast<uint64_t>(info.st_dev) == scanned.device && static_cast<uint64_t>(info.st_ino) == scanned.inode;
}

} // namespace

void InputFile::Open(uint64_t maxSize, bool followLink, const ScannedFile *scanned)
{
    const std::string &path = path_;
    struct stat before = StatOrThrow(path, followLink);
    // A link may have taken the number of the file it replaced, removed since.
    if (scanned && (!SameFile(before, *scanned) || !S_ISREG(before.st_mode)))
        throw PackError(ReplacedInput(path, true));
    CheckStat(path, before, maxSize);
    // Non-blocking, in case a FIFO took the file's place since the check.
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    int fd = open(path.c_str(), flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(path.c_str(), flags);
    const std::string replaced = ReplacedInput(path, scanned != nullptr);
    if (fd < 0 && errno == ELOOP && !followLink)
        throw PackError(replaced); // a link took the file's place since the check
    if (fd < 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_dev != before.st_dev || info.st_ino != before.st_ino) {
        close(fd);
        throw PackError(replaced);
    }
    try {
        CheckStat(path, info, maxSize);
    } catch (...) {
        close(fd);
        throw;
    }
    // Blocking again; O_NOATIME, a status flag as well, stays.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    size_ = static_cast<uint64_t>(info.st_size);
}

InputFile::~InputFile()
{
    close(static_cast<int>(handle_));
}

size_t InputFile::Read(char *buffer, size_t count)
{
    for (;;) {
        ssize_t n = read(static_cast<int>(handle_), buffer, count);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            throw PackError(path_ + ": cannot read: " + std::strerror(errno));
    }
}

size_t InputFile::ReadAt(uint64_t offset, char *buffer, size_t count) const
{
    for (;;) {
        ssize_t n = pread(static_cast<int>(handle_), buffer, count, static_cast<off_t>(offset));
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            throw PackError(path_ + ": cannot read: " + std::strerror(errno));
    }
}

bool InputFile::Seek(uint64_t offset)
{
    return lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::optional<uint64_t> SizeOfFile(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

void RequireRegularFile(const std::string &path, uint64_t maxSize)
{
    CheckStat(path, StatOrThrow(path), maxSize);
}

} // namespace velmor
