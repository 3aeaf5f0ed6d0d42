// velmor-pack list: what a package holds, for people or (--json) for scripts.
#include <cstdio>
#include "codepage.h"
#include "cli_options.h"
#include "commands.h"
#include "messages.h"
#include "pack_error.h"
#include "package_reader.h"
#include "package_report.h"
#include "package_signature.h"

namespace velmor {
namespace {

struct ListOptions {
    std::string package;
    bool json = false;
    int codePage = 1252;
};

void RunList(const ListOptions &options)
{
    auto source = OpenFileSource(options.package);
    ReadOptions read;
    read.codePage = options.codePage;
    PackageContents contents = ReadPackage(*source, read);
    if (!contents.hasTrailer)
        throw PackError(options.package + ": " + contents.problems.front().what);
    CheckSignature(*source, contents);
    std::string listing =
        options.json ? JsonText(ListJson(contents, options.codePage)) : ListText(contents, options.codePage);
    std::fputs(listing.c_str(), stdout);
    std::fflush(stdout);
    // Damage that kept entries from being read is reported here; everything else
    // is for verify.
    size_t others = 0;
    bool damaged = false;
    for (const PackageProblem &p : contents.problems) {
        if (p.kind == ProblemKind::Structure) {
            damaged = true;
            if (!options.json)
                PrintError(options.package + ": " + ProblemLine(p, options.codePage));
        } else {
            ++others;
        }
    }
    if (others && !options.json)
        PrintError(options.package + ": " + std::to_string(others) + " more problem" + (others == 1 ? "" : "s") +
                   "; see velmor-pack verify " + options.package);
    if (damaged)
        throw PackError(options.package + ": the package is damaged; the list above is what could be read");
}

} // namespace

void AddListCommand(CLI::App &app)
{
    auto options = std::make_shared<ListOptions>();
    CLI::App *cmd = app.add_subcommand("list", "Show a package's settings and the files it holds");
    cmd->add_option("PACKAGE", options->package, "the stub file to read")->required();
    cmd->add_flag("--json", options->json, "print one JSON object (settings, entries, problems) for scripts");
    AddCodePageOption(*cmd, options->codePage, "Windows ANSI code page the names are stored in (decimal)");
    AddMessageOptions(*cmd);
    cmd->footer("A signed package shows its signer, whether the signature's digest matches the file, and\n"
                "its timestamp.\n"
                "Columns: entry number, stored size, expanded size (compressed packages), attributes\n"
                "(R read-only, H hidden, S system, A archive), last write time in UTC, path below the\n"
                "destination folder. Exit status 1 when the package is damaged.\n\n"
                "Examples:\n"
                "  velmor-pack list acme-driver.exe\n"
                "  velmor-pack list --json acme-driver.exe | jq '.entries[].path'\n");
    cmd->callback([options]() { RunList(*options); });
}

} // namespace velmor
