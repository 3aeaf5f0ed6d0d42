// The parts of a Windows program's PE header that an Authenticode signature involves:
// the security data directory, which gives the file offset and size of the
// certificate table, and the header checksum. Neither is covered by the signature's
// digest, and neither is read by the stub. And whether a program is the stub.
#ifndef VELMOR_PE_IMAGE_H
#define VELMOR_PE_IMAGE_H

#include <cstdint>
#include <optional>
#include "byte_source.h"

namespace velmor {

// A WIN_CERTIFICATE: dwLength (header included), wRevision, wCertificateType, then
// the certificate itself. The table begins 8-byte aligned.
enum : uint32_t {
    kWinCertificateHeaderSize = 8,
    kWinCertificateRevision2 = 0x0200,
    kWinCertificateTypePkcsSignedData = 0x0002,
    kCertificateTableAlignment = 8,
};

struct PeSigningFields {
    uint64_t checksumOffset = 0;  // file offset of the optional header's CheckSum
    uint64_t directoryOffset = 0; // file offset of the security directory: table offset, table size
    uint32_t tableOffset = 0;     // a file offset, unlike the RVAs of the other directories
    uint32_t tableSize = 0;       // 0: the program is not signed

    bool Signed() const { return tableSize != 0; }
    uint64_t TableEnd() const { return uint64_t(tableOffset) + tableSize; }
};

// The fields, when the source begins with a PE program (PE32 or PE32+) whose header
// has a security directory; nothing otherwise.
std::optional<PeSigningFields> ReadPeSigningFields(const ByteSource &source);

// Whether the first imageSize bytes of the source are the velmor stub: a PE program
// that carries the stub marker (stub_marker.h).
bool IsVelmorStub(const ByteSource &source, uint64_t imageSize);

// The PE header checksum of the whole source, the field at checksumOffset counted as
// zero: 16-bit words summed with end-around carry, plus the file length.
uint32_t PeChecksum(const ByteSource &source, uint64_t checksumOffset);

} // namespace velmor

#endif
