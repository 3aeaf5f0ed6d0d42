// What a package will hold, in the order it is written, with every name in the
// archive's code page and every limit of the format checked before anything is
// written.
#ifndef VELMOR_PACKAGE_PLAN_H
#define VELMOR_PACKAGE_PLAN_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "record_writer.h"
#include "source_tree.h"

namespace velmor {

struct PackageSettings {
    uint8_t mode = 0;               // 0 extract, 1 setup
    bool compressed = false;
    std::string setupProgram;       // UTF-8, relative to the destination folder; may be empty
    std::string folder;             // UTF-8; empty: the stub chooses at run time
    std::string description;        // UTF-8; line breaks become CR LF
    int codePage = 1252;
    // Each file's creation and last access times as found; otherwise its last write
    // time stands for all three, so that copies of a tree, or a tree read in between,
    // give the same package.
    bool allTimes = false;
    // FILETIME: a later time is stored as this one (SOURCE_DATE_EPOCH).
    std::optional<uint64_t> latestTime;
};

struct PlannedEntry {
    EntryHeader header;             // dataSize is the source file's size until compressed
    std::string sourcePath;
    ScannedFile source;             // the file the scan found at sourcePath
    std::string displayPath;        // relative path as given, for messages
};

struct PackagePlan {
    std::vector<PlannedEntry> entries;
    TrailerFields trailer;          // all but dataOffset and entryCount
    std::vector<std::string> warnings;
};

// A destination folder as given on the command line (UTF-8, '/' or '\\'), in the
// code page with backslashes. Throws PackError unless it is representable and a full
// path that begins with a drive letter.
std::string EncodeDestinationFolder(const std::string &folder, int codePage);

// Orders the files (the folder's own files first, then each directory's files as
// one group, both sorted by name), stores each directory name on its group's first
// entry only, converts names and texts to the code page, and checks every limit.
// Throws PackErrors with a line for each refused file or setting, naming it and the
// reason.
PackagePlan PlanPackage(std::vector<SourceFile> files, const PackageSettings &settings);

// Largest file and package the format can describe.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFULL;      // under 4 GiB
constexpr uint64_t kMaxPackageSize = 0x7FFFFFFFULL;   // under 2 GiB

} // namespace velmor

#endif
