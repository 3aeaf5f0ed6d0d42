// Scratch files on Linux. Only the Linux build's code belongs here.
#include "scratch_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include "linux_files.h"
#include "pack_error.h"
#include "temporary_files.h"

namespace velmor {
namespace {

// Scratch files are registered one at a time, for the moment they have a name: however
// many are made at once, they hold at most one of the registry's few slots.
std::mutex g_naming;

std::string CannotWrite(const std::string &target, const std::string &reason)
{
    return target + ": cannot write a temporary file beside it: " + reason;
}

} // namespace

ScratchFile::ScratchFile(const std::string &target) : target_(target)
{
    std::string folderPath, targetName;
    int folder = OpenFolderOf(target, folderPath, targetName);
    if (folder < 0)
        throw PackError(CannotWrite(target, folderPath + ": " + std::strerror(errno)));
    int error = 0;
    try {
        std::lock_guard<std::mutex> lock(g_naming);
        std::string name = TemporaryName(targetName, "part");
        // Registered before it exists; the entry's end removes the name again, and
        // the file lives on through its handle alone.
        TemporaryEntry entry(folder, name, false);
        handle_ = openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        error = errno;
    } catch (...) {
        close(folder);
        throw;
    }
    close(folder);
    if (handle_ < 0)
        throw PackError(CannotWrite(target, std::strerror(error)));
}

ScratchFile::~ScratchFile()
{
    close(handle_);
}

void ScratchFile::Write(const char *bytes, size_t count)
{
    if (int error = WriteAll(handle_, bytes, count))
        throw PackError(CannotWrite(target_, std::strerror(error)));
    size_ += count;
}

void ScratchFile::CopyInto(OutputFile &out)
{
    if (lseek(handle_, 0, SEEK_SET) != 0)
        throw PackError(CannotWrite(target_, std::strerror(errno)));
    uint64_t copied = out.CopyFrom(handle_, size_, target_ + " (a temporary file beside it)");
    if (copied != size_)
        throw PackError(target_ + ": a temporary file beside it gave back " + std::to_string(copied) + " of the " +
                        std::to_string(size_) + " bytes written to it");
}

} // namespace velmor
