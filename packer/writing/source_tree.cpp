#include "source_tree.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include "filetime.h"
#include "input_file.h"
#include "pack_error.h"

namespace velmor {
namespace {

std::string Join(const std::string &a, const std::string &b)
{
    return a.empty() ? b : a + "/" + b;
}

struct statx StatOrThrow(const std::string &path, bool followLinks)
{
    struct statx sx;
    int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    unsigned mask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (statx(AT_FDCWD, path.c_str(), flags, mask, &sx) != 0)
        throw PackError(path + ": " + std::strerror(errno));
    return sx;
}

uint64_t FileTime(const struct statx_timestamp &t)
{
    return FileTimeFromUnix(t.tv_sec, t.tv_nsec);
}

SourceFile DescribeFile(const std::string &path, const std::string &directory,
                        const std::string &name, const struct statx &sx, bool throughLink)
{
    SourceFile file;
    file.directory = directory;
    file.name = name;
    file.path = path;
    file.identity = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, throughLink};
    file.size = sx.stx_size;
    file.lastWriteTime = FileTime(sx.stx_mtime);
    file.lastAccessTime = FileTime(sx.stx_atime);
    file.creationTime = (sx.stx_mask & STATX_BTIME) ? FileTime(sx.stx_btime) : file.lastWriteTime;
    file.ownerWritable = (sx.stx_mode & S_IWUSR) != 0;
    return file;
}

struct Scan {
    std::string root;                    // as given
    std::filesystem::path canonicalRoot; // with every link resolved
    ScanOptions options;
    SourceTree &tree;
};

// The file a link leads to, with every link resolved: a problem unless it lies inside
// the source folder or the options allow any target.
std::string CheckLinkTarget(const Scan &scan, const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = fs::canonical(path, error);
    if (error)
        throw PackError(path + ": broken symbolic link: " + error.message());
    if (!scan.options.followOutsideLinks && !LiesWithin(scan.canonicalRoot, target))
        throw PackError(path + ": a symbolic link to " + target.string() +
                        ", outside the source folder; copy the file in, or give --follow-links to pack it");
    return target.string();
}

// Problems for a file that cannot be read, a warning for one only its owner may read.
void CheckReadable(const Scan &scan, const std::string &path, const struct statx &sx)
{
    if (faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0)
        throw PackError(path + ": cannot read the file: " + std::strerror(errno));
    if ((sx.stx_mode & (S_IRGRP | S_IROTH)) == 0)
        scan.tree.warnings.push_back(path + ": only its owner may read it, as secrets such as keys are kept; "
                                            "anyone who has the package can read it");
}

// Returns whether any file lies below the folder.
bool Walk(const Scan &scan, const std::string &relative)
{
    const std::string &root = scan.root;
    SourceTree &tree = scan.tree;
    std::string folder = relative.empty() ? root : root + "/" + relative;
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        tree.problems.push_back(folder + ": cannot read the folder: " + std::strerror(errno));
        return false;
    }
    std::vector<std::string> names;
    while (dirent *d = readdir(dir)) {
        if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
            names.push_back(d->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());

    bool anyFile = false;
    for (const std::string &name : names) {
        std::string path = folder + "/" + name;
        try {
            struct statx sx = StatOrThrow(path, false);
            const bool throughLink = S_ISLNK(sx.stx_mode);
            if (throughLink) {
                struct statx target;
                if (statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &target) != 0)
                    throw PackError(path + ": broken symbolic link: " + std::strerror(errno));
                if (S_ISDIR(target.stx_mode))
                    throw PackError(path + ": expected a regular file or folder, found a symbolic link to a folder; "
                                           "copy the folder into the source tree instead");
                if (!S_ISREG(target.stx_mode))
                    throw PackError(path + ": expected a regular file or folder, found a symbolic link to " +
                                    FileTypeName(target.stx_mode));
                // The file checked is the file recorded, whatever the link says later.
                sx = StatOrThrow(CheckLinkTarget(scan, path), true);
                if (!S_ISREG(sx.stx_mode))
                    throw PackError(path + ": the symbolic link changed while the folder was read");
            }
            if (S_ISDIR(sx.stx_mode)) {
                if (Walk(scan, Join(relative, name)))
                    anyFile = true;
            } else if (S_ISREG(sx.stx_mode)) {
                CheckReadable(scan, path, sx);
                tree.files.push_back(DescribeFile(path, relative, name, sx, throughLink));
                anyFile = true;
            } else {
                throw PackError(path + ": expected a regular file or folder, found " + FileTypeName(sx.stx_mode));
            }
        } catch (const PackError &e) {
            tree.problems.push_back(e.what());
        }
    }
    if (!anyFile && !relative.empty())
        tree.emptyDirectories.push_back(relative);
    return anyFile;
}

} // namespace

bool LiesWithin(const std::filesystem::path &folder, const std::filesystem::path &path)
{
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

SourceTree ScanSourceTree(const std::string &root, const ScanOptions &options)
{
    struct statx sx;
    if (statx(AT_FDCWD, root.c_str(), 0, STATX_TYPE, &sx) != 0)
        throw PackError(root + ": cannot read the folder to pack: " + std::strerror(errno));
    if (!S_ISDIR(sx.stx_mode))
        throw PackError(root + ": expected a folder to pack, found " +
                        (S_ISREG(sx.stx_mode) ? "a file" : FileTypeName(sx.stx_mode)));
    SourceTree tree;
    std::error_code error;
    Scan scan{root, std::filesystem::canonical(root, error), options, tree};
    if (error)
        throw PackError(root + ": cannot read the folder to pack: " + error.message());
    Walk(scan, "");
    return tree;
}

} // namespace velmor
