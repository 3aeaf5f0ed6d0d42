#include "record_writer.h"

#include <cstring>
#include <stdexcept>
#include "archive_format.h"

namespace velmor {
namespace {

void PutU16(std::string &out, uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutU32(std::string &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutFileTime(std::string &out, uint64_t value)
{
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

void PutName(std::string &out, const std::string &name)
{
    if (name.size() >= kMaxNameLength || name.find('\0') != std::string::npos)
        throw std::invalid_argument("name does not fit an entry record: " + name);
    PutU16(out, name.empty() ? 0 : static_cast<uint16_t>(name.size() + 1));
    if (!name.empty())
        out.append(name.c_str(), name.size() + 1);
}

void PutText(char *field, size_t size, const std::string &text, const char *what)
{
    if (text.size() >= size || text.find('\0') != std::string::npos)
        throw std::invalid_argument(std::string(what) + " does not fit its field");
    std::memcpy(field, text.data(), text.size());
}

void PutLe32(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

std::string EncodeEntryRecord(const EntryHeader &entry)
{
    if (entry.fileName.empty())
        throw std::invalid_argument("an entry needs a file name");
    std::string out;
    PutName(out, entry.directoryName);
    PutName(out, entry.fileName);
    PutU32(out, entry.attributes);
    PutFileTime(out, entry.creationTime);
    PutFileTime(out, entry.lastAccessTime);
    PutFileTime(out, entry.lastWriteTime);
    PutU32(out, entry.dataSize);
    return out;
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
    PutLe32(bytes + offsetof(ArchiveTrailer, compressed), fields.compressed ? 1 : 0);
    PutLe32(bytes + offsetof(ArchiveTrailer, entryCount), fields.entryCount);
    PutLe32(bytes + offsetof(ArchiveTrailer, dataOffset), fields.dataOffset);
    return std::string(reinterpret_cast<const char *>(bytes), sizeof trailer);
}

} // namespace velmor
