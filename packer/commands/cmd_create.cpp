// velmor-pack create: a folder into a self-extracting stub file.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>
#include "package_layout.h"
#include "cli_options.h"
#include "codepage.h"
#include "commands.h"
#include "depfile.h"
#include "file_facts.h"
#include "filetime.h"
#include "messages.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"
#include "package_plan.h"
#include "package_writer.h"
#include "recipe_file.h"
#include "szdd_encoder.h"
#include "temporary_files.h"
#include "terminal_progress.h"
#include "this_program.h"
#include "utf8_path.h"

namespace velmor {
namespace {

// A description file is read whole; the description field holds 511 bytes.
constexpr uint64_t kMaxDescriptionFileSize = 64 << 10;

struct CreateOptions {
    std::string config;
    std::string stubPath;
    std::string mode = "extract";
    std::string run;
    std::string folder;
    std::string description;
    std::string descriptionFile;
    int codePage = 1252;
    bool compress = false;
    bool best = false;
    bool allTimes = false;
    bool followLinks = false;
    unsigned jobs = AvailableCores();
    std::string sourceDir;
    std::string output;
    std::string depfile;
    SigningOptions signing;
};

// SOURCE_DATE_EPOCH as a FILETIME, when it is set.
std::optional<uint64_t> LatestTimeFromEnvironment()
{
    std::optional<std::string> text = EnvironmentVariable("SOURCE_DATE_EPOCH");
    if (!text || text->empty())
        return std::nullopt;
    std::string value = *text;
    if (value.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("SOURCE_DATE_EPOCH: expected a whole number of seconds since 1970-01-01 00:00 UTC, found '" +
                         value + "'");
    // 18 digits hold every time Windows can store, and fit a 64-bit number.
    size_t digits = value.size() - std::min(value.find_first_not_of('0'), value.size());
    if (digits > 18 || std::stoll(value) > kLatestFileTimeUnix)
        throw UsageError("SOURCE_DATE_EPOCH: " + value + " lies past the last time Windows can store (" +
                         std::to_string(kLatestFileTimeUnix) + ", in the year 30828)");
    return FileTimeFromUnix(std::stoll(value), 0);
}

// The checks CLI11 would make, for options from the command line and the recipe alike.
void CheckCombination(const CreateOptions &options)
{
    if (options.sourceDir.empty())
        throw UsageError("create: give the folder to pack (SOURCE_DIR, or source in a --config recipe)");
    if (options.output.empty())
        throw UsageError("create: give the package to write with -o FILE (or output in a --config recipe)");
    if (!options.description.empty() && !options.descriptionFile.empty())
        throw UsageError("create: --description and --description-file exclude each other; give one");
    if (options.best && !options.compress)
        throw UsageError("create: --best chooses how --compress compresses; give --compress with it");
    CheckSigningOptions(options.signing);
}

// The full path of an output, its folder as the system resolves it (links followed,
// and the letters as the folder spells them on disk, where a file system ignores
// case), so that it compares with resolved folders; empty when it cannot be told.
std::filesystem::path ResolvedOutput(const std::string &output)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path full = fs::absolute(PathOf(output), error);
    if (error)
        return {};
    std::string reason;
    std::optional<std::string> folder;
    if (full.has_filename() && full.filename() != "." && full.filename() != "..")
        folder = ResolvedPath(TextOf(full.parent_path()), reason);
    if (folder)
        return PathOf(*folder) / full.filename();
    fs::path target = fs::weakly_canonical(full, error);
    return error ? fs::path() : target;
}

// A package (or its dependency file) written into its own source folder would be
// packed by the next run.
void RefuseOutputInsideSource(const std::string &option, const std::string &sourceDir, const std::string &output)
{
    namespace fs = std::filesystem;
    std::string reason;
    std::optional<std::string> resolved = ResolvedPath(sourceDir, reason);
    if (!resolved)
        return; // the scan names the problem
    fs::path source = PathOf(*resolved);
    fs::path target = ResolvedOutput(output);
    if (target.empty())
        return;
    if (LiesWithin(source, target))
        throw UsageError(option + " " + output + " lies inside the source folder " + sourceDir +
                         ", so the next run would pack it into the new package; write it elsewhere");
}

std::string ReadDescriptionFile(const std::string &path)
{
    std::string text = ReadWholeFile(path, kMaxDescriptionFileSize);
    return text.substr(Utf8ByteOrderMarkLength(text));
}

// --depfile is an output like -o: never one of the inputs, the package, or a file
// inside the source folder.
void CheckDepfileOutput(const CreateOptions &options, const std::vector<NamedInput> &inputs)
{
    std::filesystem::path depfile = ResolvedOutput(options.depfile);
    if (!depfile.empty() && depfile == ResolvedOutput(options.output))
        throw UsageError("--depfile " + options.depfile + " names the package itself; give the dependency file a name of its own");
    RefuseOutputInsideSource("--depfile", options.sourceDir, options.depfile);
    std::vector<NamedInput> read = inputs;
    read.push_back({"the package", options.output});
    RefuseOutputOverInputs("--depfile", options.depfile, read);
    RequireReplaceableOutput(options.depfile);
}

// Every path create reads, for --depfile: the named inputs, the source folder and each
// folder below it whose listing was read, and each file.
std::vector<std::string> DependencyPaths(const std::string &sourceDir, const SourceTree &tree,
                                         const std::vector<NamedInput> &inputs)
{
    std::vector<std::string> paths;
    for (const NamedInput &input : inputs) {
        if (!input.path.empty())
            paths.push_back(input.path);
    }
    // The scan read every folder that holds a file somewhere below it, and every folder
    // that holds none.
    std::set<std::string> folders(tree.emptyDirectories.begin(), tree.emptyDirectories.end());
    for (const SourceFile &file : tree.files) {
        for (std::string folder = file.directory; !folder.empty() && folders.insert(folder).second;) {
            size_t slash = folder.rfind('/');
            folder = slash == std::string::npos ? "" : folder.substr(0, slash);
        }
    }
    paths.push_back(sourceDir);
    for (const std::string &folder : folders)
        paths.push_back(sourceDir + "/" + folder);
    for (const SourceFile &file : tree.files)
        paths.push_back(file.path);
    return paths;
}

void RunCreate(CLI::App &cmd, CreateOptions &options)
{
    if (!options.config.empty()) {
        RecipeRules rules;
        rules.positionalKeys = {{"source", "SOURCE_DIR"}};
        rules.pathKeys = {"stub",          "description-file", "source",  "output", "depfile",
                          "cert",          "key",              "pkcs12", "password-file"};
        rules.integerKeys = {"codepage", "jobs"};
        rules.refusedKeys = {"config"};
        ApplyRecipe(cmd, options.config, rules);
    }
    CheckCombination(options);
    RefuseOutputInsideSource("-o", options.sourceDir, options.output);
    std::string stubPath = options.stubPath.empty() ? DefaultStubPath().value_or("") : options.stubPath;
    std::vector<NamedInput> inputs = SigningInputs(options.signing);
    inputs.insert(inputs.end(), {{"the recipe", options.config},
                                 {"the description file", options.descriptionFile},
                                 {"the stub", stubPath}});
    RefuseOutputOverInputs("-o", options.output, inputs);
    RequireReplaceableOutput(options.output);
    if (!options.depfile.empty())
        CheckDepfileOutput(options, inputs);

    PackageSettings settings;
    settings.mode = options.mode == "setup" ? kModeSetup : kModeExtract;
    settings.setupProgram = options.run;
    settings.folder = options.folder;
    settings.description = options.description;
    settings.codePage = options.codePage;
    settings.compressed = options.compress;
    settings.allTimes = options.allTimes;
    settings.latestTime = LatestTimeFromEnvironment();

    // Everything wrong with the input is reported at once.
    std::vector<std::string> problems;
    std::string stubImage;
    CollectProblems(problems, [&] {
        if (stubPath.empty())
            throw PackError("no velmor.exe stub found beside velmor-pack; pass one with --stub FILE");
        stubImage = ReadWholeFile(stubPath, kMaxPackageSize);
        CheckStubImage(stubImage, stubPath);
    });
    CollectProblems(problems, [&] {
        if (!options.descriptionFile.empty())
            settings.description = ReadDescriptionFile(options.descriptionFile);
    });
    SourceTree tree;
    ScanOptions scan;
    scan.followOutsideLinks = options.followLinks;
    CollectProblems(problems, [&] { tree = ScanSourceTree(options.sourceDir, scan); });
    problems.insert(problems.end(), tree.problems.begin(), tree.problems.end());
    DependencyList dependencies;
    if (!options.depfile.empty() && problems.empty())
        dependencies = MakeDependencyList(options.output, DependencyPaths(options.sourceDir, tree, inputs));
    PackagePlan plan;
    CollectProblems(problems, [&] { plan = PlanPackage(std::move(tree.files), settings); });
    if (!problems.empty())
        throw PackErrors(problems);

    plan.warnings.insert(plan.warnings.end(), tree.warnings.begin(), tree.warnings.end());
    plan.warnings.insert(plan.warnings.end(), dependencies.warnings.begin(), dependencies.warnings.end());
    for (const std::string &dir : tree.emptyDirectories)
        plan.warnings.push_back(dir + ": empty folder, not stored (a package holds files only)");
    if (Messages().warningsAsErrors && !plan.warnings.empty()) {
        plan.warnings.push_back(std::to_string(plan.warnings.size()) + " warning" +
                                (plan.warnings.size() == 1 ? "" : "s") +
                                " with --warnings-as-errors: no package was written");
        throw PackErrors(plan.warnings);
    }
    for (const std::string &warning : plan.warnings)
        PrintWarning(warning);
    for (const PlannedEntry &entry : plan.entries)
        PrintDetail(entry.displayPath);

    EntryCompressor compressor;
    if (options.compress) {
        SzddLevel level = options.best ? SzddLevel::Best : SzddLevel::Default;
        compressor = [level](uint64_t size, const ContentReader &read, const DataWriter &write) {
            SzddCompressTo(size, read, write, level);
        };
    }
    uint64_t totalBytes = 0;
    for (const PlannedEntry &entry : plan.entries)
        totalBytes += entry.header.dataSize;
    TerminalProgress display(options.compress ? "compressing" : "packing", totalBytes);
    // A signed package is written unsigned beside the output first, then signed into place.
    std::unique_ptr<TemporaryPath> unsignedPackage;
    if (options.signing.Requested())
        unsignedPackage = std::make_unique<TemporaryPath>(options.output, "unsigned", false);
    std::string written = unsignedPackage ? unsignedPackage->path() : options.output;
    PackageSummary summary = WritePackage(plan, stubImage, written, compressor,
                                          [&display](uint64_t done) { display.Update(done); }, options.jobs);
    display.Finish();
    std::string signature;
    if (options.signing.Requested()) {
        SignSummary sign = SignPackage(written, options.output, options.signing);
        summary.packageSize = sign.packageSize;
        signature = ", signed by " + sign.signature.signer;
    }
    // Only beside a package that was written, so that a failed run leaves the build
    // tool's record of the last package as it was.
    if (!options.depfile.empty()) {
        // The package under another name (letter case, a short name), now that it exists.
        RefuseOutputOverInputs("--depfile", options.depfile, {{"the package", options.output}});
        OutputFile depfile(options.depfile);
        depfile.Write(dependencies.text);
        depfile.Commit();
    }
    PrintResult(options.output + ": " + Counted(summary.entryCount, "entry", "entries") + ", " +
                Counted(summary.sourceBytes, "byte", "bytes") + " of files, package of " +
                std::to_string(summary.packageSize) + " bytes" + signature);
}

} // namespace

std::optional<std::string> DefaultStubPath()
{
    std::optional<std::string> self = ThisProgramPath();
    if (!self)
        return std::nullopt;
    // Beside the program, in the build tree, or installed in share/velmor.
    std::filesystem::path dir = PathOf(*self).parent_path();
    for (const char *candidate : {"velmor.exe", "../i686/velmor.exe", "../share/velmor/velmor.exe"}) {
        std::filesystem::path p = dir / candidate;
        if (std::filesystem::is_regular_file(p))
            return TextOf(p.lexically_normal());
    }
    return std::nullopt;
}

void AddCreateCommand(CLI::App &app)
{
    auto options = std::make_shared<CreateOptions>();
    CLI::App *cmd = app.add_subcommand("create", "Pack every file below a folder into a self-extracting stub file");
    cmd->add_option("--config", options->config,
                    "read the options below from this recipe (TOML, or INI for a name ending in .ini); paths\n"
                    "in it are relative to it; an option on the command line wins over the same key in it");
    cmd->add_option("--stub", options->stubPath, "the bare velmor.exe stub (default: the one built or installed "
                                                 "beside velmor-pack; see velmor-pack --version)");
    cmd->add_option("--mode", options->mode,
                    "extract: the user may choose the folder, the setup program is started and left running;\n"
                    "setup: the files go to the package's folder, the setup program is awaited and everything is removed afterwards")
        ->check(CLI::IsMember({"extract", "setup"}))
        ->capture_default_str();
    cmd->add_option("--run", options->run, "program to start after extraction, relative to the destination folder");
    cmd->add_option("--folder", options->folder, "destination folder, a full Windows path such as C:\\Setup "
                                                 "(default: the stub's own folder, or " FALLBACK_FOLDER " on removable media)");
    cmd->add_option("--description", options->description, "text shown in the stub's dialog");
    cmd->add_option("--description-file", options->descriptionFile,
                    "UTF-8 file holding that text (a byte-order mark at its start is skipped)");
    AddCodePageOption(*cmd, options->codePage, "Windows ANSI code page for names and texts (decimal)");
    cmd->add_flag("--compress", options->compress, "store every file SZDD-compressed; the stub expands them");
    cmd->add_flag("--best", options->best, "with --compress: the smallest encoding, slower");
    AddJobsOption(*cmd, options->jobs,
                  "with --compress: files compressed at once (default: the number of processors); "
                  "the package is the same for any number");
    cmd->add_flag("--all-times", options->allTimes,
                  "store each file's own creation and last access times too; by default its last write\n"
                  "time stands for all three, so that copies of a tree give the same package");
    cmd->add_flag("--follow-links", options->followLinks,
                  "pack the files that symbolic links to files outside SOURCE_DIR point to (refused by default)");
    cmd->add_option("SOURCE_DIR", options->sourceDir, "folder whose files are packed (recipe key: source)");
    cmd->add_option("-o,--output", options->output, "the stub file to write; not inside SOURCE_DIR");
    cmd->add_option("--depfile", options->depfile,
                    "once the package is written, write FILE too: a dependency file in Makefile syntax that\n"
                    "names the package and every file and folder read for it, for make, Ninja and CMake's DEPFILE");
    AddSigningOptions(*cmd, options->signing, true);
    AddMessageOptions(*cmd);
    cmd->footer("The same input gives the same bytes. With SOURCE_DATE_EPOCH set, every stored time later than\n"
                "it is stored as that time, as tar --clamp-mtime does.\n"
                "With --cert and --key (or --pkcs12) the package is signed as velmor-pack sign signs it.\n"
                "Every refused file or setting is reported, one line each, and nothing is written.\n"
                "Exit status: 0 written; 1 the input was refused (or a warning, with --warnings-as-errors);\n"
                "2 the command line or recipe cannot be used.\n\n"
                "Examples:\n"
                "  velmor-pack create --mode setup --run setup.exe --folder 'C:\\Drivers\\Acme' \\\n"
                "      --description 'Acme driver 2.1' payload/ -o acme-driver.exe\n"
                "  velmor-pack create --config acme-driver.toml\n"
                "  velmor-pack create --config acme-driver.toml --compress -o acme-driver-small.exe\n");
    cmd->callback([cmd, options]() { RunCreate(*cmd, *options); });
}

} // namespace velmor
