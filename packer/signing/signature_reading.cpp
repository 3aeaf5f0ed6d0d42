#include "signature_reading.h"

#include <algorithm>
#include "package_layout.h"

namespace velmor {
namespace {

// Far more than any signature with its certificates needs.
constexpr uint64_t kMaxSignatureSize = 16 << 20;

} // namespace

void AddSignatureProblem(PackageContents &contents, const std::string &what)
{
    contents.problems.push_back({0, "", ProblemKind::Signature, what});
}

std::optional<std::vector<unsigned char>> ReadSignatureBytes(const ByteSource &source, PackageContents &contents)
{
    const PeSigningFields &pe = *contents.certificateTable;
    if (pe.tableOffset < pe.directoryOffset + 8) {
        AddSignatureProblem(contents, "the certificate table overlaps the program's header");
        return std::nullopt;
    }
    uint64_t start = uint64_t(pe.tableOffset) + kWinCertificateHeaderSize;
    uint64_t end = contents.fileSize - kTrailerSize;
    if (end - start > kMaxSignatureSize) {
        AddSignatureProblem(contents, "the certificate table of " + std::to_string(pe.tableSize) +
                                          " bytes is far larger than a signature");
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(end - start));
    source.Read(start, bytes.data(), bytes.size());
    return bytes;
}

void ForEachDigestedRange(const ByteSource &source, const PeSigningFields &pe,
                          const std::function<void(const unsigned char *, size_t)> &add)
{
    const struct {
        uint64_t begin, end;
    } ranges[] = {{0, pe.checksumOffset},
                  {pe.checksumOffset + 4, pe.directoryOffset},
                  {pe.directoryOffset + 8, pe.tableOffset}};
    std::vector<unsigned char> buffer(4 << 20);
    for (const auto &range : ranges) {
        for (uint64_t at = range.begin; at < range.end;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), range.end - at));
            source.Read(at, buffer.data(), n);
            add(buffer.data(), n);
            at += n;
        }
    }
}

std::string HexText(const unsigned char *bytes, size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

void AddVerdictProblems(PackageContents &contents)
{
    const SignatureFacts &facts = contents.signature;
    if (!facts.DigestMatches())
        AddSignatureProblem(contents, "the Authenticode digest does not match the file: bytes of the program or of "
                                      "the data area changed after signing (" + facts.digestAlgorithm + " signed " +
                                      facts.signedDigest.substr(0, 16) + "..., now " +
                                      facts.fileDigest.substr(0, 16) + "...)");
    if (!facts.signatureValid)
        AddSignatureProblem(contents, "the signer's signature over the digest does not hold: the signature itself "
                                      "was changed or damaged");
}

void AddTimestampProblems(PackageContents &contents, bool belongs, bool holds)
{
    if (!belongs)
        AddSignatureProblem(contents, "the timestamp was issued for another signature");
    else if (!holds)
        AddSignatureProblem(contents, "the timestamp authority's signature over the timestamp does not hold");
}

} // namespace velmor
