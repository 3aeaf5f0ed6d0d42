// Writing a planned package: the stub image, each entry's record and data, the
// trailer. Entries are streamed from their source files; compressed entries are
// streamed through the compressor as well, several at once if asked, so that memory
// does not grow with the files.
#ifndef VELMOR_PACKAGE_WRITER_H
#define VELMOR_PACKAGE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include "package_plan.h"

namespace velmor {

struct PackageSummary {
    uint64_t packageSize = 0;
    uint64_t sourceBytes = 0;
    uint32_t entryCount = 0;
};

// Fills buffer with the next count bytes of the file being compressed; throws
// PackError when the file has fewer than it had when the folder was read.
using ContentReader = std::function<void(unsigned char *buffer, size_t count)>;
// Takes the next bytes of an entry's data.
using DataWriter = std::function<void(const char *bytes, size_t count)>;

// Turns a file's contents (size bytes, taken through read in order, never more) into
// the data an entry stores (for example SZDD), passed to write in order, a chunk at a
// time.
using EntryCompressor = std::function<void(uint64_t size, const ContentReader &read, const DataWriter &write)>;

// Called as the work goes on with the bytes of source data done so far.
using ProgressCallback = std::function<void(uint64_t done)>;

// Checks that stubImage is the bare stub: a Windows program that carries the stub
// marker (stub_marker.h), without an archive.
void CheckStubImage(const std::string &stubImage, const std::string &stubPath);

// Writes the package to outputPath through a temporary file: on any failure nothing
// is left at outputPath. With compress, up to `jobs` files are compressed at once
// (compress must allow that): with one job each entry's data goes straight into the
// package and its record's size is filled in after it; with more, each job writes
// its entry's data to a scratch file beside the output (scratch_file.h), copied into
// the package in order. The package is the same for any jobs. Each entry is read from
// the file the scan found (PlannedEntry::source): one that another file or a link has
// replaced since fails the package. Throws PackError.
PackageSummary WritePackage(const PackagePlan &plan, const std::string &stubImage,
                            const std::string &outputPath, const EntryCompressor &compress,
                            const ProgressCallback &progress = {}, unsigned jobs = 1);

} // namespace velmor

#endif
