// velmor-pack create: a folder into a self-extracting stub file.
#include <cstdio>
#include <unistd.h>
#include <climits>
#include <filesystem>
#include "package_layout.h"
#include "commands.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"
#include "package_plan.h"
#include "package_writer.h"
#include "szdd_encoder.h"
#include "terminal_progress.h"

namespace velmor {
namespace {

struct CreateOptions {
    std::string stubPath;
    std::string mode = "extract";
    std::string run;
    std::string folder;
    std::string description;
    std::string descriptionFile;
    int codePage = 1252;
    bool compress = false;
    bool best = false;
    unsigned jobs = AvailableCores();
    std::string sourceDir;
    std::string output;
    SigningOptions signing;
};

// The i686 stub built or installed beside this program.
std::string FindDefaultStub()
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::filesystem::path dir = std::filesystem::path(self).parent_path();
        for (const char *candidate : {"velmor.exe", "../i686/velmor.exe", "../share/velmor/velmor.exe"}) {
            std::filesystem::path p = dir / candidate;
            if (std::filesystem::is_regular_file(p))
                return p.lexically_normal().string();
        }
    }
    throw PackError("no velmor.exe stub found beside velmor-pack; pass one with --stub FILE");
}

void RunCreate(const CreateOptions &options)
{
    CheckSigningOptions(options.signing);
    PackageSettings settings;
    settings.mode = options.mode == "setup" ? kModeSetup : kModeExtract;
    settings.setupProgram = options.run;
    settings.folder = options.folder;
    settings.description = options.descriptionFile.empty() ? options.description
                                                           : ReadWholeFile(options.descriptionFile);
    settings.codePage = options.codePage;
    settings.compressed = options.compress;

    std::string stubPath = options.stubPath.empty() ? FindDefaultStub() : options.stubPath;
    std::string stubImage = ReadWholeFile(stubPath);
    CheckStubImage(stubImage, stubPath);

    SourceTree tree = ScanSourceTree(options.sourceDir);
    PackagePlan plan = PlanPackage(std::move(tree.files), settings);
    for (const std::string &dir : tree.emptyDirectories)
        plan.warnings.push_back(dir + ": empty folder, not stored (a package holds files only)");
    for (const std::string &warning : plan.warnings)
        std::fprintf(stderr, "velmor-pack: warning: %s\n", warning.c_str());

    EntryCompressor compressor;
    if (options.compress) {
        SzddLevel level = options.best ? SzddLevel::Best : SzddLevel::Default;
        compressor = [level](std::string_view contents) { return SzddCompress(contents, level); };
    }
    uint64_t totalBytes = 0;
    for (const PlannedEntry &entry : plan.entries)
        totalBytes += entry.header.dataSize;
    TerminalProgress display(options.compress ? "compressing" : "packing", totalBytes);
    // A signed package is written unsigned beside the output first, then signed into place.
    std::string unsignedPath = options.output;
    if (options.signing.Requested())
        unsignedPath = options.output + ".unsigned-" + std::to_string(getpid());
    struct Removal {
        std::string path;
        ~Removal()
        {
            if (!path.empty())
                unlink(path.c_str());
        }
    } removal{unsignedPath == options.output ? "" : unsignedPath};
    PackageSummary summary = WritePackage(plan, stubImage, unsignedPath, compressor,
                                          [&display](uint64_t done) { display.Update(done); }, options.jobs);
    display.Finish();
    std::string signature;
    if (options.signing.Requested()) {
        SignSummary sign = SignPackage(unsignedPath, options.output, options.signing);
        summary.packageSize = sign.packageSize;
        signature = ", signed by " + sign.signature.signer;
    }
    std::printf("%s: %u entries, %llu bytes of files, package of %llu bytes%s\n",
                options.output.c_str(), summary.entryCount,
                static_cast<unsigned long long>(summary.sourceBytes),
                static_cast<unsigned long long>(summary.packageSize), signature.c_str());
}

} // namespace

void AddCreateCommand(CLI::App &app)
{
    auto options = std::make_shared<CreateOptions>();
    CLI::App *cmd = app.add_subcommand("create", "Pack every file below a folder into a self-extracting stub file");
    cmd->add_option("--stub", options->stubPath, "the bare velmor.exe stub (default: the one built beside velmor-pack)")
        ->check(CLI::ExistingFile);
    cmd->add_option("--mode", options->mode,
                    "extract: the user may choose the folder, the setup program is started and left running;\n"
                    "setup: the files go to the package's folder, the setup program is awaited and everything is removed afterwards")
        ->check(CLI::IsMember({"extract", "setup"}))
        ->capture_default_str();
    cmd->add_option("--run", options->run, "program to start after extraction, relative to the destination folder");
    cmd->add_option("--folder", options->folder, "destination folder, a full Windows path such as C:\\Setup "
                                                 "(default: the stub's own folder, or " FALLBACK_FOLDER " on removable media)");
    auto *text = cmd->add_option("--description", options->description, "text shown in the stub's dialog");
    auto *file = cmd->add_option("--description-file", options->descriptionFile, "UTF-8 file holding that text")
                     ->check(CLI::ExistingFile);
    text->excludes(file);
    cmd->add_option("--codepage", options->codePage, "Windows ANSI code page for names and texts")
        ->capture_default_str();
    auto *compress = cmd->add_flag("--compress", options->compress,
                                   "store every file SZDD-compressed; the stub expands them");
    cmd->add_flag("--best", options->best, "with --compress: the smallest encoding, slower")->needs(compress);
    cmd->add_option("-j,--jobs", options->jobs,
                    "with --compress: files compressed at once (default: the number of processors); "
                    "the package is the same for any number")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    cmd->add_option("SOURCE_DIR", options->sourceDir, "folder whose files are packed")
        ->required()
        ->check(CLI::ExistingDirectory);
    cmd->add_option("-o,--output", options->output, "the stub file to write")->required();
    AddSigningOptions(*cmd, options->signing, true);
    cmd->footer("With --cert and --key (or --pkcs12) the package is signed as velmor-pack sign signs it.\n\n"
                "Example:\n"
                "  velmor-pack create --mode setup --run setup.exe --folder 'C:\\Drivers\\Acme' \\\n"
                "      --description 'Acme driver 2.1' payload/ -o acme-driver.exe\n");
    cmd->callback([options]() { RunCreate(*options); });
}

} // namespace velmor
