// Files written on Linux. Only the Linux build's code belongs here.
#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include "linux_files.h"
#include "pack_error.h"

namespace velmor {

namespace {

// The refusal for an existing target of that mode, or "" when it may be replaced.
std::string TargetRefusal(const std::string &shown, int statResult, const struct stat &info)
{
    if (statResult != 0 || S_ISREG(info.st_mode))
        return "";
    return shown + ": expected a regular file to write or replace, found " + FileTypeName(info.st_mode) +
           "; nothing was written";
}

} // namespace

void RequireReplaceableOutput(const std::string &path)
{
    struct stat info;
    std::string refusal = TargetRefusal(path, stat(path.c_str(), &info), info);
    if (!refusal.empty())
        throw PackError(refusal);
}

void RefuseOutputOverInputs(const std::string &option, const std::string &output,
                            const std::vector<NamedInput> &inputs)
{
    struct stat target;
    if (stat(output.c_str(), &target) != 0)
        return;
    for (const NamedInput &input : inputs) {
        struct stat info;
        if (!input.path.empty() && stat(input.path.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
            info.st_ino == target.st_ino)
            throw UsageError(option + " " + output + " is " + input.role + " (" + input.path +
                             "), which writing it would destroy; write elsewhere");
    }
}

OutputFile::OutputFile(const std::string &path, unsigned mode) : shown_(path)
{
    std::string folder, name;
    folder_ = OpenFolderOf(path, folder, name);
    if (name.empty() || name == "." || name == "..") {
        if (folder_ >= 0)
            close(folder_);
        throw PackError(path + ": expected a file name, found a folder");
    }
    if (folder_ < 0)
        throw PackError(path + ": cannot create the output file: " + folder + ": " + std::strerror(errno));
    ownsFolder_ = true;
    RemoveStaleTemporaries(folder_, name);
    Create(name, mode);
}

void OutputFile::Create(const std::string &name, unsigned mode)
{
    name_ = name;
    struct stat info;
    std::string refusal = TargetRefusal(shown_, fstatat(folder_, name.c_str(), &info, 0), info);
    if (!refusal.empty()) {
        if (ownsFolder_)
            close(folder_);
        throw PackError(refusal);
    }
    tempName_ = TemporaryName(name, "tmp");
    // The system applies the umask to what is asked for here; reading the umask itself
    // would mean setting it, for every thread at once.
    handle_ = openat(folder_, tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (handle_ < 0) {
        int error = errno;
        if (ownsFolder_)
            close(folder_);
        throw PackError(shown_ + ": cannot create the output file: " + std::strerror(error));
    }
    struct stat created;
    mode_ = fstat(handle_, &created) == 0 ? created.st_mode & 07777 : mode;
    try {
        temp_ = std::make_unique<TemporaryEntry>(folder_, tempName_, false);
    } catch (...) {
        close(handle_);
        unlinkat(folder_, tempName_.c_str(), 0);
        if (ownsFolder_)
            close(folder_);
        throw;
    }
}

OutputFile::~OutputFile()
{
    if (handle_ >= 0)
        close(handle_);
    temp_.reset(); // removes the temporary file unless committed
    if (ownsFolder_)
        close(folder_);
}

int WriteAll(int fd, const char *bytes, size_t count, int64_t at)
{
    while (count > 0) {
        ssize_t n = at < 0 ? write(fd, bytes, count) : pwrite(fd, bytes, count, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
        if (at >= 0)
            at += n;
    }
    return 0;
}

void OutputFile::Write(std::string_view bytes)
{
    if (int error = WriteAll(handle_, bytes.data(), bytes.size()))
        throw PackError(shown_ + ": cannot write: " + std::strerror(error));
    size_ += bytes.size();
}

void OutputFile::WriteAt(uint64_t offset, std::string_view bytes)
{
    if (offset > size_ || bytes.size() > size_ - offset)
        throw PackError(shown_ + ": cannot write past what was written");
    if (int error = WriteAll(handle_, bytes.data(), bytes.size(), static_cast<int64_t>(offset)))
        throw PackError(shown_ + ": cannot write: " + std::strerror(error));
}

uint64_t OutputFile::CopyFrom(SystemHandle from, uint64_t count, const std::string &sourceName)
{
    int fd = static_cast<int>(from);
    uint64_t copied = 0;
    bool inKernel = true;
    std::string buffer;
    while (copied < count) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(count - copied, 8 << 20));
        ssize_t n;
        if (inKernel) {
            n = copy_file_range(fd, nullptr, handle_, nullptr, want, 0);
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
            throw PackError(sourceName + ": cannot copy into " + shown_ + ": " + std::strerror(errno));
        }
        if (n == 0)
            break;
        copied += static_cast<uint64_t>(n);
        size_ += static_cast<uint64_t>(n);
    }
    return copied;
}

std::string OutputFile::SetTimes(std::optional<FileMoment> lastAccess, std::optional<FileMoment> lastWrite)
{
    struct timespec times[2];
    int i = 0;
    for (const std::optional<FileMoment> &moment : {lastAccess, lastWrite}) {
        times[i].tv_sec = moment ? static_cast<time_t>(moment->seconds) : 0;
        times[i].tv_nsec = moment ? static_cast<long>(moment->nanoseconds) : UTIME_NOW;
        ++i;
    }
    return futimens(handle_, times) == 0 ? std::string() : std::strerror(errno);
}

std::string OutputFile::MarkHiddenAndSystem(bool, bool)
{
    return "";
}

void OutputFile::Commit(std::optional<unsigned> mode)
{
    struct stat held {};
    if (fstat(handle_, &held) != 0)
        throw PackError(shown_ + ": cannot finish the output file: " + std::strerror(errno));
    CheckWrittenSize(static_cast<uint64_t>(held.st_size));
    if (mode && fchmod(handle_, *mode) != 0)
        throw PackError(shown_ + ": cannot finish the output file: " + std::strerror(errno));
    int fd = handle_;
    handle_ = -1;
    if (close(fd) != 0 || renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0)
        throw PackError(shown_ + ": cannot finish the output file: " + std::strerror(errno));
    temp_->Release();
}

FileInPlace::FileInPlace(const std::string &path) : path_(path), file_(open(path.c_str(), O_RDWR | O_CLOEXEC))
{
    if (file_.get() < 0)
        throw PackError(path + ": cannot open: " + std::strerror(errno));
}

void FileInPlace::WriteAt(uint64_t offset, std::string_view bytes)
{
    if (int error = WriteAll(file_.get(), bytes.data(), bytes.size(), static_cast<int64_t>(offset)))
        throw PackError(path_ + ": cannot write: " + std::strerror(error));
}

std::string FileInPlace::Finish(unsigned mode)
{
    if (fchmod(file_.get(), mode) != 0 || !file_.Close())
        return std::strerror(errno);
    return "";
}

} // namespace velmor
