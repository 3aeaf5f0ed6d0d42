#include "package_signing.h"

#include <filesystem>
#include "byte_order.h"
#include "child_process.h"
#include "file_system.h"
#include "output_file.h"
#include "pack_error.h"
#include "package_layout.h"
#include "package_plan.h"
#include "package_signature.h"
#include "pe_image.h"
#include "signing_tool.h"
#include "temporary_files.h"
#include "this_program.h"

namespace velmor {
namespace {

// Certificates, keys and passwords take some kilobytes.
constexpr uint64_t kMaxKeyFileSize = 1 << 20;

// Zero bytes between the signature and the trailer, so that the certificate table
// stays a multiple of 8 bytes long.
constexpr uint32_t kTrailerPadding = (kCertificateTableAlignment - kTrailerSize % kCertificateTableAlignment) %
                                     kCertificateTableAlignment;

// A folder of its own beside the output, removed with everything in it (also on
// SIGINT, SIGTERM and SIGHUP, and by the next run after SIGKILL).
class WorkFolder {
public:
    explicit WorkFolder(const std::string &beside) : temporary_(beside, "work", true)
    {
        std::string reason = CreatePrivateFolder(temporary_.path());
        if (!reason.empty())
            throw PackError(beside + ": cannot create a temporary folder beside it: " + reason);
    }
    std::string operator/(const char *name) const { return temporary_.path() + "/" + name; }

private:
    TemporaryPath temporary_;
};

// The first size bytes of another source: the package inside a file that a signing
// tool appended a signature to.
class PrefixSource : public ByteSource {
public:
    PrefixSource(const ByteSource &whole, uint64_t size) : whole_(whole), size_(size) {}
    uint64_t Size() const override { return size_; }
    void Read(uint64_t offset, void *buffer, size_t count) const override { whole_.Read(offset, buffer, count); }

private:
    const ByteSource &whole_;
    uint64_t size_;
};

// Copies the package's image and data area, the security directory cleared, into a
// file of its own: what the signing tool signs. Returns the permission bits it got as a
// new program, the umask applied.
unsigned WriteUnsignedBody(const std::string &input, const PeSigningFields &pe, uint64_t bodyEnd,
                           const std::string &path)
{
    InputFile in(input, UINT64_MAX);
    OutputFile body(path, 0777);
    auto copy = [&](uint64_t from, uint64_t to) {
        if (!in.Seek(from) ||
            body.CopyFrom(in.handle(), to - from, input) != to - from)
            throw PackError(input + ": the file got shorter while being read");
    };
    copy(0, pe.directoryOffset);
    body.Write(std::string(8, '\0'));
    copy(pe.directoryOffset + 8, bodyEnd);
    body.Commit();
    return body.Mode();
}

// Turns the signing tool's output into the signed package: the trailer appended inside
// the certificate table, table and checksum brought up to date, the permission bits
// set to mode.
void AppendTrailer(const std::string &path, uint64_t bodyEnd, const std::string &trailer, unsigned mode)
{
    auto source = OpenFileSource(path);
    std::optional<PeSigningFields> pe = ReadPeSigningFields(*source);
    uint64_t expectedTable = (bodyEnd + kCertificateTableAlignment - 1) / kCertificateTableAlignment *
                             kCertificateTableAlignment;
    bool placed = pe && pe->tableOffset == expectedTable && pe->TableEnd() == source->Size() &&
                  pe->tableSize >= kWinCertificateHeaderSize && pe->tableSize % kCertificateTableAlignment == 0;
    if (placed) {
        unsigned char header[kWinCertificateHeaderSize];
        source->Read(pe->tableOffset, header, sizeof header);
        placed = LoadLe32(header) == pe->tableSize;
    }
    if (!placed)
        throw PackError(std::string(kSigningToolName) + " placed the signature other than as one certificate table "
                        "at offset " + std::to_string(expectedTable) + " that ends the file; this version of " +
                        kSigningToolName + " cannot be used");
    uint32_t grown = pe->tableSize + kTrailerPadding + kTrailerSize;
    if (uint64_t(pe->tableOffset) + grown > kMaxPackageSize)
        throw PackError("the signed package would be 2 GiB or larger; the stub cannot read past 2 GiB");

    FileInPlace file(path);
    auto writeLe32At = [&file](uint64_t offset, uint32_t value) {
        char bytes[4];
        StoreLe32(reinterpret_cast<unsigned char *>(bytes), value);
        file.WriteAt(offset, std::string_view(bytes, sizeof bytes));
    };
    file.WriteAt(pe->TableEnd(), std::string(kTrailerPadding, '\0') + trailer);
    writeLe32At(pe->directoryOffset + 4, grown);
    writeLe32At(pe->tableOffset, grown);
    writeLe32At(pe->checksumOffset, PeChecksum(*OpenFileSource(path), pe->checksumOffset));
    std::string reason = file.Finish(mode);
    if (!reason.empty())
        throw PackError(path + ": cannot finish the signed package: " + reason);
}

} // namespace

void CheckSigningOptions(const SigningOptions &options)
{
    if (!options.pkcs12File.empty() && (!options.certFile.empty() || !options.keyFile.empty()))
        throw UsageError("--pkcs12 holds the certificate and the key: give it without --cert and --key");
    if (options.pkcs12File.empty() && options.certFile.empty() != options.keyFile.empty())
        throw UsageError("signing needs both --cert and --key (or --pkcs12)");
    if (!options.passwordFile.empty() && !options.passwordEnv.empty())
        throw UsageError("--password-file and --password-env exclude each other; give one");
    if (!options.Requested() && (!options.passwordFile.empty() || !options.passwordEnv.empty() ||
                                 !options.timestampUrls.empty() || !options.description.empty() ||
                                 !options.url.empty()))
        throw UsageError("the signing options need a certificate and key: give --cert and --key, or --pkcs12");
    // The signing tool reads these; they are checked here, as every input is.
    for (const std::string *file : {&options.certFile, &options.keyFile, &options.pkcs12File, &options.passwordFile}) {
        if (!file->empty())
            RequireRegularFile(*file, kMaxKeyFileSize);
    }
}

std::vector<NamedInput> SigningInputs(const SigningOptions &options)
{
    return {{"the certificate", options.certFile},
            {"the private key", options.keyFile},
            {"the PKCS#12 file", options.pkcs12File},
            {"the password file", options.passwordFile}};
}

SignSummary SignPackage(const std::string &input, const std::string &output, const SigningOptions &options)
{
    RequireReplaceableOutput(output);
    auto file = OpenFileSource(input);
    PackageContents contents = ReadPackage(*file);
    std::unique_ptr<ByteSource> prefix;
    if (contents.unsignedLength) {
        prefix = std::make_unique<PrefixSource>(*file, *contents.unsignedLength);
        contents = ReadPackage(*prefix);
    }
    const ByteSource &package = prefix ? *prefix : *file;
    if (!contents.hasTrailer)
        throw PackError(input + ": " + contents.problems.front().what);
    for (const PackageProblem &p : contents.problems) {
        if (p.kind == ProblemKind::Structure)
            throw PackError(input + ": the package is damaged (" + p.what +
                            "); velmor-pack verify names every problem");
        // A signature would vouch for a package that never extracts.
        if (p.kind == ProblemKind::Stub)
            throw PackError(input + ": " + p.what);
    }
    std::optional<PeSigningFields> pe = ReadPeSigningFields(package);
    if (!pe)
        throw PackError(input + ": the stub is not a Windows PE program with a security directory; "
                                "it cannot carry a signature");
    uint64_t bodyEnd = contents.entries.empty()
                           ? contents.dataOffset
                           : contents.entries.back().dataOffset + contents.entries.back().dataSize;
    if (bodyEnd < pe->directoryOffset + 8)
        throw PackError(input + ": the data area begins inside the program's header");
    std::string trailer(kTrailerSize, '\0');
    package.Read(package.Size() - kTrailerSize, trailer.data(), trailer.size());

    WorkFolder work(output);
    const std::string body = work / "unsigned.exe", signedPath = work / "signed.exe";
    unsigned mode = WriteUnsignedBody(input, *pe, bodyEnd, body);
    // Signed in place, the package keeps its permission bits; any other output is new.
    std::optional<FileIdentity> in = IdentifyFile(input), out = IdentifyFile(output);
    if (in && out && in->device == out->device && in->number == out->number)
        mode = in->permissionBits;
    SignWithTool(options, body, signedPath, input);
    AppendTrailer(signedPath, bodyEnd, trailer, mode);

    // Read back as list and verify read it: a sound package, its signature holding.
    auto result = OpenFileSource(signedPath);
    PackageContents check = ReadPackage(*result);
    CheckSignature(*result, check);
    for (const PackageProblem &p : check.problems) {
        if (p.kind == ProblemKind::Structure || p.kind == ProblemKind::Signature)
            throw PackError(input + ": the signed package does not hold up: " + p.what);
    }
    if (!check.certificateTable || !check.signature.DigestMatches() || !check.signature.signatureValid)
        throw PackError(input + ": the signed package does not hold up: its signature was not found again");
    std::string reason = MoveIntoPlace(signedPath, output);
    if (!reason.empty())
        throw PackError(output + ": cannot write: " + reason);
    return {check.fileSize, check.signature};
}

std::string PasswordFromEnvironment(const std::string &name)
{
    std::optional<std::string> password = EnvironmentVariable(name);
    if (!password)
        throw PackError("--password-env: the environment variable " + name + " is not set");
    if (password->size() > kMaxProgramInput)
        throw PackError("--password-env: " + name + " holds " + std::to_string(password->size()) +
                        " bytes; a password may be at most " + std::to_string(kMaxProgramInput) +
                        " bytes long, more than any key format needs");
    return *password;
}

} // namespace velmor
