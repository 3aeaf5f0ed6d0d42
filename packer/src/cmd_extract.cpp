// velmor-pack extract: a package's files on the host, as the stub would write them.
#include <cstdio>
#include <memory>
#include "codepage.h"
#include "commands.h"
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
    RequireSupportedCodePage(options.codePage);
    auto source = OpenFileSource(options.package);
    ReadOptions read;
    read.codePage = options.codePage;
    PackageContents contents = ReadPackage(*source, read);
    try {
        std::unique_ptr<TerminalProgress> display;
        auto progress = [&display](uint64_t done, uint64_t total) {
            if (!display)
                display = std::make_unique<TerminalProgress>("extracting", total);
            display->Update(done);
        };
        ExtractSummary summary =
            ExtractPackage(*source, contents, options.destination, options.codePage, progress);
        display.reset();
        std::printf("%s: %u file%s extracted, %llu bytes\n", options.destination.c_str(), summary.files,
                    summary.files == 1 ? "" : "s", static_cast<unsigned long long>(summary.bytes));
    } catch (const PackError &e) {
        throw PackError(options.package + ": " + e.what());
    }
}

} // namespace

void AddExtractCommand(CLI::App &app)
{
    auto options = std::make_shared<ExtractOptions>();
    CLI::App *cmd = app.add_subcommand("extract", "Extract a package's files on this machine, as the stub would");
    cmd->add_option("PACKAGE", options->package, "the stub file to extract")->required()->check(CLI::ExistingFile);
    cmd->add_option("DEST", options->destination, "folder to extract into; created when missing")->required();
    cmd->add_option("--codepage", options->codePage, "Windows ANSI code page the names are stored in")
        ->capture_default_str();
    cmd->footer("Entries go below DEST in their stored folders, compressed ones expanded; last access and last\n"
                "write times are restored and read-only files lose their write permission. Like the stub, the\n"
                "run stops at the first damaged entry, and no entry may leave DEST.\n\n"
                "Example:\n"
                "  velmor-pack extract acme-driver.exe /tmp/acme && diff -r payload/ /tmp/acme\n");
    cmd->callback([options]() { RunExtract(*options); });
}

} // namespace velmor
