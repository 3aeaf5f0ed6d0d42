// Extraction of a package on the host, the way the stub extracts it on Windows:
// entries in order, each directory name replacing the current one and an empty one
// keeping it, SZDD data expanded, last access and last write times restored, the
// read-only attribute turned into a file without write permission. The run stops at
// the first entry that the stub would stop at, or that would leave the destination.
//
// Each file is written beside its target and renamed over it, so an existing file is
// replaced rather than written through (a hard link to a file elsewhere keeps that
// file's data), and a failed entry leaves nothing of itself behind: neither a partial
// file nor a folder made for it. Each folder's names are read once and kept in an
// index, in which names that differ only in letter case are one, as on Windows.
#ifndef VELMOR_PACKAGE_EXTRACT_H
#define VELMOR_PACKAGE_EXTRACT_H

#include <cstdint>
#include <functional>
#include <string>
#include "package_reader.h"

namespace velmor {

struct ExtractSummary {
    uint32_t files = 0;
    uint64_t bytes = 0;       // bytes written, after expansion
    uint32_t foldersRead = 0; // folders whose names were read from the disk
};

// Called after each entry with its path below the destination and the bytes of
// package data done so far and in all.
using ExtractProgress = std::function<void(const std::string &path, uint64_t done, uint64_t total)>;

// contents is what ReadPackage found in source. Creates destination (and its missing
// parents) and extracts into it. Throws PackError: before writing anything when the
// trailer is unusable; otherwise at the first failing entry, naming it and saying
// what the run left on disk.
ExtractSummary ExtractPackage(const ByteSource &source, const PackageContents &contents,
                              const std::string &destination, int codePage,
                              const ExtractProgress &progress = {});

} // namespace velmor

#endif
