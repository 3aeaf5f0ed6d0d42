// One reading of a package, in the steps that package_reader_*.cpp each take on: the
// trailer and where the data area lies (trailer), the walk through the records
// (records), the checks of names, paths and the setup program (checks) and of
// compressed data (szdd). Only those files include this.
#ifndef VELMOR_PACKAGE_READER_RUN_H
#define VELMOR_PACKAGE_READER_RUN_H

#include <cstdint>
#include <string>
#include "entry_record.h"
#include "package_reader.h"
#include "windows_names.h"

namespace velmor::reading {

// Reads forward through the data area and never past its end.
struct Cursor {
    const ByteSource &source;
    uint64_t position;
    uint64_t end;
    int lastPart = kPartDirectoryNameLength; // the record part read last, or failed

    uint64_t Left() const { return end - position; }
    bool Take(void *buffer, size_t count)
    {
        if (count > Left())
            return false;
        if (count)
            source.Read(position, buffer, count);
        position += count;
        return true;
    }
};

// A stored name field as the stub reads it.
struct NameField {
    std::string text;       // up to the first zero byte
    bool terminated = true; // the last stored byte is the zero byte
    bool earlyZero = false; // a zero byte before the last one
};

// "'text'".
std::string Quoted(const std::string &text);

class Reader {
public:
    Reader(const ByteSource &source, const ReadOptions &options, PackageContents &contents)
        : source_(source), options_(options), c_(contents)
    {
    }

    // Reads the trailer, then the records where the data offset allows, then checks
    // the setup program; everything found goes into the contents.
    void Run();

private:
    void Problem(uint32_t index, const std::string &path, ProblemKind kind, const std::string &what);
    void Overall(ProblemKind kind, const std::string &what) { Problem(0, "", kind, what); }
    // Names in messages are shown in UTF-8.
    std::string Show(const std::string &ansi) const;
    // The folder full path lengths are checked for.
    std::string CheckFolder() const;

    // package_reader_trailer.cpp. ReadTrailer: false when the file holds no usable
    // trailer and nothing more can be read.
    bool ReadTrailer();
    const char *DataAreaEndName() const { return c_.certificateTable ? "certificate table" : "trailer"; }
    bool FindTrailerBeforeSignature();
    void LocateSignature();
    bool OnlyAlignmentLeft(const Cursor &cursor) const;
    bool ZeroBytes(uint64_t offset, size_t count) const;

    // package_reader_records.cpp. ReadEntry: false when the walk cannot go on past it.
    void ReadEntries();
    bool ReadEntry(Cursor &cursor, uint32_t index);

    // package_reader_checks.cpp
    void CheckTermination(const PackageEntry &entry, const char *which, uint16_t length, const NameField &name);
    void CheckNames(const PackageEntry &entry, uint16_t directoryLength, uint16_t fileLength,
                    const NameField &directory, const NameField &file);
    void CheckSetupProgram();

    // package_reader_szdd.cpp
    void CheckCompressedData(PackageEntry &entry);

    const ByteSource &source_;
    const ReadOptions &options_;
    PackageContents &c_;
    uint64_t dataEnd_ = 0;
    std::string currentDirectory_;
    WindowsNameIndex seen_{options_.codePage}; // the entries by their index
    bool walkComplete_ = false;
};

} // namespace velmor::reading

#endif
