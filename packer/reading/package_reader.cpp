#include "package_reader.h"

#include "package_layout.h"
#include "package_reader_run.h"
#include "package_report.h"

namespace velmor {
namespace reading {

std::string Quoted(const std::string &text)
{
    return "'" + text + "'";
}

void Reader::Run()
{
    c_.fileSize = source_.Size();
    bool readable = ReadTrailer();
    c_.trailerSound = readable && !c_.HasProblem(ProblemKind::Structure);
    if (!readable)
        return;
    if (c_.entriesReadable)
        ReadEntries();
    CheckSetupProgram();
}

void Reader::Problem(uint32_t index, const std::string &path, ProblemKind kind, const std::string &what)
{
    c_.problems.push_back({index, path, kind, what});
}

std::string Reader::Show(const std::string &ansi) const
{
    return DisplayText(ansi, options_.codePage);
}

std::string Reader::CheckFolder() const
{
    if (!options_.folder.empty())
        return options_.folder;
    return c_.defaultFolder.empty() ? FALLBACK_FOLDER : c_.defaultFolder;
}

} // namespace reading

bool PackageContents::HasProblem(ProblemKind kind) const
{
    for (const PackageProblem &p : problems) {
        if (p.kind == kind)
            return true;
    }
    return false;
}

PackageContents ReadPackage(const ByteSource &source, const ReadOptions &options)
{
    PackageContents contents;
    reading::Reader(source, options, contents).Run();
    return contents;
}

} // namespace velmor
