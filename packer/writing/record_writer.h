// Encoding of the archive's records into bytes, without any I/O: the packer writes
// what these return, and tests build whole or damaged archives from them.
#ifndef VELMOR_RECORD_WRITER_H
#define VELMOR_RECORD_WRITER_H

#include <cstdint>
#include <string>

namespace velmor {

// One entry record's fields; names are already in the archive's ANSI code page.
struct EntryHeader {
    std::string directoryName; // empty: the entry keeps the previous entry's directory
    std::string fileName;
    uint32_t attributes = 0;
    uint64_t creationTime = 0; // FILETIME values
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    uint32_t dataSize = 0;
};

struct TrailerFields {
    uint8_t mode = 0;
    bool compressed = false;
    uint32_t entryCount = 0;
    std::string setupProgram;
    std::string defaultFolder;
    std::string description;
    uint32_t dataOffset = 0;
};

// The record that precedes an entry's data bytes: both lengths count the zero byte,
// and an empty directory name is stored with length 0. Throws std::invalid_argument
// for an empty file name or a name over 255 bytes.
std::string EncodeEntryRecord(const EntryHeader &entry);

// The 1052-byte trailer. Throws std::invalid_argument for a text that does not fit
// its field with the zero byte.
std::string EncodeTrailer(const TrailerFields &trailer);

} // namespace velmor

#endif
