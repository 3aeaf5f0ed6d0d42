// velmor-pack verify: everything the stub relies on, checked before the package
// reaches Windows; one line per problem and a summary line per package, or (--json)
// one JSON document for scripts.
#include <algorithm>
#include <cstdio>
#include <optional>
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
    std::vector<std::string> packages;
    std::string folder;
    int codePage = 1252;
    bool requireSignature = false;
    bool json = false;
};

// What verify found in one package: its contents, or why it could not be read.
struct Verdict {
    std::string package;
    std::optional<PackageContents> contents;
    std::string failure; // the error line when the file could not be opened or read

    bool Sound() const { return contents && contents->Sound(); }
};

// Reads and checks one package. With --warnings-as-errors its notes are among its
// problems, as what the stub takes in its stride then counts as a problem.
Verdict VerifyPackage(const std::string &package, const VerifyOptions &options, const ReadOptions &read)
{
    Verdict verdict{package, std::nullopt, ""};
    try {
        auto source = OpenFileSource(package);
        PackageContents contents = ReadPackage(*source, read);
        CheckSignature(*source, contents);
        verdict.contents = std::move(contents);
    } catch (const PackError &e) {
        verdict.failure = e.what();
        return verdict;
    }
    PackageContents &c = *verdict.contents;
    if (options.requireSignature && !c.certificateTable && !c.unsignedLength)
        c.problems.push_back({0, "", ProblemKind::Signature, "the package is not signed"});
    if (Messages().warningsAsErrors) {
        c.problems.insert(c.problems.end(), c.notes.begin(), c.notes.end());
        c.notes.clear();
    }
    return verdict;
}

// "; signed by ... (SHA256 digest matches, timestamp ...)" for a sound signed package.
std::string SignatureSummary(const PackageContents &contents)
{
    if (!contents.certificateTable)
        return "";
    const SignatureFacts &s = contents.signature;
    return "; signed by " + s.signer + " (" + s.digestAlgorithm + " digest matches, " +
           (s.timestamp.empty() ? std::string("no timestamp") : "timestamp " + s.timestamp) + ")";
}

// "PACKAGE: N problems; what to do" for an unsound package.
std::string ProblemSummary(const std::string &package, const PackageContents &contents)
{
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
    return package + ": " + Counted(n, "problem", "problems") + advice;
}

// A problem's lines on standard output, then the summary line: on standard error
// for a package that is not sound, as for any failure.
void PrintVerdict(const Verdict &verdict, int codePage)
{
    if (!verdict.contents)
        return PrintError(verdict.failure);
    const PackageContents &c = *verdict.contents;
    for (const PackageProblem &p : c.problems)
        std::printf("%s\n", Printable(verdict.package + ": " + ProblemLine(p, codePage)).c_str());
    if (!Messages().quiet) {
        for (const PackageProblem &p : c.notes)
            std::printf("%s\n", Printable(verdict.package + ": note: " + ProblemLine(p, codePage)).c_str());
    }
    std::fflush(stdout);
    if (!c.Sound())
        return PrintError(ProblemSummary(verdict.package, c));
    PrintResult(verdict.package + ": sound, " + Counted(c.entryCount, "entry", "entries") +
                (c.compressed() ? ", compressed" : "") +
                (c.setupProgram.empty() ? "" : ", setup program " + DisplayText(c.setupProgram, codePage)) +
                SignatureSummary(c));
}

Json ProblemsJson(const std::vector<PackageProblem> &problems, int codePage)
{
    Json list = Json::array();
    for (const PackageProblem &p : problems)
        list.push_back({{"index", p.index ? Json(p.index) : Json()},
                        {"entry", p.path.empty() ? Json() : Json(DisplayText(p.path, codePage))},
                        {"kind", ProblemKindName(p.kind)},
                        {"message", p.what}});
    return list;
}

