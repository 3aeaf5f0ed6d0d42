// What the Windows signature check reads of DER itself. CryptoAPI decodes the PKCS#7
// message, but its decoder of an RFC 3161 TSTInfo (TIMESTAMP_INFO, Windows 8 and later)
// is missing from Wine, which the tests run under. Only the Windows build's code
// belongs here.
#ifndef VELMOR_DER_READING_H
#define VELMOR_DER_READING_H

#include <cstddef>
#include <string>
#include <vector>

namespace velmor {

// The length of the DER element that bytes begin with, header included; 0 when they
// do not begin with a whole one. The certificate table pads the signature with zeros,
// which CryptoAPI would not take for part of it.
size_t DerLength(const unsigned char *bytes, size_t size, size_t *headerSize = nullptr);

// The fields of an RFC 3161 TSTInfo that are reported or checked: its time and the
// imprint of what it vouches for.
struct TimestampInfo {
    std::string time;
    std::string imprintAlgorithm;
    std::vector<unsigned char> imprint;
};

// Fills out from the DER of a TSTInfo; false where it is not one.
bool ReadTimestampInfo(const unsigned char *der, size_t size, TimestampInfo &out);

} // namespace velmor

#endif
