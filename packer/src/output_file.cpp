#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include "pack_error.h"

namespace velmor {

OutputFile::OutputFile(const std::string &path) : path_(path)
{
    std::string pattern = path + ".tmpXXXXXX";
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        throw PackError(path + ": cannot create the output file: " + std::strerror(errno));
    tempPath_ = pattern;
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0) {
        close(fd_);
        unlink(tempPath_.c_str());
    }
}

void OutputFile::Write(std::string_view bytes)
{
    const char *p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PackError(path_ + ": cannot write: " + std::strerror(errno));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    size_ += bytes.size();
}

uint64_t OutputFile::CopyFrom(int fd, uint64_t count, const std::string &sourceName)
{
    uint64_t copied = 0;
    bool inKernel = true;
    std::string buffer;
    while (copied < count) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(count - copied, 8 << 20));
        ssize_t n;
        if (inKernel) {
            n = copy_file_range(fd, nullptr, fd_, nullptr, want, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(std::min<size_t>(want, 1 << 20));
            n = read(fd, &buffer[0], buffer.size());
            if (n > 0) {
                Write(std::string_view(buffer.data(), static_cast<size_t>(n)));
                size_ -= static_cast<uint64_t>(n); // counted once, below
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw PackError(sourceName + ": cannot copy into " + path_ + ": " + std::strerror(errno));
        }
        if (n == 0)
            break;
        copied += static_cast<uint64_t>(n);
        size_ += static_cast<uint64_t>(n);
    }
    return copied;
}

void OutputFile::Commit(unsigned mode)
{
    if (fchmod(fd_, mode) != 0)
        throw PackError(path_ + ": cannot finish the output file: " + std::strerror(errno));
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 || rename(tempPath_.c_str(), path_.c_str()) != 0) {
        int error = errno;
        unlink(tempPath_.c_str());
        throw PackError(path_ + ": cannot finish the output file: " + std::strerror(error));
    }
}

// The whole file in one buffer sized up front: a stream-based read of a file of some
// megabytes spends more time growing and copying buffers than compressing it takes.
std::string ReadWholeFile(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
    struct stat info;
    std::string data;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        data.resize(static_cast<size_t>(info.st_size));
    // Past the expected size (or for a file of unknown size), read through a small
    // buffer, so that EOF at the expected size costs no more memory.
    size_t used = 0;
    char extra[65536];
    for (;;) {
        bool expected = used < data.size();
        char *into = expected ? &data[used] : extra;
        ssize_t n = read(fd, into, expected ? data.size() - used : sizeof extra);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            close(fd);
            throw PackError(path + ": cannot read: " + std::strerror(error));
        }
        if (n == 0)
            break;
        if (expected) {
            used += static_cast<size_t>(n);
        } else {
            data.resize(used);
            data.append(extra, static_cast<size_t>(n));
            used = data.size();
        }
    }
    close(fd);
    data.resize(used);
    return data;
}

} // namespace velmor
