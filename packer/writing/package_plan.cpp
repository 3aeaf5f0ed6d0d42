#include "package_plan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include "package_layout.h"
#include "codepage.h"
#include "pack_error.h"
#include "name_rule.h"
#include "windows_names.h"

namespace velmor {

namespace {

constexpr size_t kMaxPathLength = kPathBufferSize - 1;

// The first character of the UTF-8 text that the code page cannot represent.
std::string FirstUnrepresentable(const std::string &text, int codePage)
{
    for (size_t i = 0; i < text.size();) {
        size_t length = std::max<size_t>(1, Utf8SequenceLength(std::string_view(text).substr(i)));
        std::string character = text.substr(i, length);
        if (!EncodeForCodePage(character, codePage))
            return character;
        i += length;
    }
    return "";
}

// text in the code page; what names it in the refusal, and remedy says what the user
// may change ("rename it" for a file).
std::string Encode(const std::string &text, int codePage, const std::string &what,
                   const char *remedy = "rename it")
{
    auto encoded = EncodeForCodePage(text, codePage);
    if (!encoded)
        throw PackError(what + ": not representable in code page " + std::to_string(codePage) + ": it holds '" +
                        FirstUnrepresentable(text, codePage) + "'; " + remedy + " or choose another --codepage");
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
                          std::vector<std::string> &problems, std::string &checkFolder)
{
    TrailerFields t;
    t.mode = s.mode;
    t.compressed = s.compressed;
    CollectProblems(problems, [&] {
        if (!s.folder.empty()) {
            std::string folder = EncodeDestinationFolder(s.folder, s.codePage);
            if (folder.size() > kMaxPathLength)
                throw PackError("--folder is " + std::to_string(folder.size()) + " bytes long; at most 255 fit");
            t.defaultFolder = folder;
        } else if (s.mode == kModeSetup) {
            warnings.push_back("no --folder given: setup mode extracts into the stub's own folder, or " +
                               std::string(FALLBACK_FOLDER) + " when it lies on removable or network media");
        }
    });
    // A refused folder is reported once; the paths are then checked for the fallback.
    checkFolder = t.defaultFolder.empty() ? FALLBACK_FOLDER : t.defaultFolder;

    if (s.mode == kModeSetup && s.setupProgram.empty())
        warnings.push_back("setup mode without --run: the files are extracted and at once deleted again, "
                           "with no program run in between");
    CollectProblems(problems, [&] {
        if (s.setupProgram.empty())
            return;
        // Set only when it passes, so that a refused one is not looked for among the files.
        std::string program = Encode(Backslashes(s.setupProgram), s.codePage, "--run",
                                     "name a program whose path it can hold");
        CheckRelativePath(program, "--run");
        int check = CheckNameInCodePage(program, true, s.codePage);
        if (check != kNameAccepted)
            throw PackError("--run '" + s.setupProgram + "' " + NameRefusal(check, true));
        std::string full = JoinBelowFolder(checkFolder, program, s.codePage);
        if (full.size() > kMaxPathLength)
            throw PackError("--run: the program's full path " + full + " is " +
                            std::to_string(full.size()) + " bytes long; at most 255 fit");
        t.setupProgram = program;
    });
    CollectProblems(problems, [&] {
        t.description = Encode(NormalizeLineBreaks(s.description), s.codePage, "the description",
                               "write the description without it");
        if (t.description.size() >= kDescriptionSize)
            throw PackError("the description is " + std::to_string(t.description.size()) +
                            " bytes long in code page " + std::to_string(s.codePage) + "; at most 511 fit");
    });
    return t;
}

// A line for a clash that seen.Add found.
std::string ClashLine(const NameClash &clash, const std::vector<std::string> &display, int codePage)
{
    if (clash.kind == NameClash::SameFile)
        return display[clash.id] + ": Windows does not tell it apart from " + display[clash.other] +
               " (names differ only in letter case)";
    if (clash.kind == NameClash::FolderIsFile)
        return display[clash.id] + ": its folder has the name of the file " + display[clash.other];
    if (clash.kind == NameClash::FileIsFolder)
        return display[clash.id] + ": the file has the name of a folder of " + display[clash.other];
    return display[clash.id] + ": Windows may give " + DecodeFromCodePage(clash.longName, codePage).value_or("") +
           ", in the same folder, the short (8.3) name " + DecodeFromCodePage(clash.alias, codePage).value_or("") +
           ", and then one overwrites the other; rename one of them";
}

} // namespace

std::string EncodeDestinationFolder(const std::string &folder, int codePage)
{
    std::string encoded = Encode(Backslashes(folder), codePage, "--folder '" + folder + "'",
                                 "choose a folder without it");
    if (!IsDrivePath(encoded) || encoded.size() < 3 || encoded[2] != '\\')
        throw PackError("--folder '" + folder +
                        "' must be a full Windows path beginning with a drive letter, such as C:\\Setup");
    return encoded;
}

PackagePlan PlanPackage(std::vector<SourceFile> files, const PackageSettings &settings)
{
    RequireSupportedCodePage(settings.codePage);
    const int cp = settings.codePage;
    PackagePlan plan;
    std::vector<std::string> problems;
    std::string checkFolder;
    plan.trailer = PlanTrailer(settings, plan.warnings, problems, checkFolder);
    auto stored = [&settings](uint64_t time) {
        return settings.latestTime && time > *settings.latestTime ? *settings.latestTime : time;
    };

    // The folder's own files first, then one group per directory, each sorted by name.
    std::sort(files.begin(), files.end(), [](const SourceFile &a, const SourceFile &b) {
        if (a.directory != b.directory)
            return a.directory < b.directory;
        return a.name < b.name;
    });

    WindowsNameIndex seen(cp);
    std::vector<std::string> seenDisplay;          // by the id seen knows them by
    std::map<std::string, std::string> directories; // case-folded folder -> as spelt first
    std::set<std::string> mergedFolders;
    std::string previousDirectory;
    for (const SourceFile &file : files) {
        std::string display = file.directory.empty() ? file.name : file.directory + "/" + file.name;
        PlannedEntry entry;
        bool accepted = false;
        CollectProblems(problems, [&] {
            if (!IsValidUtf8(display))
                throw PackError(display + ": the name is not UTF-8 text (the bytes that are not are shown as \\xNN); "
                                          "give the file a UTF-8 name");
            CheckCreatableName(file.name, display);
            for (size_t start = 0; !file.directory.empty() && start <= file.directory.size();) {
                size_t end = file.directory.find('/', start);
                CheckCreatableName(file.directory.substr(start, end - start), display);
                start = end == std::string::npos ? std::string::npos : end + 1;
            }
            if (file.size > kMaxFileSize)
                throw PackError(display + ": the file is 4 GiB or larger (" + std::to_string(file.size) +
                                " bytes); a package cannot hold it");

            std::string name = Encode(file.name, cp, display);
            std::string directory = Encode(Backslashes(file.directory), cp, display);
            if (name.size() > kMaxPathLength)
                throw PackError(display + ": the name is " + std::to_string(name.size()) +
                                " bytes long; at most 255 fit");
            // The checks above are stricter than the stub's; this is the stub's own rule.
            int check = CheckNameInCodePage(name, false, cp);
            if (check != kNameAccepted)
                throw PackError(display + ": the name " + NameRefusal(check, false));
            check = directory.empty() ? kNameAccepted : CheckNameInCodePage(directory, true, cp);
            if (check != kNameAccepted)
                throw PackError(display + ": its folder " + NameRefusal(check, true));
            std::string target = JoinBelowFolder(JoinBelowFolder(checkFolder, directory, cp), name, cp);
            if (target.size() > kMaxPathLength)
                throw PackError(display + ": the destination path " + target + " is " +
                                std::to_string(target.size()) + " characters long; at most 255 fit");

            seenDisplay.push_back(display);
            std::vector<std::string> clashes;
            for (const NameClash &clash : seen.Add(directory.empty() ? name : directory + "\\" + name,
                                                   seenDisplay.size() - 1))
                clashes.push_back(ClashLine(clash, seenDisplay, cp));
            if (!clashes.empty())
                throw PackErrors(clashes);
            // Folders whose names differ only in letter case are one folder on Windows.
            for (size_t end = 0; end != std::string::npos;) {
                end = file.directory.find('/', end + 1);
                std::string level = file.directory.substr(0, end);
                if (level.empty())
                    break;
                auto [dir, first] = directories.emplace(FoldUtf8Case(level), level);
                if (!first && dir->second != level && mergedFolders.insert(level).second)
                    plan.warnings.push_back(level + " and " + dir->second +
                                            " differ only in letter case: Windows extracts their files "
                                            "into one folder");
            }
            entry.header.fileName = name;
            entry.header.directoryName = directory;
            accepted = true;
        });
        if (!accepted)
            continue;
        entry.sourcePath = file.path;
        entry.source = file.identity;
        entry.displayPath = display;
        if (file.directory == previousDirectory)
            entry.header.directoryName.clear();
        previousDirectory = file.directory;
        entry.header.attributes = (file.readOnly ? kAttributeReadOnly : kAttributeArchive) |
                                  (file.hidden ? kAttributeHidden : 0) | (file.system ? kAttributeSystem : 0);
        entry.header.lastWriteTime = stored(file.lastWriteTime);
        entry.header.creationTime = settings.allTimes ? stored(file.creationTime) : entry.header.lastWriteTime;
        entry.header.lastAccessTime = settings.allTimes ? stored(file.lastAccessTime) : entry.header.lastWriteTime;
        entry.header.dataSize = static_cast<uint32_t>(file.size);
        plan.entries.push_back(std::move(entry));
    }

    if (!plan.trailer.setupProgram.empty() && !seen.Find(plan.trailer.setupProgram))
        problems.push_back("--run " + settings.setupProgram +
                           ": the setup program is not among the packed files; pack it, or name one that is");
    if (!problems.empty())
        throw PackErrors(problems);

    if (plan.entries.empty())
        plan.warnings.push_back("the source folder holds no files; the package extracts nothing");
    return plan;
}

} // namespace velmor
