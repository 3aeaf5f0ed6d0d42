// velmor-pack extract: a package's files on the host, as the stub would write them.
#include <memory>
#include "cli_options.h"
#include "codepage.h"
#include "commands.h"
#include "messages.h"
#include "pack_error.h"
#include "package_extract.h"
#include "package_reader.h"
#include "terminal_progress.h"

namespace velmor {
namespace {

struct ExtractOptions {
    std::string package;
    std::string destination;
    int codePage = 1252;
};

void RunExtract(const ExtractOptions &options)
{
    auto source = OpenFileSource(options.package);
    ReadOptions read;
    read.codePage = options.codePage;
    PackageContents contents = ReadPackage(*source, read);
    try {
        std::unique_ptr<TerminalProgress> display;
        auto progress = [&display](const std::string &path, uint64_t done, uint64_t total) {
            if (!display)
                display = std::make_unique<TerminalProgress>("extracting", total);
            display->Update(done);
            PrintDetail(path);
        };
        ExtractSummary summary =
            ExtractPackage(*source, contents, options.destination, options.codePage, progress);
        display.reset();
        PrintResult(options.destination + ": " + std::to_string(summary.files) + " file" +
                    (summary.files == 1 ? "" : "s") + " extracted, " + std::to_string(summary.bytes) + " bytes");
    } catch (const PackError &e) {
        throw PackError(options.package + ": " + e.what());
    }
}

} // namespace

void AddExtractCommand(CLI::App &app)
{
    auto options = std::make_shared<ExtractOptions>();
    CLI::App *cmd = app.add_subcommand("extract", "Extract a package's files on this machine, as the stub would");
    cmd->add_option("PACKAGE", options->package, "the stub file to extract")->required();
    cmd->add_option("DEST", options->destination, "folder to extract into; created when missing")->required();
    AddCodePageOption(*cmd, options->codePage, "Windows ANSI code page the names are stored in (decimal)");
    AddMessageOptions(*cmd);
    cmd->footer("Entries go below DEST in their stored folders, compressed ones expanded; last access and last\n"
                "write times are restored and read-only files lose their write permission. A file is written\n"
                "beside its target and renamed over it: what stood there is replaced, never written through.\n"
                "Names that differ only in letter case are one name, as on Windows. Like the stub, the run\n"
                "stops at the first damaged entry, and no entry may leave DEST; that entry leaves nothing.\n\n"
                "Example:\n"
                "  velmor-pack extract acme-driver.exe /tmp/acme && diff -r payload/ /tmp/acme\n");
    cmd->callback([options]() { RunExtract(*options); });
}

} // namespace velmor
