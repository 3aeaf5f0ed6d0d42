#include "record_writer.h"

#include <cstring>
#include <stdexcept>
#include "byte_order.h"
#include "entry_record.h"
#include "package_layout.h"

namespace velmor {
namespace {

void PutName(char (&field)[kMaxNameLength], const std::string &name)
{
    if (name.size() >= kMaxNameLength || name.find('\0') != std::string::npos)
        throw std::invalid_argument("name does not fit an entry record: " + name);
    std::memcpy(field, name.data(), name.size());
}

void PutText(char *field, size_t size, const std::string &text, const char *what)
{
    if (text.size() >= size || text.find('\0') != std::string::npos)
        throw std::invalid_argument(std::string(what) + " does not fit its field");
    std::memcpy(field, text.data(), text.size());
}

StoredFileTime Split(uint64_t time)
{
    return {static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32)};
}

} // namespace

std::string EncodeEntryRecord(const EntryHeader &entry)
{
    if (entry.fileName.empty())
        throw std::invalid_argument("an entry needs a file name");
    EntryRecord record;
    std::memset(&record, 0, sizeof record);
    PutName(record.directoryName, entry.directoryName);
    PutName(record.fileName, entry.fileName);
    record.attributes = entry.attributes;
    record.creationTime = Split(entry.creationTime);
    record.lastAccessTime = Split(entry.lastAccessTime);
    record.lastWriteTime = Split(entry.lastWriteTime);
    record.dataSize = entry.dataSize;
    unsigned char bytes[kMaxEntryRecordSize];
    uint32_t size = ::EncodeEntryRecord(&record, bytes, sizeof bytes);
    if (size == 0)
        throw std::invalid_argument("entry record cannot be encoded: " + entry.fileName);
    return std::string(reinterpret_cast<const char *>(bytes), size);
}

std::string EncodeTrailer(const TrailerFields &fields)
{
    ArchiveTrailer trailer;
    std::memset(&trailer, 0, sizeof trailer);
    std::memcpy(trailer.signature, ARCHIVE_SIGNATURE, sizeof ARCHIVE_SIGNATURE - 1);
    trailer.mode = fields.mode;
    PutText(trailer.setupProgram, sizeof trailer.setupProgram, fields.setupProgram,
            "setup program");
    PutText(trailer.defaultFolder, sizeof trailer.defaultFolder, fields.defaultFolder,
            "folder");
    PutText(trailer.description, sizeof trailer.description, fields.description,
            "description");
    // Integers are written byte by byte so that the result is little-endian anywhere.
    unsigned char *bytes = reinterpret_cast<unsigned char *>(&trailer);
    StoreLe32(bytes + offsetof(ArchiveTrailer, compressed), fields.compressed ? 1 : 0);
    StoreLe32(bytes + offsetof(ArchiveTrailer, entryCount), fields.entryCount);
    StoreLe32(bytes + offsetof(ArchiveTrailer, dataOffset), fields.dataOffset);
    return std::string(reinterpret_cast<const char *>(bytes), sizeof trailer);
}

} // namespace velmor
