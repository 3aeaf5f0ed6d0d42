#include "byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "pack_error.h"

namespace velmor {

void MemorySource::Read(uint64_t offset, void *buffer, size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        throw PackError("read past the end of the package");
    std::memcpy(buffer, bytes_.data() + offset, count);
}

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::string &path) : path_(path)
    {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw PackError(path + ": cannot open: " + std::strerror(errno));
        struct stat info;
        if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd_);
            throw PackError(path + ": not a regular file; give the package file itself");
        }
        size_ = static_cast<uint64_t>(info.st_size);
    }
    ~FileSource() override { close(fd_); }
    uint64_t Size() const override { return size_; }
    void Read(uint64_t offset, void *buffer, size_t count) const override
    {
        char *into = static_cast<char *>(buffer);
        while (count > 0) {
            ssize_t n = pread(fd_, into, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw PackError(path_ + ": cannot read: " +
                                (n < 0 ? std::strerror(errno) : "the file got shorter while being read"));
            into += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
    }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

} // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string &path)
{
    return std::make_unique<FileSource>(path);
}

} // namespace velmor
