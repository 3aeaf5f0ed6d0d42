// Reading the DER of an RFC 3161 timestamp token on Windows. Only the Windows build's
// code belongs here.
#include "windows/der_reading.h"

#include <string>

namespace velmor {

size_t DerLength(const unsigned char *bytes, size_t size, size_t *headerSize)
{
    if (size < 2)
        return 0;
    size_t header = 2, length = bytes[1];
    if (length & 0x80) {
        size_t count = length & 0x7F;
        if (count == 0 || count > 4 || size < 2 + count)
            return 0;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = length << 8 | bytes[2 + i];
        header += count;
    }
    if (headerSize)
        *headerSize = header;
    return length <= size - header ? header + length : 0;
}

// Walks TSTInfo ::= SEQUENCE { version, policy, messageImprint SEQUENCE { algorithm
// SEQUENCE { OID, ... }, hashedMessage OCTET STRING }, serialNumber, genTime, ... }.
bool ReadTimestampInfo(const unsigned char *der, size_t size, TimestampInfo &out)
{
    size_t header = 0, length = DerLength(der, size, &header);
    if (length == 0 || der[0] != 0x30)
        return false;
    const unsigned char *p = der + header, *end = der + length;
    auto element = [&](unsigned char tag, const unsigned char *&body, size_t &bodySize) {
        size_t h = 0, l = DerLength(p, static_cast<size_t>(end - p), &h);
        if (l == 0 || *p != tag)
            return false;
        body = p + h;
        bodySize = l - h;
        p += l;
        return true;
    };
    const unsigned char *body = nullptr, *imprint = nullptr, *time = nullptr;
    size_t bodySize = 0, imprintSize = 0, timeSize = 0;
    if (!element(0x02, body, bodySize) || !element(0x06, body, bodySize) || !element(0x30, imprint, imprintSize) ||
        !element(0x02, body, bodySize) || !element(0x18, time, timeSize) || timeSize < 15)
        return false;
    std::string t(reinterpret_cast<const char *>(time), timeSize);
    out.time = t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) + ":" +
               t.substr(10, 2) + ":" + t.substr(12, 2) + " UTC";
    // Within the imprint: the algorithm, then the digest.
    p = imprint;
    end = imprint + imprintSize;
    const unsigned char *algorithm = nullptr, *digest = nullptr;
    size_t algorithmSize = 0, digestSize = 0;
    if (!element(0x30, algorithm, algorithmSize) || !element(0x04, digest, digestSize))
        return false;
    out.imprint.assign(digest, digest + digestSize);
    p = algorithm;
    end = algorithm + algorithmSize;
    const unsigned char *oid = nullptr;
    size_t oidSize = 0;
    if (!element(0x06, oid, oidSize))
        return false;
    // The algorithm's identifier in dotted form, as CryptoAPI names it.
    std::string dotted;
    unsigned long long value = 0;
    for (size_t i = 0; i < oidSize; ++i) {
        value = value << 7 | (oid[i] & 0x7F);
        if (oid[i] & 0x80)
            continue;
        if (dotted.empty())
            dotted = std::to_string(value < 80 ? value / 40 : 2) + "." + std::to_string(value < 80 ? value % 40 : value - 80);
        else
            dotted += "." + std::to_string(value);
        value = 0;
    }
    out.imprintAlgorithm = dotted;
    return true;
}

} // namespace velmor
