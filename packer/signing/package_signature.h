// The Authenticode signature of a signed package, checked (on Linux with OpenSSL): the
// digest it states against the digest of the file, the signer's signature over it, the
// signing certificate, and an RFC 3161 timestamp. Whether the certificate leads to a root
// that a Windows host trusts is Windows' decision; `osslsigncode verify -CAfile`
// checks it against a given root.
#ifndef VELMOR_PACKAGE_SIGNATURE_H
#define VELMOR_PACKAGE_SIGNATURE_H

#include "byte_source.h"
#include "package_reader.h"

namespace velmor {

// For a signed package (contents.certificateTable): fills in contents.signature and
// adds a Signature problem for each finding that keeps the signature from holding.
// Reads the whole file. Does nothing for an unsigned package.
void CheckSignature(const ByteSource &source, PackageContents &contents);

} // namespace velmor

#endif
