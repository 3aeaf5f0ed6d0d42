// What reading a file means on every system, above the system's own calls.
#include "byte_source.h"
#include "input_file.h"
#include "pack_error.h"

namespace velmor {

InputFile::InputFile(const std::string &path, uint64_t maxSize) : path_(path)
{
    Open(maxSize, true, nullptr);
}

InputFile::InputFile(const std::string &path, const ScannedFile &scanned) : path_(path)
{
    Open(kMaxInputSize, scanned.throughLink, &scanned);
}

void CheckInputKind(const std::string &path, bool isRegular, const char *kindName, uint64_t size, uint64_t maxSize)
{
    if (!isRegular)
        throw PackError(path + ": expected a regular file, found " + kindName);
    if (size > maxSize)
        throw PackError(path + ": expected at most " + std::to_string(maxSize) + " bytes, found " +
                        std::to_string(size));
}

std::string ReplacedInput(const std::string &path, bool scanned)
{
    if (!scanned)
        return path + ": the file was replaced while it was being opened";
    return path + ": the file changed while it was being packed: another file, or a symbolic link, took its place "
                  "(or the place of a folder above it) after the folder was read";
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

std::string ReadWholeFile(const std::string &path, uint64_t maxSize)
{
    InputFile file(path, maxSize);
    std::string data(static_cast<size_t>(file.size()), '\0');
    // A file that grows while it is read is read up to its size when it was opened.
    data.resize(file.ReadFull(data.data(), data.size()));
    return data;
}

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::string &path) : file_(path, UINT64_MAX) {}
    uint64_t Size() const override { return file_.size(); }
    void Read(uint64_t offset, void *buffer, size_t count) const override
    {
        char *into = static_cast<char *>(buffer);
        while (count > 0) {
            size_t n = file_.ReadAt(offset, into, count);
            if (n == 0)
                throw PackError(file_.path() + ": cannot read: the file got shorter while being read");
            into += n;
            offset += n;
            count -= n;
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
