// Compressed entries: an SZDD header of the one method the stub expands, and with
// expandCompressed, data that expands to the length the header states.
#include "pack_error.h"
#include "package_reader_run.h"
#include "szdd_expand.h"
#include "szdd_header.h"

namespace velmor::reading {

void Reader::CheckCompressedData(PackageEntry &entry)
{
    auto problem = [&](const std::string &what) {
        Problem(entry.index, entry.path, ProblemKind::Content, what);
    };
    if (entry.dataSize < kSzddHeaderSize) {
        problem("its compressed data of " + std::to_string(entry.dataSize) +
                " bytes is shorter than an SZDD header (14 bytes)");
        return;
    }
    unsigned char header[kSzddHeaderSize];
    source_.Read(entry.dataOffset, header, sizeof header);
    uint32_t length = 0;
    int result = ReadSzddHeader(header, &length);
    if (result == kSzddNotSzdd) {
        problem("its data is not an SZDD file, but the package is marked compressed");
        return;
    }
    if (result == kSzddOtherMethod) {
        problem("its SZDD header names compression method " + std::to_string(header[kSzddMethodOffset]) +
                ", not 65 ('A')");
        return;
    }
    entry.expandedSize = length;
    if (!options_.expandCompressed)
        return;
    // Streamed through, a window at a time: nothing of it is kept.
    try {
        SzddExpandTo(source_, entry.dataOffset, entry.dataSize, [](const char *, size_t) {}, "compressed data");
    } catch (const PackError &e) {
        problem(e.what());
    }
}

} // namespace velmor::reading
