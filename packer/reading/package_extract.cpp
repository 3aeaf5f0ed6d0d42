#include "package_extract.h"

#include <filesystem>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include "codepage.h"
#include "descriptor.h"
#include "file_facts.h"
#include "filetime.h"
#include "folders.h"
#include "name_rule.h"
#include "output_file.h"
#include "package_layout.h"
#include "pack_error.h"
#include "package_report.h"
#include "szdd_expand.h"
#include "temporary_files.h"
#include "windows_names.h"
#include "utf8_path.h"

namespace velmor {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

// The names in one folder, read once: each name, and the first of each spelling
// that Windows takes for the same name.
class FolderIndex {
public:
    explicit FolderIndex(SystemHandle folder)
    {
        std::string reason;
        std::optional<std::vector<std::string>> names = ListOpenFolder(folder, reason);
        if (!names)
            throw PackError("cannot read the folder: " + reason);
        bool temporaries = false;
        for (const std::string &name : *names) {
            if (IsTemporaryName(name))
                temporaries = true;
            else
                Add(name);
        }
        // What an extraction that was killed left here.
        if (temporaries)
            RemoveStaleTemporaries(folder, "");
    }

    // The name as it exists in the folder, letter case aside; empty when none does.
    std::string Find(const std::string &name) const
    {
        if (names_.count(name))
            return name;
        auto it = folded_.find(FoldUtf8Case(name));
        return it == folded_.end() ? std::string() : it->second;
    }

    void Add(const std::string &name)
    {
        names_.insert(name);
        folded_.emplace(FoldUtf8Case(name), name);
    }

private:
    std::unordered_set<std::string> names_;
    std::unordered_map<std::string, std::string> folded_;
};

// The level as a host file name; refuses what Windows cannot create.
std::string HostName(const std::string &level, int codePage)
{
    for (size_t i = 0; i < level.size();) {
        auto c = static_cast<unsigned char>(level[i]);
        if (IsDoubleByteLead(c, codePage) && i + 1 < level.size()) {
            i += 2;
            continue;
        }
        if (IsForbiddenNameCharacter(c) || c == ':')
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

class Extractor {
public:
    Extractor(const ByteSource &source, bool compressed, SystemHandle root, int codePage)
        : source_(source), compressed_(compressed), root_(root), codePage_(codePage)
    {
    }

    uint32_t FoldersRead() const { return foldersRead_; }

    // Writes one entry; returns the bytes written and sets shown to its path.
    uint64_t Extract(const PackageEntry &entry, std::string &shown)
    {
        std::vector<std::string> directories = ResolvedLevels(entry.directory, codePage_);
        std::vector<std::string> names = ResolvedLevels(entry.fileName, codePage_);
        if (names.size() != 1)
            throw PackError("the file name is not a plain name; the stub stops here");
        std::string fileName = HostName(names[0], codePage_);

        // Folders made for this entry go again when it fails: it leaves nothing behind.
        struct MadeFolders {
            std::vector<std::pair<SystemHandle, std::string>> made;
            bool keep = false;
            ~MadeFolders()
            {
                for (auto it = made.rbegin(); !keep && it != made.rend(); ++it)
                    RemoveEmptyFolderIn(it->first, it->second);
            }
        };
        std::vector<Descriptor> chain;
        MadeFolders madeFolders;
        SystemHandle at = root_;
        std::string where;
        for (const std::string &level : directories) {
            std::string hostLevel = HostName(level, codePage_);
            FolderIndex &index = Index(at, where);
            std::string actual = index.Find(hostLevel);
            if (actual.empty()) {
                actual = hostLevel;
                if (CreateFolderIn(at, actual, where + hostLevel))
                    madeFolders.made.emplace_back(at, actual);
                index.Add(actual);
            }
            std::string reason;
            bool inTheWay = false;
            SystemHandle opened = OpenFolderIn(at, actual, reason, inTheWay);
            if (opened == kNoHandle)
                throw PackError(where + actual + ": cannot open the folder: " +
                                (inTheWay ? std::string("a file or symbolic link of that name is in the way")
                                          : reason));
            chain.emplace_back(opened);
            at = opened;
            where += actual + "/";
        }

        FolderIndex &index = Index(at, where);
        std::string target = index.Find(fileName);
        if (target.empty())
            target = fileName;
        shown = where + target;
        CheckReplaceable(at, target, shown);
        OutputFile out(at, target, shown);
        uint64_t written = 0;
        if (compressed_) {
            written = SzddExpandTo(source_, entry.dataOffset, entry.dataSize,
                                   [&out](const char *bytes, size_t count) { out.Write({bytes, count}); },
                                   "compressed data");
        } else {
            std::vector<char> buffer(std::min<size_t>(entry.dataSize, kCopyChunk));
            for (uint64_t done = 0; done < entry.dataSize;) {
                size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), entry.dataSize - done));
                source_.Read(entry.dataOffset + done, buffer.data(), n);
                out.Write({buffer.data(), n});
                done += n;
            }
            written = entry.dataSize;
        }

        // A time Windows would not set is left as the stub leaves it: the time of now.
        auto moment = [](uint64_t fileTime) -> std::optional<FileMoment> {
            if (!IsSettableFileTime(fileTime))
                return std::nullopt;
            FileMoment m;
            m.seconds = UnixFromFileTime(fileTime, &m.nanoseconds);
            return m;
        };
        std::string reason = out.SetTimes(moment(entry.lastAccessTime), moment(entry.lastWriteTime));
        if (!reason.empty())
            throw PackError(shown + ": cannot set the time stamps: " + reason);
        reason = out.MarkHiddenAndSystem(entry.attributes & kAttributeHidden, entry.attributes & kAttributeSystem);
        if (!reason.empty())
            throw PackError(shown + ": cannot set the attributes: " + reason);
        out.Commit(PermissionsForReadOnly(out.Mode(), entry.attributes & kAttributeReadOnly));
        index.Add(target);
        madeFolders.keep = true;
        return written;
    }

private:
    FolderIndex &Index(SystemHandle folder, const std::string &where)
    {
        auto it = indexes_.find(where);
        if (it == indexes_.end()) {
            try {
                it = indexes_.emplace(where, std::make_unique<FolderIndex>(folder)).first;
                ++foldersRead_;
            } catch (const PackError &e) {
                throw PackError((where.empty() ? std::string(".") : where) + ": " + e.what());
            }
        }
        return *it->second;
    }

