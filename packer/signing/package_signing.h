// Signing a package with an Authenticode signature that keeps it working. The stub
// reads its trailer from the last 1052 bytes of its file, while a signature is a
// certificate table at the end of the file. So the package is signed without its
// trailer (image and data area, which the signature's digest covers), and the trailer
// is then appended inside the certificate table, which the digest leaves out: behind
// the signature and 4 zero bytes that keep the table a multiple of 8 bytes long,
// with the security directory and the WIN_CERTIFICATE grown to match.
//
// The signature itself is made by the system's signing tool (signing_tool.h).
#ifndef VELMOR_PACKAGE_SIGNING_H
#define VELMOR_PACKAGE_SIGNING_H

#include <cstdint>
#include <string>
#include <vector>
#include "output_file.h"
#include "package_reader.h"

namespace velmor {

struct SigningOptions {
    std::string certFile;     // certificate, with any intermediate certificates (PEM or DER)
    std::string keyFile;      // its private key
    std::string pkcs12File;   // or both in a PKCS#12 file
    std::string passwordFile; // password of the key or PKCS#12 file: in a file,
    std::string passwordEnv;  // or in this environment variable
    std::vector<std::string> timestampUrls; // RFC 3161 authorities, tried in order
    std::string description;  // the signed program's name, as Windows shows it
    std::string url;          // a page about it

    bool Requested() const { return !certFile.empty() || !pkcs12File.empty(); }
};

// The files signing reads, for the check that an output does not replace one.
std::vector<NamedInput> SigningInputs(const SigningOptions &options);

// Throws UsageError when the options do not name a certificate and key, or name
// options that only signing takes without them; PackError when a file they name is
// not a regular file.
void CheckSigningOptions(const SigningOptions &options);

struct SignSummary {
    uint64_t packageSize = 0;
    SignatureFacts signature; // as read back from the signed package
};

// Signs the package at input into output (which may be the same file). The input
// may be unsigned, signed by this function before (its signature is replaced), or
// signed by a tool that appended the signature behind the trailer. Entries, data and
// trailer stay byte for byte as they are. Writes through a temporary folder beside
// output: on failure nothing is left at output. The options name a certificate and
// key and have passed CheckSigningOptions. Throws PackError.
SignSummary SignPackage(const std::string &input, const std::string &output, const SigningOptions &options);

} // namespace velmor

#endif
