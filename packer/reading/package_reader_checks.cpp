// What the stub makes of each name: its termination, the name rule, the full path's
// length, a second entry for the same file; and whether the setup program is there.
#include "name_rule.h"
#include "package_layout.h"
#include "package_reader_run.h"
#include "windows_names.h"

namespace velmor::reading {

// A name without its zero byte, or with one before its stored length ends: the
// stub reads it up to its first zero byte, or to its end, unless it fills the whole
// field. Only that is a problem; the rest is noted as the mark of a faulty writer.
void Reader::CheckTermination(const PackageEntry &entry, const char *which, uint16_t length, const NameField &name)
{
    if (length && !name.terminated && length == kMaxNameLength)
        Problem(entry.index, entry.path, ProblemKind::Structure,
                std::string("the ") + which + " fills all 256 bytes without its zero byte; the stub stops here");
    else if (length && !name.terminated)
        c_.notes.push_back({entry.index, entry.path, ProblemKind::Structure,
                            std::string("the ") + which + " does not end in its zero byte"});
    else if (name.earlyZero)
        c_.notes.push_back({entry.index, entry.path, ProblemKind::Structure,
                            std::string("the ") + which + " holds a zero byte before its stored length ends"});
}

void Reader::CheckNames(const PackageEntry &entry, uint16_t directoryLength, uint16_t fileLength,
                             const NameField &directory, const NameField &file)
{
    auto problem = [&](ProblemKind kind, const std::string &what) {
        Problem(entry.index, entry.path, kind, what);
    };
    const int cp = options_.codePage;
    CheckTermination(entry, "directory name", directoryLength, directory);
    CheckTermination(entry, "file name", fileLength, file);

    int check = CheckNameInCodePage(entry.fileName, false, cp);
    if (entry.fileName.empty())
        problem(ProblemKind::Name, "the file name is empty; the stub stops here");
    else if (check != kNameAccepted)
        problem(ProblemKind::Name, "the file name " + Quoted(Show(entry.fileName)) + " " +
                                       NameRefusal(check, false) + "; the stub stops here");
    check = entry.directoryName.empty() ? kNameAccepted : CheckNameInCodePage(entry.directoryName, true, cp);
    if (check != kNameAccepted)
        problem(ProblemKind::Name, "the directory " + Quoted(Show(entry.directoryName)) + " " +
                                       NameRefusal(check, true) + "; the stub stops here");

    std::string folder = CheckFolder();
    std::string target = JoinBelowFolder(JoinBelowFolder(folder, entry.directory, cp), entry.fileName, cp);
    if (target.size() >= kPathBufferSize)
        problem(ProblemKind::Length, "the full path " + Show(target) + " is " + std::to_string(target.size()) +
                                         " characters long for the folder " + Show(folder) + "; at most 255 fit");

    for (const NameClash &clash : seen_.Add(entry.path, entry.index)) {
        if (clash.kind == NameClash::SameFile) {
            problem(ProblemKind::Duplicate, "the same file as entry " + std::to_string(clash.other) +
                                                " (letter case, and dots and spaces at the end, aside); "
                                                "it replaces that one");
            continue;
        }
        if (clash.kind == NameClash::FolderIsFile || clash.kind == NameClash::FileIsFolder) {
            problem(ProblemKind::Duplicate,
                    std::string(clash.kind == NameClash::FolderIsFile ? "a folder of its path is the file of entry "
                                                                      : "it is a folder of the path of entry ") +
                        std::to_string(clash.other) + "; the stub cannot write both and stops at the second");
            continue;
        }
        // The entry that holds the name of the alias form, which may have come first.
        const std::string &path = clash.id == entry.index ? entry.path : c_.entries[clash.id - 1].path;
        Problem(static_cast<uint32_t>(clash.id), path, ProblemKind::Duplicate,
                "Windows may give " + Quoted(Show(clash.longName)) + " (entry " + std::to_string(clash.other) +
                    "), in the same folder, the short (8.3) name " + Quoted(Show(clash.alias)) +
                    "; then one replaces the other");
    }
}

void Reader::CheckSetupProgram()
{
    if (c_.setupProgram.empty())
        return;
    const int cp = options_.codePage;
    int check = CheckNameInCodePage(c_.setupProgram, true, cp);
    if (check != kNameAccepted) {
        Overall(ProblemKind::Setup, "trailer: the setup program " + Quoted(Show(c_.setupProgram)) + " " +
                                        NameRefusal(check, true) + "; the stub does not start it");
        return;
    }
    if (EndsInBackslash(c_.setupProgram, cp)) {
        Overall(ProblemKind::Setup, "trailer: the setup program " + Quoted(Show(c_.setupProgram)) +
                                        " must be a file's path relative to the destination folder");
        return;
    }
    std::string folder = CheckFolder();
    std::string full = JoinBelowFolder(folder, c_.setupProgram, cp);
    if (full.size() >= kPathBufferSize)
        Overall(ProblemKind::Length, "trailer: the setup program's full path " + Show(full) + " is " +
                                         std::to_string(full.size()) + " characters long for the folder " +
                                         Show(folder) + "; at most 255 fit");
    if (walkComplete_ && !seen_.Find(c_.setupProgram))
        Overall(ProblemKind::Setup, "trailer: the setup program " + Show(c_.setupProgram) +
                                        " is not among the entries; the stub would start a program that is not there");
}

} // namespace velmor::reading