    // What stands at the target is replaced only if the stub could replace it.
    static void CheckReplaceable(SystemHandle folder, const std::string &name, const std::string &shown)
    {
        std::optional<FileFacts> info = LookAtIn(folder, name);
        if (!info)
            return;
        if (info->isLink)
            throw PackError(shown + ": cannot write: a symbolic link of that name is in the way");
        if (info->isFolder)
            throw PackError(shown + ": cannot write: a folder of that name is in the way");
        if (!info->isRegular)
            throw PackError(shown + ": cannot write: a special file of that name is in the way");
        // A read-only file, such as an earlier extraction leaves, is replaced, as the
        // stub replaces it.
    }

    const ByteSource &source_;
    bool compressed_;
    SystemHandle root_;
    int codePage_;
    std::map<std::string, std::unique_ptr<FolderIndex>> indexes_; // by path below the destination
    uint32_t foldersRead_ = 0;
};

bool StopsTheRun(ProblemKind kind)
{
    return kind == ProblemKind::Structure || kind == ProblemKind::Name || kind == ProblemKind::Content;
}

// The folders of destination that do not exist yet, innermost first.
std::vector<std::filesystem::path> MissingFolders(const std::string &destination)
{
    std::vector<std::filesystem::path> missing;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(PathOf(destination), error).lexically_normal();
    while (!error && !path.empty() && !std::filesystem::exists(std::filesystem::symlink_status(path))) {
        missing.push_back(path);
        if (path == path.parent_path())
            break;
        path = path.parent_path();
    }
    return missing;
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
    std::vector<std::filesystem::path> missing = MissingFolders(destination);
    std::error_code error;
    std::filesystem::create_directories(PathOf(destination), error);
    std::string reason;
    Descriptor root(OpenFolder(destination, reason));
    if (root.get() == kNoHandle)
        throw PackError(destination + ": cannot create or open the destination folder: " +
                        (error ? error.message() : reason));

    uint64_t total = 0;
    for (const PackageEntry &e : contents.entries)
        total += e.dataSize;
    Extractor extractor(source, contents.compressed(), root.get(), codePage);
    ExtractSummary summary;
    uint64_t done = 0;
    for (uint32_t index = 1; index <= contents.entryCount; ++index) {
        const PackageEntry *entry = index <= contents.entries.size() ? &contents.entries[index - 1] : nullptr;
        auto stop = [&](const PackageProblem &problem) {
            std::string left;
            if (index == 1) {
                // Folders this run made for the destination go too, so that it is true.
                for (const std::filesystem::path &folder : missing)
                    RemoveEmptyFolder(TextOf(folder));
                left = "nothing was extracted";
            } else {
                left = "entries 1 to " + std::to_string(index - 1) + " were extracted, and nothing of entry " +
                       std::to_string(index) + " was written";
            }
            throw PackError(ProblemLine(problem, codePage) + "; stopped there: " + left);
        };
        for (const PackageProblem &p : contents.problems) {
            if (p.index == index && StopsTheRun(p.kind))
                stop(p);
        }
        if (!entry)
            stop({index, "", ProblemKind::Structure, "the record could not be read"});
        std::string shown;
        try {
            summary.bytes += extractor.Extract(*entry, shown);
        } catch (const PackError &e) {
            stop({index, entry->path, ProblemKind::Structure, e.what()});
        }
        ++summary.files;
        done += entry->dataSize;
        if (progress)
            progress(shown, done, total);
        if (index == UINT32_MAX)
            break;
    }
    summary.foldersRead = extractor.FoldersRead();
    return summary;
}

} // namespace velmor
