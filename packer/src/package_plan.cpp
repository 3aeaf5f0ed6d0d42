#include "package_plan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include "package_layout.h"
#include "codepage.h"
#include "pack_error.h"
#include "name_rule.h"
#include "windows_names.h"

namespace velmor {

namespace {

constexpr size_t kMaxPathLength = kPathBufferSize - 1;

std::string Encode(const std::string &text, int codePage, const std::string &what)
{
    auto encoded = EncodeForCodePage(text, codePage);
    if (!encoded)
        throw PackError(what + ": not representable in code page " + std::to_string(codePage) +
                        "; rename it or choose another --codepage");
    return *encoded;
}

std::string Backslashes(std::string text)
{
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool IsDrivePath(const std::string &path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// A relative path that stays below the destination folder.
void CheckRelativePath(const std::string &path, const std::string &what)
{
    if (IsDrivePath(path) || path.front() == '\\')
        throw PackError(what + " '" + path + "' must be relative to the destination folder");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..")
            throw PackError(what + " '" + path + "' has an empty, '.' or '..' part");
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

std::string NormalizeLineBreaks(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

TrailerFields PlanTrailer(const PackageSettings &s, std::vector<std::string> &warnings,
                          std::string &checkFolder)
{
    TrailerFields t;
    t.mode = s.mode;
    t.compressed = s.compressed;
    if (!s.folder.empty()) {
        t.defaultFolder = EncodeDestinationFolder(s.folder, s.codePage);
        if (t.defaultFolder.size() > kMaxPathLength)
            throw PackError("--folder is " + std::to_string(t.defaultFolder.size()) +
                            " bytes long; at most 255 fit");
    } else if (s.mode == kModeSetup) {
        warnings.push_back("no --folder given: setup mode extracts into the stub's own folder, or " +
                           std::string(FALLBACK_FOLDER) + " when it lies on removable or network media");
    }
    checkFolder = t.defaultFolder.empty() ? FALLBACK_FOLDER : t.defaultFolder;

    if (!s.setupProgram.empty()) {
        t.setupProgram = Encode(Backslashes(s.setupProgram), s.codePage, "--run");
        CheckRelativePath(t.setupProgram, "--run");
        int check = CheckNameInCodePage(t.setupProgram, true, s.codePage);
        if (check != kNameAccepted)
            throw PackError("--run '" + s.setupProgram + "' " + NameRefusal(check, true));
        std::string full = JoinBelowFolder(checkFolder, t.setupProgram, s.codePage);
        if (full.size() > kMaxPathLength)
            throw PackError("--run: the program's full path " + full + " is " +
                            std::to_string(full.size()) + " bytes long; at most 255 fit");
    }
    t.description = Encode(NormalizeLineBreaks(s.description), s.codePage, "the description");
    if (t.description.size() >= kDescriptionSize)
        throw PackError("the description is " + std::to_string(t.description.size()) +
                        " bytes long in code page " + std::to_string(s.codePage) + "; at most 511 fit");
    return t;
}

} // namespace

std::string EncodeDestinationFolder(const std::string &folder, int codePage)
{
    std::string encoded = Encode(Backslashes(folder), codePage, "--folder '" + folder + "'");
    if (!IsDrivePath(encoded) || encoded.size() < 3 || encoded[2] != '\\')
        throw PackError("--folder '" + folder +
                        "' must be a full Windows path beginning with a drive letter, such as C:\\Setup");
    return encoded;
}

PackagePlan PlanPackage(std::vector<SourceFile> files, const PackageSettings &settings)
{
    RequireSupportedCodePage(settings.codePage);
    PackagePlan plan;
    std::string checkFolder;
    plan.trailer = PlanTrailer(settings, plan.warnings, checkFolder);

    // The folder's own files first, then one group per directory, each sorted by name.
    std::sort(files.begin(), files.end(), [](const SourceFile &a, const SourceFile &b) {
        if (a.directory != b.directory)
            return a.directory < b.directory;
        return a.name < b.name;
    });

    std::map<std::string, std::string> seen; // case-folded stored path -> source
    std::string previousDirectory;
    for (const SourceFile &file : files) {
        std::string display = file.directory.empty() ? file.name : file.directory + "/" + file.name;
        CheckCreatableName(file.name, display);
        size_t start = 0;
        while (!file.directory.empty() && start <= file.directory.size()) {
            size_t end = file.directory.find('/', start);
            CheckCreatableName(file.directory.substr(start, end - start), display);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (file.size > kMaxFileSize)
            throw PackError(display + ": the file is 4 GiB or larger; a package cannot hold it");

        PlannedEntry entry;
        entry.sourcePath = file.path;
        entry.displayPath = display;
        std::string name = Encode(file.name, settings.codePage, display);
        std::string directory = Encode(Backslashes(file.directory), settings.codePage, display);
        if (name.size() > kMaxPathLength)
            throw PackError(display + ": the name is " + std::to_string(name.size()) +
                            " bytes long; at most 255 fit");
        // The checks above are stricter than the stub's; this is the stub's own rule.
        int check = CheckNameInCodePage(name, false, settings.codePage);
        if (check != kNameAccepted)
            throw PackError(display + ": the name " + NameRefusal(check, false));
        check = directory.empty() ? kNameAccepted : CheckNameInCodePage(directory, true, settings.codePage);
        if (check != kNameAccepted)
            throw PackError(display + ": its folder " + NameRefusal(check, true));
        std::string target = JoinBelowFolder(JoinBelowFolder(checkFolder, directory, settings.codePage), name,
                                             settings.codePage);
        if (target.size() > kMaxPathLength)
            throw PackError(display + ": the destination path " + target + " is " +
                            std::to_string(target.size()) + " characters long; at most 255 fit");

        std::string stored = FoldCase(directory.empty() ? name : directory + "\\" + name);
        auto [it, inserted] = seen.emplace(stored, display);
        if (!inserted)
            throw PackError(display + ": Windows does not tell it apart from " + it->second +
                            " (names differ only in letter case)");

        entry.header.fileName = name;
        if (file.directory != previousDirectory)
            entry.header.directoryName = directory;
        previousDirectory = file.directory;
        entry.header.attributes = file.ownerWritable ? kAttributeArchive : kAttributeReadOnly;
        entry.header.creationTime = file.creationTime;
        entry.header.lastAccessTime = file.lastAccessTime;
        entry.header.lastWriteTime = file.lastWriteTime;
        entry.header.dataSize = static_cast<uint32_t>(file.size);
        plan.entries.push_back(std::move(entry));
    }

    // Folder names that collide with a file name of the same level.
    for (const PlannedEntry &entry : plan.entries) {
        std::string dir = FoldCase(entry.header.directoryName);
        while (!dir.empty()) {
            auto it = seen.find(dir);
            if (it != seen.end())
                throw PackError(entry.displayPath + ": its folder has the name of the file " + it->second);
            size_t cut = dir.rfind('\\');
            dir = cut == std::string::npos ? "" : dir.substr(0, cut);
        }
    }

    if (!plan.trailer.setupProgram.empty() && !seen.count(FoldCase(plan.trailer.setupProgram)))
        plan.warnings.push_back("the setup program " + settings.setupProgram +
                                " is not among the packed files; it must already exist at the destination");
    if (plan.entries.empty())
        plan.warnings.push_back("the source folder holds no files; the package extracts nothing");
    return plan;
}

} // namespace velmor
