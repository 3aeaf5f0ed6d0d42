#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
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
    return "a special file";
}

namespace {

void CheckStat(const std::string &path, const struct stat &info, uint64_t maxSize)
{
    if (!S_ISREG(info.st_mode))
        throw PackError(path + ": expected a regular file, found " + FileTypeName(info.st_mode));
    if (static_cast<uint64_t>(info.st_size) > maxSize)
        throw PackError(path + ": expected at most " + std::to_string(maxSize) + " bytes, found " +
                        std::to_string(info.st_size));
}

struct stat StatOrThrow(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
    return info;
}

} // namespace

InputFile::InputFile(const std::string &path, uint64_t maxSize) : path_(path)
{
    struct stat before = StatOrThrow(path);
    CheckStat(path, before, maxSize);
    // Non-blocking, in case a FIFO took the file's place since the check.
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd_ = open(path.c_str(), flags | O_NOATIME);
    if (fd_ < 0 && errno == EPERM)
        fd_ = open(path.c_str(), flags);
    if (fd_ < 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
    struct stat info;
    if (fstat(fd_, &info) != 0 || info.st_dev != before.st_dev || info.st_ino != before.st_ino) {
        close(fd_);
        throw PackError(path + ": the file was replaced while it was being opened");
    }
    try {
        CheckStat(path, info, maxSize);
    } catch (...) {
        close(fd_);
        throw;
    }
    // Blocking again; O_NOATIME, a status flag as well, stays.
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<uint64_t>(info.st_size);
}

InputFile::~InputFile()
{
    close(fd_);
}

size_t InputFile::Read(char *buffer, size_t count)
{
    for (;;) {
        ssize_t n = read(fd_, buffer, count);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            throw PackError(path_ + ": cannot read: " + std::strerror(errno));
    }
}

size_t InputFile::ReadFull(char *buffer, size_t count)
{
    size_t used = 0;
    while (used < count) {
        size_t n = Read(buffer + used, count - used);
        if (n == 0)
            break;
        used += n;
    }
    return used;
}

void RequireRegularFile(const std::string &path, uint64_t maxSize)
{
    CheckStat(path, StatOrThrow(path), maxSize);
}

std::string ReadWholeFile(const std::string &path, uint64_t maxSize)
{
    InputFile file(path, maxSize);
    std::string data(static_cast<size_t>(file.size()), '\0');
    // A file that grows while it is read is read up to its size when it was opened.
    data.resize(file.ReadFull(data.data(), data.size()));
    return data;
}

} // namespace velmor
