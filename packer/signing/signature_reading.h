// What the systems' signature checks (package_signature.h) share: where the signature
// lies, which bytes the Authenticode digest covers, and the words of their findings.
#ifndef VELMOR_SIGNATURE_READING_H
#define VELMOR_SIGNATURE_READING_H

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "byte_source.h"
#include "package_reader.h"

namespace velmor {

// Adds a Signature problem to the package's findings.
void AddSignatureProblem(PackageContents &contents, const std::string &what);

// The bytes of the signed package's certificate table behind its WIN_CERTIFICATE
// header, up to the trailer: the DER signature and the zeros that pad it. Nothing,
// with a problem added, where the table overlaps the program's header or is far
// larger than a signature.
std::optional<std::vector<unsigned char>> ReadSignatureBytes(const ByteSource &source,
                                                             PackageContents &contents);

// Passes to add, in order and a few MiB at a time, every byte of the file the
// Authenticode digest covers: all but the header checksum, the security directory
// entry and the certificate table.
void ForEachDigestedRange(const ByteSource &source, const PeSigningFields &pe,
                          const std::function<void(const unsigned char *, size_t)> &add);

// Bytes in upper-case hexadecimal, as the signature facts give digests.
std::string HexText(const unsigned char *bytes, size_t size);

// The findings on a signature whose facts were read: a digest other than the file's,
// a signer's signature that does not hold.
void AddVerdictProblems(PackageContents &contents);

// The findings on a signature's RFC 3161 timestamp: whether its imprint is the digest
// of the signer's signature value (belongs), and whether the authority's signature
// over it holds.
void AddTimestampProblems(PackageContents &contents, bool belongs, bool holds);

} // namespace velmor

#endif
