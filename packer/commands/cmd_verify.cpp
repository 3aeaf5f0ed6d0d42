// velmor-pack verify: everything the stub relies on, checked before the package
// reaches Windows; one line per problem.
#include <algorithm>
#include <cstdio>
#include "codepage.h"
#include "cli_options.h"
#include "commands.h"
#include "messages.h"
#include "pack_error.h"
#include "package_plan.h"
#include "package_reader.h"
#include "package_report.h"
#include "package_signature.h"

namespace velmor {
namespace {

struct VerifyOptions {
    std::string package;
    std::string folder;
    int codePage = 1252;
    bool requireSignature = false;
};

// "; signed by ... (SHA256 digest matches, timestamp ...)" for a sound signed package.
std::string SignatureSummary(const PackageContents &contents)
{
    if (!contents.certificateTable)
        return "";
    const SignatureFacts &s = contents.signature;
    return "; signed by " + s.signer + " (" + s.digestAlgorithm + " digest matches, " +
           (s.timestamp.empty() ? std::string("no timestamp") : "timestamp " + s.timestamp) + ")";
}

void RunVerify(const VerifyOptions &options)
{
    ReadOptions read;
    read.codePage = options.codePage;
    read.expandCompressed = true;
    if (!options.folder.empty())
        read.folder = EncodeDestinationFolder(options.folder, options.codePage);
    auto source = OpenFileSource(options.package);
    PackageContents contents = ReadPackage(*source, read);
    CheckSignature(*source, contents);
    if (options.requireSignature && !contents.certificateTable && !contents.unsignedLength)
        contents.problems.push_back({0, "", ProblemKind::Signature, "the package is not signed"});
    // With --warnings-as-errors, what the stub takes in its stride counts as a problem.
    if (Messages().warningsAsErrors)
        contents.problems.insert(contents.problems.end(), contents.notes.begin(), contents.notes.end());
    for (const PackageProblem &p : contents.problems)
        std::printf("%s\n", Printable(options.package + ": " + ProblemLine(p, options.codePage)).c_str());
    if (!Messages().warningsAsErrors && !Messages().quiet) {
        for (const PackageProblem &p : contents.notes)
            std::printf("%s\n", Printable(options.package + ": note: " + ProblemLine(p, options.codePage)).c_str());
    }
    std::fflush(stdout);
    if (!contents.Sound()) {
        size_t n = contents.problems.size();
        bool signatureOnly = std::all_of(contents.problems.begin(), contents.problems.end(),
                                         [](const PackageProblem &p) { return p.kind == ProblemKind::Signature; });
        const char *advice = contents.unsignedLength
                                 ? "; the stub cannot find its trailer. Sign the package with velmor-pack sign"
                             : signatureOnly && contents.signature.unchecked
                                 ? "; install OpenSSL's libcrypto to check the signature"
                             : signatureOnly ? "; Windows will not take the package as signed as intended. Rebuild "
                                               "and sign it with velmor-pack sign"
                                             : "; the stub may fail or misplace files. Rebuild the package with "
                                               "velmor-pack create";
        throw PackError(options.package + ": " + std::to_string(n) + " problem" + (n == 1 ? "" : "s") + advice);
    }
    PrintResult(options.package + ": sound, " + std::to_string(contents.entryCount) +
                (contents.entryCount == 1 ? " entry" : " entries") + (contents.compressed() ? ", compressed" : "") +
                (contents.setupProgram.empty() ? ""
                                               : ", setup program " + DisplayText(contents.setupProgram, options.codePage)) +
                SignatureSummary(contents));
}

} // namespace

void AddVerifyCommand(CLI::App &app)
{
    auto options = std::make_shared<VerifyOptions>();
    CLI::App *cmd = app.add_subcommand("verify", "Check a package for everything the stub relies on");
    cmd->add_option("PACKAGE", options->package, "the stub file to check")->required();
    cmd->add_option("--folder", options->folder,
                    "check full path lengths for this destination folder instead of the package's own\n"
                    "(in extract mode the user may choose another one)");
    AddCodePageOption(*cmd, options->codePage, "Windows ANSI code page the names are stored in (decimal)");
    cmd->add_flag("--require-signature", options->requireSignature, "count an unsigned package as a problem");
    AddMessageOptions(*cmd);
    cmd->footer("Checks the trailer, every record and name, that nothing leaves the destination folder, full\n"
                "paths of at most 255 characters, the setup program among the entries, and for compressed\n"
                "packages that every entry expands to its stated length. For a signed package: that the\n"
                "signature's digest matches the file (no byte of the program or the data area changed since\n"
                "signing), that the signer's signature and any timestamp hold. Whether the signer is trusted\n"
                "is Windows' decision: osslsigncode verify -CAfile ROOT.pem checks the chain to a root.\n"
                "Prints one line per problem and exits with 1; exits with 0 only for a sound package. Notes\n"
                "name what the stub reads without harm but no writer should produce; with --warnings-as-errors\n"
                "they count as problems.\n\n"
                "Examples:\n"
                "  velmor-pack verify acme-driver.exe\n"
                "  velmor-pack verify --folder 'D:\\Program Files\\Acme Tools' acme-tools.exe\n");
    cmd->callback([options]() { RunVerify(*options); });
}

} // namespace velmor
