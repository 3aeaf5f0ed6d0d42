// The trailer at the end of the package, and where the data area lies: behind the
// program, up to the trailer or to the certificate table of a signed package.
#include <algorithm>
#include <cctype>
#include <cstring>
#include "byte_order.h"
#include "package_layout.h"
#include "package_reader_run.h"
#include "stub_marker.h"
#include "trailer_check.h"

namespace velmor::reading {
namespace {

// A fixed-size text field up to its first zero byte.
std::string FieldText(const char *field, size_t size)
{
    const void *zero = std::memchr(field, 0, size);
    return std::string(field, zero ? static_cast<const char *>(zero) - field : size);
}

} // namespace

bool Reader::ReadTrailer()
{
    if (c_.fileSize <= kTrailerSize) {
        Overall(ProblemKind::Structure,
                "the file is " + std::to_string(c_.fileSize) +
                    " bytes long, too short for a package (its trailer alone takes 1052 bytes)");
        return false;
    }
    unsigned char raw[kTrailerSize];
    source_.Read(c_.fileSize - kTrailerSize, raw, kTrailerSize);
    ArchiveTrailer trailer;
    std::memcpy(&trailer, raw, kTrailerSize);
    if (!SignatureMatches(&trailer)) {
        if (FindTrailerBeforeSignature())
            return false;
        Overall(ProblemKind::Structure,
                "no package trailer: the last 1052 bytes do not begin with the signature " ARCHIVE_SIGNATURE
                "; this is not a velmor package, or it was cut short");
        return false;
    }
    c_.hasTrailer = true;
    c_.mode = trailer.mode;
    c_.compressedFlag = trailer.compressed;
    c_.entryCount = trailer.entryCount;
    c_.dataOffset = trailer.dataOffset;
    if (c_.fileSize > 0x7FFFFFFFULL)
        Overall(ProblemKind::Structure, "the file is 2 GiB or larger; the stub cannot read it");
    if (c_.mode > kModeSetup)
        Overall(ProblemKind::Structure, "trailer: mode " + std::to_string(c_.mode) +
                                            " is neither 0 (extract) nor 1 (setup); the stub would extract nothing");
    struct {
        const char *field;
        size_t size;
        const char *name;
        std::string *text;
    } texts[] = {
        {trailer.setupProgram, kSetupProgramSize, "setup program", &c_.setupProgram},
        {trailer.defaultFolder, kDefaultFolderSize, "folder", &c_.defaultFolder},
        {trailer.description, kDescriptionSize, "description", &c_.description},
    };
    for (auto &t : texts) {
        bool terminated = FieldHoldsZeroByte(t.field, static_cast<int>(t.size));
        *t.text = FieldText(t.field, t.size);
        if (!terminated)
            Overall(ProblemKind::Structure, std::string("trailer: the ") + t.name +
                                                " field holds no zero byte; the stub refuses the package");
    }
    if (!c_.defaultFolder.empty() &&
        (c_.defaultFolder.size() < 3 || !std::isalpha(static_cast<unsigned char>(c_.defaultFolder[0])) ||
         c_.defaultFolder[1] != ':' || c_.defaultFolder[2] != '\\'))
        Overall(ProblemKind::Name, "trailer: the folder " + Quoted(Show(c_.defaultFolder)) +
                                       " is not a full path beginning with a drive letter, such as C:\\Setup");

    dataEnd_ = c_.fileSize - kTrailerSize;
    LocateSignature();
    c_.dataEnd = dataEnd_;
    if (c_.dataOffset > dataEnd_) {
        Overall(ProblemKind::Structure,
                "trailer: the data offset " + std::to_string(c_.dataOffset) + " lies past the start of the " +
                    DataAreaEndName() + " at " + std::to_string(dataEnd_));
        return true;
    }
    c_.entriesReadable = true;
    unsigned char image[2] = {0, 0};
    if (c_.dataOffset >= 2)
        source_.Read(0, image, 2);
    if (image[0] != 'M' || image[1] != 'Z')
        Overall(ProblemKind::Structure,
                "the " + std::to_string(c_.dataOffset) +
                    " bytes before the data offset are not a Windows program (no MZ at the start)");
    else if (!IsVelmorStub(source_, c_.dataOffset))
        Overall(ProblemKind::Stub, "the program before the data is not the velmor stub (its version resource does "
                                   "not name the archive format " STUB_MARKER_VALUE "): it never extracts the "
                                   "package; rebuild it with velmor-pack create");
    return true;
}

// A signing tool that knows nothing of packages appends the certificate table at
// the end of the file, behind the trailer and up to 7 bytes of alignment.
bool Reader::FindTrailerBeforeSignature()
{
    std::optional<PeSigningFields> pe = ReadPeSigningFields(source_);
    if (!pe || !pe->Signed() || pe->TableEnd() != c_.fileSize)
        return false;
    for (uint64_t padding = 0; padding < kCertificateTableAlignment; ++padding) {
        if (pe->tableOffset < kTrailerSize + padding)
            break;
        uint64_t end = pe->tableOffset - padding;
        ArchiveTrailer trailer;
        source_.Read(end - kTrailerSize, &trailer, kTrailerSize);
        if (!SignatureMatches(&trailer) || !ZeroBytes(end, padding))
            continue;
        c_.unsignedLength = end;
        Overall(ProblemKind::Structure,
                "the package was signed by a tool that appended the signature behind the package trailer: "
                "the stub finds no trailer in the last 1052 bytes and extracts nothing. Sign the unsigned "
                "package with velmor-pack sign, which keeps the trailer last (it also takes this file)");
        return true;
    }
    return false;
}

// A package signed by velmor-pack sign: the certificate table ends at the end of
// the file, one WIN_CERTIFICATE that holds the signature and then the trailer.
void Reader::LocateSignature()
{
    std::optional<PeSigningFields> pe = ReadPeSigningFields(source_);
    if (!pe || !pe->Signed())
        return;
    std::string table = "the certificate table at offset " + std::to_string(pe->tableOffset) + " (" +
                        std::to_string(pe->tableSize) + " bytes)";
    if (pe->TableEnd() == c_.fileSize && pe->tableSize >= kWinCertificateHeaderSize + kTrailerSize) {
        unsigned char header[kWinCertificateHeaderSize];
        source_.Read(pe->tableOffset, header, sizeof header);
        if (LoadLe32(header) == pe->tableSize && LoadLe16(header + 4) == kWinCertificateRevision2 &&
            LoadLe16(header + 6) == kWinCertificateTypePkcsSignedData) {
            c_.certificateTable = pe;
            dataEnd_ = pe->tableOffset;
            return;
        }
        Overall(ProblemKind::Signature, table + " is not one Authenticode signature that ends with the "
                                                "trailer; sign the package again with velmor-pack sign");
    } else if (pe->TableEnd() <= c_.dataOffset) {
        Overall(ProblemKind::Signature, "the stub carries a signature of its own (" + table +
                                            "), which the data behind it makes invalid: pack an unsigned "
                                            "stub and sign the package with velmor-pack sign");
    } else {
        Overall(ProblemKind::Signature, table + " does not end where the file ends, as it does in a package "
                                                "signed with velmor-pack sign; Windows will find the "
                                                "signature invalid");
    }
}

// Zero bytes from the last entry up to the 8-byte boundary where a signed
// package's certificate table begins.
bool Reader::OnlyAlignmentLeft(const Cursor &cursor) const
{
    if (!c_.certificateTable || cursor.Left() >= kCertificateTableAlignment || dataEnd_ % kCertificateTableAlignment)
        return false;
    return ZeroBytes(cursor.position, static_cast<size_t>(cursor.Left()));
}

// Whether the count bytes at offset (fewer than kCertificateTableAlignment) are all
// zero: the padding that keeps a certificate table aligned.
bool Reader::ZeroBytes(uint64_t offset, size_t count) const
{
    unsigned char gap[kCertificateTableAlignment] = {};
    source_.Read(offset, gap, count);
    return std::count(gap, gap + count, 0) == static_cast<long>(count);
}

} // namespace velmor::reading
