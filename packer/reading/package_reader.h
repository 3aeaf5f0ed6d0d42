// Reading a package back: the trailer and every entry record, checked against what
// the stub relies on, without ever reading outside the file. Problems are collected
// rather than thrown, so that a damaged package can be described completely: one
// problem per finding, each naming the entry it concerns.
#ifndef VELMOR_PACKAGE_READER_H
#define VELMOR_PACKAGE_READER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "byte_source.h"
#include "pe_image.h"

namespace velmor {

enum class ProblemKind {
    Structure, // the bytes do not form a package (trailer, record bounds, name lengths)
    Name,      // a name the stub refuses or that would leave the destination folder
    Length,    // a full path over 255 characters for the folder checked against
    Content,   // compressed data that does not expand to its stated length
    Duplicate, // a second entry for the same file: the later one replaces the earlier
    Setup,     // the setup program is missing or unusable
    Signature, // the Authenticode signature is misplaced or does not hold; the stub is not affected
    Stub,      // the program before the data is not the velmor stub: it would never extract the package
    Time,      // a time stamp out of the range Windows sets: the file keeps the time of its extraction
};

struct PackageProblem {
    uint32_t index = 0;   // 1-based entry index; 0 for the package as a whole
    std::string path;     // the entry's relative path as far as it could be read
    ProblemKind kind = ProblemKind::Structure;
    std::string what;     // what is wrong, one line, without the entry
};

struct PackageEntry {
    uint32_t index = 0;          // 1-based
    std::string directoryName;   // as stored, up to its first zero byte; "" inherits
    std::string directory;       // the directory the stub puts it in: stored or inherited
    std::string fileName;        // up to its first zero byte
    std::string path;            // directory (without trailing backslashes) \ fileName
    uint32_t attributes = 0;
    uint64_t creationTime = 0;   // FILETIME
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    uint64_t recordOffset = 0;   // file offset of the record
    uint64_t dataOffset = 0;     // file offset of the first data byte
    uint32_t dataSize = 0;
    std::optional<uint32_t> expandedSize; // compressed packages: the SZDD header's length
};

// What the Authenticode signature of a signed package states, and whether it holds
// for the file: filled in by CheckSignature (package_signature.h).
struct SignatureFacts {
    bool read = false;            // the table held a signature that could be read
    bool unchecked = false;       // libcrypto could not be loaded here to read it
    std::string digestAlgorithm;  // such as "SHA256"
    std::string signedDigest;     // hexadecimal, as the signature states it
    std::string fileDigest;       // hexadecimal, computed over the file
    bool signatureValid = false;  // the signer's signature over the stated digest holds
    std::string signer;           // subject of the signing certificate
    std::string issuer;
    std::string validUntil;       // the signing certificate's end of validity, UTC
    std::string timestamp;        // UTC time of an RFC 3161 timestamp; "" when there is none
    std::string timestampAuthority;

    bool DigestMatches() const { return !signedDigest.empty() && signedDigest == fileDigest; }
};

struct PackageContents {
    uint64_t fileSize = 0;
    bool hasTrailer = false;     // the last 1052 bytes begin with ARCHIVE_SIGNATURE
    uint8_t mode = 0;
    int32_t compressedFlag = 0;
    uint32_t entryCount = 0;
    uint32_t dataOffset = 0;
    std::string setupProgram;    // each up to its first zero byte
    std::string defaultFolder;
    std::string description;
    uint64_t dataEnd = 0;        // where the data area ends: at the trailer, or at the certificate table
    // A signed package: its certificate table, which ends with the trailer at the end
    // of the file. The table begins at the 8-byte boundary at or after the last entry.
    std::optional<PeSigningFields> certificateTable;
    // Signed by a tool that appended the signature behind the trailer: the length of
    // the package before it, the trailer its last 1052 bytes.
    std::optional<uint64_t> unsignedLength;
    SignatureFacts signature;
    bool trailerSound = false;   // a trailer without structural problems
    bool entriesReadable = false; // the data offset let the records be walked
    std::vector<PackageEntry> entries; // the records read whole and inside the data area
    std::vector<PackageProblem> problems;
    std::vector<PackageProblem> notes;  // departures from the format that the stub takes in its stride

    bool compressed() const { return compressedFlag != 0; }
    bool Sound() const { return problems.empty(); }
    bool HasProblem(ProblemKind kind) const;
};

struct ReadOptions {
    // The destination folder that full path lengths are checked for; empty: the
    // package's own folder, or the stub's fallback folder when it names none.
    std::string folder;
    // Expand every compressed entry to check it (reads all data); otherwise only the
    // SZDD header is looked at.
    bool expandCompressed = false;
    // The ANSI code page of the names: in a double-byte code page the second byte of
    // a character is never taken for a backslash or colon.
    int codePage = 1252;
};

PackageContents ReadPackage(const ByteSource &source, const ReadOptions &options = {});

} // namespace velmor

#endif
