// A package file read where needed, on Linux. Only the Linux build's code belongs here.
#include "byte_source.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include "input_file.h"
#include "pack_error.h"

namespace velmor {

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::string &path) : file_(path, UINT64_MAX) {}
    uint64_t Size() const override { return file_.size(); }
    void Read(uint64_t offset, void *buffer, size_t count) const override
    {
        char *into = static_cast<char *>(buffer);
        while (count > 0) {
            ssize_t n = pread(static_cast<int>(file_.handle()), into, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw PackError(file_.path() + ": cannot read: " +
                                (n < 0 ? std::strerror(errno) : "the file got shorter while being read"));
            into += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
    }

private:
    InputFile file_;
};

} // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string &path)
{
    return std::make_unique<FileSource>(path);
}

} // namespace velmor
