// Packages built byte by byte for the package reader's tests, and what to ask of
// what it read.
#ifndef VELMOR_BYTE_BUILT_PACKAGES_H
#define VELMOR_BYTE_BUILT_PACKAGES_H

#include <string>
#include <vector>
#include "byte_source.h"
#include "host_support.h"
#include "package_layout.h"
#include "package_reader.h"
#include "record_writer.h"

namespace velmor::test {

// The program every package here is built behind: the test stand-in for the stub.
inline const std::string kImage = StandInStub();

struct Entry {
    std::string directory;
    std::string name;
    std::string data;
    uint32_t attributes = kAttributeArchive;
};

inline std::string Record(const Entry &e)
{
    EntryHeader h;
    h.directoryName = e.directory;
    h.fileName = e.name;
    h.attributes = e.attributes;
    h.lastWriteTime = 0x01D2000000000000ULL;
    h.dataSize = static_cast<uint32_t>(e.data.size());
    return EncodeEntryRecord(h) + e.data;
}

inline std::string DataArea(const std::vector<Entry> &entries)
{
    std::string area;
    for (const Entry &e : entries)
        area += Record(e);
    return area;
}

inline TrailerFields Trailer(uint32_t count, const std::string &setup = "", const std::string &folder = "C:\\Acme")
{
    TrailerFields t;
    t.entryCount = count;
    t.setupProgram = setup;
    t.defaultFolder = folder;
    t.dataOffset = static_cast<uint32_t>(kImage.size());
    return t;
}

inline std::string Package(const std::string &dataArea, const TrailerFields &trailer)
{
    return kImage + dataArea + EncodeTrailer(trailer);
}

inline std::string Package(const std::vector<Entry> &entries, TrailerFields trailer)
{
    trailer.entryCount = static_cast<uint32_t>(entries.size());
    return Package(DataArea(entries), trailer);
}

inline PackageContents Read(const std::string &bytes, ReadOptions options = {})
{
    MemorySource source(bytes);
    return ReadPackage(source, options);
}

// "index: what" for each problem, to compare and to print.
inline std::string Problems(const PackageContents &c)
{
    std::string text;
    for (const PackageProblem &p : c.problems)
        text += std::to_string(p.index) + " [" + p.path + "]: " + p.what + "\n";
    return text;
}

inline bool HasProblem(const PackageContents &c, uint32_t index, const std::string &part)
{
    for (const PackageProblem &p : c.problems) {
        if (p.index == index && p.what.find(part) != std::string::npos)
            return true;
    }
    return false;
}

inline void PutU32(std::string &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline size_t TrailerAt(const std::string &bytes)
{
    return bytes.size() - kTrailerSize;
}

// Five entries: directories named, inherited, and named with a trailing backslash.
inline const std::vector<Entry> kEntries = {
    {"", "SETUP.EXE", "program"},
    {"", "README.TXT", "read me"},
    {"DATA\\ONE", "A.BIN", "aaaa", kAttributeReadOnly},
    {"", "B.BIN", ""},
    {"TWO\\", "C.BIN", "c"},
};

} // namespace velmor::test

#endif
