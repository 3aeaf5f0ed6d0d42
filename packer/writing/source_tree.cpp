#include "source_tree.h"

#include <algorithm>
#include <filesystem>
#include "file_facts.h"
#include "filetime.h"
#include "input_file.h"
#include "pack_error.h"
#include "utf8_path.h"

namespace velmor {
namespace {

std::string Join(const std::string &a, const std::string &b)
{
    return a.empty() ? b : a + "/" + b;
}

FileFacts LookOrThrow(const std::string &path, bool followLinks)
{
    std::string reason;
    std::optional<FileFacts> facts = LookAt(path, followLinks, reason);
    if (!facts)
        throw PackError(path + ": " + reason);
    return *facts;
}

uint64_t FileTime(const FileMoment &t)
{
    return FileTimeFromUnix(t.seconds, t.nanoseconds);
}

SourceFile DescribeFile(const std::string &path, const std::string &directory,
                        const std::string &name, const FileFacts &facts, bool throughLink)
{
    SourceFile file;
    file.directory = directory;
    file.name = name;
    file.path = path;
    file.identity = {facts.identity.device, facts.identity.inode, throughLink};
    file.size = facts.size;
    file.lastWriteTime = FileTime(facts.lastWrite);
    file.lastAccessTime = FileTime(facts.lastAccess);
    file.creationTime = facts.creation ? FileTime(*facts.creation) : file.lastWriteTime;
    file.readOnly = facts.readOnly;
    file.hidden = facts.hidden;
    file.system = facts.system;
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
    std::string reason;
    std::optional<std::string> resolved = ResolvedPath(path, reason);
    if (!resolved)
        throw PackError(path + ": broken symbolic link: " + reason);
    std::filesystem::path target = PathOf(*resolved);
    if (!scan.options.followOutsideLinks && !LiesWithin(scan.canonicalRoot, target))
        throw PackError(path + ": a symbolic link to " + TextOf(target) +
                        ", outside the source folder; copy the file in, or give --follow-links to pack it");
    return TextOf(target);
}

// Problems for a file that cannot be read, a warning for one only its owner may read.
void CheckReadable(const Scan &scan, const std::string &path, const FileFacts &facts)
{
    std::string reason = WhyNotReadable(path);
    if (!reason.empty())
        throw PackError(path + ": cannot read the file: " + reason);
    if (!facts.othersMayRead)
        scan.tree.warnings.push_back(path + ": only its owner may read it, as secrets such as keys are kept; "
                                            "anyone who has the package can read it");
}

// Returns whether any file lies below the folder.
bool Walk(const Scan &scan, const std::string &relative)
{
    const std::string &root = scan.root;
    SourceTree &tree = scan.tree;
    std::string folder = relative.empty() ? root : root + "/" + relative;
    std::string reason;
    std::optional<std::vector<std::string>> listed = ListFolder(folder, reason);
    if (!listed) {
        tree.problems.push_back(folder + ": cannot read the folder: " + reason);
        return false;
    }
    std::vector<std::string> names = std::move(*listed);
    std::sort(names.begin(), names.end());

    bool anyFile = false;
    for (const std::string &name : names) {
        std::string path = folder + "/" + name;
        try {
            FileFacts facts = LookOrThrow(path, false);
            const bool throughLink = facts.isLink;
            if (throughLink) {
                std::string why;
                std::optional<FileFacts> target = LookAt(path, true, why);
                if (!target)
                    throw PackError(path + ": broken symbolic link: " + why);
                if (target->isFolder)
                    throw PackError(path + ": expected a regular file or folder, found a symbolic link to a folder; "
                                           "copy the folder into the source tree instead");
                if (!target->isRegular)
                    throw PackError(path + ": expected a regular file or folder, found a symbolic link to " +
                                    target->kindName);
                // The file checked is the file recorded, whatever the link says later.
                facts = LookOrThrow(CheckLinkTarget(scan, path), true);
                if (!facts.isRegular)
                    throw PackError(path + ": the symbolic link changed while the folder was read");
            }
            if (facts.isFolder) {
                if (Walk(scan, Join(relative, name)))
                    anyFile = true;
            } else if (facts.isRegular) {
                CheckReadable(scan, path, facts);
                tree.files.push_back(DescribeFile(path, relative, name, facts, throughLink));
                anyFile = true;
            } else {
                throw PackError(path + ": expected a regular file or folder, found " + facts.kindName);
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
    std::string reason;
    std::optional<FileFacts> facts = LookAt(root, true, reason);
    if (!facts)
        throw PackError(root + ": cannot read the folder to pack: " + reason);
    if (!facts->isFolder)
        throw PackError(root + ": expected a folder to pack, found " +
                        (facts->isRegular ? "a file" : facts->kindName));
    SourceTree tree;
    std::optional<std::string> resolvedRoot = ResolvedPath(root, reason);
    if (!resolvedRoot)
        throw PackError(root + ": cannot read the folder to pack: " + reason);
    Scan scan{root, PathOf(*resolvedRoot), options, tree};
    Walk(scan, "");
    return tree;
}

} // namespace velmor
