#include "package_extract.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>
#include "codepage.h"
#include "filetime.h"
#include "pack_error.h"
#include "package_report.h"
#include "szdd_expand.h"
#include "windows_names.h"

namespace velmor {
namespace {

constexpr uint32_t kReadOnly = 0x01;
constexpr size_t kCopyChunk = 1 << 20;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(Descriptor &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The levels of a stored name as Windows resolves them: trailing dots and spaces
// dropped, empty and "." levels skipped.
std::vector<std::string> Levels(const std::string &ansi, int codePage)
{
    std::vector<std::string> levels;
    for (std::string level : SplitLevels(ansi, codePage)) {
        while (!level.empty() && (level.back() == '.' || level.back() == ' '))
            level.pop_back();
        if (!level.empty())
            levels.push_back(level);
    }
    return levels;
}

// The level as a host file name; refuses what Windows cannot create.
std::string HostName(const std::string &level, int codePage)
{
    for (size_t i = 0; i < level.size();) {
        auto c = static_cast<unsigned char>(level[i]);
        if (IsDoubleByteLead(c, codePage) && i + 1 < level.size()) {
            i += 2;
            continue;
        }
        if (c < 0x20 || std::strchr("<>\"|?*:", c) != nullptr)
            throw PackError("the name " + DisplayText(level, codePage) +
                            " holds a character Windows does not allow in file names");
        ++i;
    }
    if (level == "..")
        throw PackError("the name leads out of the destination folder");
    auto decoded = DecodeFromCodePage(level, codePage);
    if (!decoded)
        throw PackError("the name " + DisplayText(level, codePage) + " is not text in code page " +
                        std::to_string(codePage) + "; give the package's code page with --codepage");
    return *decoded;
}

// An existing name in the folder that Windows would take for name (letter case
// aside), or name itself.
std::string ExistingSpelling(int folder, const std::string &name)
{
    struct stat info;
    if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return name;
    int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return name;
    DIR *dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return name;
    }
    std::string found = name;
    std::string folded = FoldCase(name);
    while (dirent *e = readdir(dir)) {
        if (FoldCase(e->d_name) == folded) {
            found = e->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Opens (creating if need be) one folder level below parent, never through a
// symbolic link.
Descriptor OpenFolder(int parent, const std::string &name)
{
    std::string actual = ExistingSpelling(parent, name);
    if (mkdirat(parent, actual.c_str(), 0777) != 0 && errno != EEXIST)
        throw PackError(name + ": cannot create the folder: " + std::strerror(errno));
    int fd = openat(parent, actual.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw PackError(actual + ": cannot open the folder: " +
                        (errno == ENOTDIR || errno == ELOOP ? std::string("a file or symbolic link of that name is in the way")
                                                            : std::strerror(errno)));
    return Descriptor(fd);
}

void WriteAll(int fd, const char *data, size_t size, const std::string &name)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw PackError(name + ": cannot write: " + std::strerror(errno));
        data += n;
        size -= static_cast<size_t>(n);
    }
}

uint64_t ExtractEntry(const ByteSource &source, const PackageEntry &entry, bool compressed, int root,
                      int codePage)
{
    std::vector<std::string> directories = Levels(entry.directory, codePage);
    std::vector<std::string> names = Levels(entry.fileName, codePage);
    if (names.size() != 1)
        throw PackError("the file name is not a plain name; the stub stops here");
    std::string fileName = HostName(names[0], codePage);

    // Expanded first: data that does not expand leaves no target, as with the stub.
    std::string expanded;
    if (compressed) {
        std::string data(entry.dataSize, '\0');
        source.Read(entry.dataOffset, data.data(), data.size());
        expanded = SzddExpand(data, "compressed data");
    }

    Descriptor folder;
    int at = root;
    std::string where;
    for (const std::string &level : directories) {
        std::string hostLevel = HostName(level, codePage);
        folder = OpenFolder(at, hostLevel);
        at = folder.get();
        where += hostLevel + "/";
    }
    std::string target = ExistingSpelling(at, fileName);
    std::string shown = where + target;
    Descriptor file(openat(at, target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0)
        throw PackError(shown + ": cannot write: " +
                        (errno == ELOOP ? std::string("a symbolic link of that name is in the way")
                                        : std::string(std::strerror(errno)) +
                                              (errno == EACCES ? " (a read-only file from an earlier extraction?)" : "")));
    uint64_t written = 0;
    if (compressed) {
        WriteAll(file.get(), expanded.data(), expanded.size(), shown);
        written = expanded.size();
    } else {
        std::vector<char> buffer(std::min<size_t>(entry.dataSize, kCopyChunk));
        for (uint64_t done = 0; done < entry.dataSize;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), entry.dataSize - done));
            source.Read(entry.dataOffset + done, buffer.data(), n);
            WriteAll(file.get(), buffer.data(), n, shown);
            done += n;
        }
        written = entry.dataSize;
    }

    uint32_t accessNs = 0;
    uint32_t writeNs = 0;
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(UnixFromFileTime(entry.lastAccessTime, &accessNs));
    times[0].tv_nsec = accessNs;
    times[1].tv_sec = static_cast<time_t>(UnixFromFileTime(entry.lastWriteTime, &writeNs));
    times[1].tv_nsec = writeNs;
    if (futimens(file.get(), times) != 0)
        throw PackError(shown + ": cannot set the time stamps: " + std::strerror(errno));
    struct stat info;
    if (fstat(file.get(), &info) != 0)
        throw PackError(shown + ": " + std::strerror(errno));
    mode_t mode = info.st_mode & 07777;
    mode = entry.attributes & kReadOnly ? mode & ~mode_t(0222) : mode | S_IWUSR;
    if (fchmod(file.get(), mode) != 0)
        throw PackError(shown + ": cannot set the permissions: " + std::strerror(errno));
    return written;
}

bool StopsTheRun(ProblemKind kind)
{
    return kind == ProblemKind::Structure || kind == ProblemKind::Name || kind == ProblemKind::Content;
}

} // namespace

ExtractSummary ExtractPackage(const ByteSource &source, const PackageContents &contents,
                              const std::string &destination, int codePage, const ExtractProgress &progress)
{
    if (!contents.trailerSound || !contents.entriesReadable) {
        for (const PackageProblem &p : contents.problems) {
            if (p.index == 0 && p.kind == ProblemKind::Structure)
                throw PackError(p.what + "; nothing was extracted");
        }
        throw PackError("the package cannot be read; nothing was extracted");
    }
    std::error_code error;
    std::filesystem::create_directories(destination, error);
    Descriptor root(open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0)
        throw PackError(destination + ": cannot create or open the destination folder: " +
                        (error ? error.message() : std::string(std::strerror(errno))));

    uint64_t total = 0;
    for (const PackageEntry &e : contents.entries)
        total += e.dataSize;
    ExtractSummary summary;
    uint64_t done = 0;
    for (uint32_t index = 1; index <= contents.entryCount; ++index) {
        const PackageEntry *entry = index <= contents.entries.size() ? &contents.entries[index - 1] : nullptr;
        auto stop = [&](const PackageProblem &problem) {
            throw PackError(ProblemLine(problem, codePage) + "; stopped there, " +
                            (index == 1 ? std::string("nothing was extracted")
                                        : "entries 1 to " + std::to_string(index - 1) + " were extracted"));
        };
        for (const PackageProblem &p : contents.problems) {
            if (p.index == index && StopsTheRun(p.kind))
                stop(p);
        }
        if (!entry)
            stop({index, "", ProblemKind::Structure, "the record could not be read"});
        try {
            summary.bytes += ExtractEntry(source, *entry, contents.compressed(), root.get(), codePage);
        } catch (const PackError &e) {
            stop({index, entry->path, ProblemKind::Structure, e.what()});
        }
        ++summary.files;
        done += entry->dataSize;
        if (progress)
            progress(done, total);
        if (index == UINT32_MAX)
            break;
    }
    return summary;
}

} // namespace velmor
