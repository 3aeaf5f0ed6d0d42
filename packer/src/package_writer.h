// Writing a planned package: the stub image, each entry's record and data, the
// trailer. Entries are streamed from their source files; compressed entries are
// read whole and passed through the compressor, several at once if asked.
#ifndef VELMOR_PACKAGE_WRITER_H
#define VELMOR_PACKAGE_WRITER_H

#include <functional>
#include <string>
#include <string_view>
#include "package_plan.h"

namespace velmor {

struct PackageSummary {
    uint64_t packageSize = 0;
    uint64_t sourceBytes = 0;
    uint32_t entryCount = 0;
};

// Turns a file's contents into the data an entry stores (for example SZDD).
using EntryCompressor = std::function<std::string(std::string_view)>;

// Called as the work goes on with the bytes of source data done so far.
using ProgressCallback = std::function<void(uint64_t done)>;

// Checks that stubImage is a bare stub (a Windows program without an archive).
void CheckStubImage(const std::string &stubImage, const std::string &stubPath);

// Writes the package to outputPath through a temporary file: on any failure nothing
// is left at outputPath. With compress, up to `jobs` files are read and compressed at
// once (compress must allow that); the package is the same for any jobs. Throws
// PackError.
PackageSummary WritePackage(const PackagePlan &plan, const std::string &stubImage,
                            const std::string &outputPath, const EntryCompressor &compress,
                            const ProgressCallback &progress = {}, unsigned jobs = 1);

} // namespace velmor

#endif
