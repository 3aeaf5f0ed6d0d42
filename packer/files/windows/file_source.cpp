// A package file read where needed, on Windows. Only the Windows build's code belongs here.
#include "byte_source.h"

#include <algorithm>
#include "input_file.h"
#include "pack_error.h"
#include "windows_files.h"

namespace velmor {

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::string &path) : file_(path, UINT64_MAX) {}
    uint64_t Size() const override { return file_.size(); }
    // Reads at an offset of their own, so that threads may read at once.
    void Read(uint64_t offset, void *buffer, size_t count) const override
    {
        char *into = static_cast<char *>(buffer);
        while (count > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
            BOOL read = ReadFile(AsHandle(file_.handle()), into, want, &got, &at);
            if (!read && GetLastError() != ERROR_HANDLE_EOF)
                throw PackError(file_.path() + ": cannot read: " + SystemReason(GetLastError()));
            if (got == 0)
                throw PackError(file_.path() + ": cannot read: the file got shorter while being read");
            into += got;
            offset += got;
            count -= got;
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
