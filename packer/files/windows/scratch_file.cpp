// Scratch files on Windows. Only the Windows build's code belongs here.
#include "scratch_file.h"

#include "pack_error.h"
#include "temporary_files.h"
#include "windows_files.h"

namespace velmor {
namespace {

std::string CannotWrite(const std::string &target, const std::string &reason)
{
    return target + ": cannot write a temporary file beside it: " + reason;
}

} // namespace

// Windows removes a file opened for deletion on close when its last handle closes,
// however the process ends: the name stays while it is written, and nothing is left
// for a later run.
ScratchFile::ScratchFile(const std::string &target) : target_(target)
{
    std::string folderPath, targetName;
    DWORD error = 0;
    HANDLE folder = OpenFolderOf(target, folderPath, targetName, error);
    if (folder == INVALID_HANDLE_VALUE)
        throw PackError(CannotWrite(target, folderPath + ": " + SystemReason(error)));
    HANDLE created;
    NTSTATUS status = OpenIn(folder, TemporaryName(targetName, "part"), GENERIC_READ | GENERIC_WRITE | DELETE,
                             FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_DELETE_ON_CLOSE,
                             created);
    CloseHandle(folder);
    if (status < 0)
        throw PackError(CannotWrite(target, StatusReason(status)));
    handle_ = AsSystemHandle(created);
}

ScratchFile::~ScratchFile()
{
    CloseHandle(AsHandle(handle_));
}

void ScratchFile::Write(const char *bytes, size_t count)
{
    if (DWORD error = WriteAll(AsHandle(handle_), bytes, count))
        throw PackError(CannotWrite(target_, SystemReason(error)));
    size_ += count;
}

void ScratchFile::CopyInto(OutputFile &out)
{
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN))
        throw PackError(CannotWrite(target_, SystemReason(GetLastError())));
    uint64_t copied = out.CopyFrom(handle_, size_, target_ + " (a temporary file beside it)");
    if (copied != size_)
        throw PackError(target_ + ": a temporary file beside it gave back " + std::to_string(copied) + " of the " +
                        std::to_string(size_) + " bytes written to it");
}

} // namespace velmor