// One package's object of verify --json (documented in docs/velmor-pack.md).
Json VerdictJson(const Verdict &verdict, int codePage)
{
    // A package that could not be read has the same members, null or empty.
    Json package = {{"path", verdict.package}, {"sound", verdict.Sound()}, {"error", nullptr},
                    {"entryCount", nullptr},   {"compressed", nullptr},      {"setupProgram", nullptr},
                    {"signed", nullptr},       {"signature", nullptr},       {"problems", Json::array()},
                    {"notes", Json::array()}};
    if (!verdict.contents) {
        package["error"] = verdict.failure;
        return package;
    }
    const PackageContents &c = *verdict.contents;
    package["entryCount"] = c.entryCount;
    package["compressed"] = c.compressed();
    if (!c.setupProgram.empty())
        package["setupProgram"] = DisplayText(c.setupProgram, codePage);
    package["signed"] = c.certificateTable || c.unsignedLength;
    package["signature"] = SignatureJson(c);
    package["problems"] = ProblemsJson(c.problems, codePage);
    package["notes"] = ProblemsJson(c.notes, codePage);
    return package;
}

void RunVerify(const VerifyOptions &options)
{
    ReadOptions read;
    read.codePage = options.codePage;
    read.expandCompressed = true;
    if (!options.folder.empty())
        read.folder = EncodeDestinationFolder(options.folder, options.codePage);

    bool sound = true;
    Json packages = Json::array();
    for (const std::string &package : options.packages) {
        Verdict verdict = VerifyPackage(package, options, read);
        sound = sound && verdict.Sound();
        if (options.json)
            packages.push_back(VerdictJson(verdict, options.codePage));
        else
            PrintVerdict(verdict, options.codePage);
    }
    if (options.json) {
        std::fputs(JsonText(Json{{"sound", sound}, {"packages", packages}}).c_str(), stdout);
        std::fflush(stdout);
    }
    // Every package's findings are printed already: nothing is left to say but the status.
    if (!sound)
        throw PackErrors({});
}

} // namespace

void AddVerifyCommand(CLI::App &app)
{
    auto options = std::make_shared<VerifyOptions>();
    CLI::App *cmd = app.add_subcommand("verify", "Check packages for everything the stub relies on");
    cmd->add_option("PACKAGE", options->packages, "the stub files to check, one or more")->required();
    cmd->add_option("--folder", options->folder,
                    "check full path lengths for this destination folder instead of the package's own\n"
                    "(in extract mode the user may choose another one)");
    AddCodePageOption(*cmd, options->codePage, "Windows ANSI code page the names are stored in (decimal)");
    cmd->add_flag("--require-signature", options->requireSignature, "count an unsigned package as a problem");
    cmd->add_flag("--json", options->json,
                  "print one JSON object for scripts: for each package whether it is sound, its problems\n"
                  "and notes, and its signature");
    AddMessageOptions(*cmd);
    cmd->footer("Checks the trailer, every record and name, that nothing leaves the destination folder, full\n"
                "paths of at most 255 characters, the setup program among the entries, and for compressed\n"
                "packages that every entry expands to its stated length. For a signed package: that the\n"
                "signature's digest matches the file (no byte of the program or the data area changed since\n"
                "signing), that the signer's signature and any timestamp hold. Whether the signer is trusted\n"
                "is Windows' decision: osslsigncode verify -CAfile ROOT.pem checks the chain to a root.\n"
                "Prints one line per problem and a summary line per package; a package that cannot be read\n"
                "is one line and counts as not sound, and the others are checked all the same. Exits with 0\n"
                "only when every package is sound, else with 1. Notes name what the stub reads without harm\n"
                "but no writer should produce; with --warnings-as-errors they count as problems.\n\n"
                "Examples:\n"
                "  velmor-pack verify acme-driver.exe\n"
                "  velmor-pack verify --folder 'D:\\Program Files\\Acme Tools' acme-tools.exe\n"
                "  velmor-pack verify --json disk1/*.exe | jq -r '.packages[] | select(.sound | not) | .path'\n");
    cmd->callback([options]() { RunVerify(*options); });
}

} // namespace velmor
