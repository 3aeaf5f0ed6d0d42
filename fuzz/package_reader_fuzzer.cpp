// Any bytes as a package: the reader must stay inside them, and what it reports must
// hold together; listing and problem lines are rendered as list and verify would.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include "package_layout.h"
#include "package_reader.h"
#include "package_report.h"
#include "pe_image.h"
#include "windows_names.h"

namespace {

void Require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "package reader invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace velmor;
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    MemorySource source(bytes);
    ReadOptions options;
    options.expandCompressed = true;
    // The last byte (the data offset's top byte in a package) picks the code page,
    // so that double-byte scanning is exercised as well.
    options.codePage = size && (data[size - 1] & 1) ? 932 : 1252;
    PackageContents c = ReadPackage(source, options);

    Require(c.fileSize == size, "file size");
    Require(c.hasTrailer || !c.problems.empty(), "a file without a trailer has a problem");
    uint64_t dataEnd = size > kTrailerSize ? size - kTrailerSize : 0;
    if (c.hasTrailer)
        Require(c.dataEnd <= dataEnd && (c.certificateTable || c.dataEnd == dataEnd), "data area end");
    if (c.certificateTable) {
        Require(c.certificateTable->tableOffset == c.dataEnd && c.certificateTable->TableEnd() == size,
                "a certificate table from the data area to the end of the file");
        dataEnd = c.dataEnd;
    }
    uint64_t next = c.dataOffset;
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const PackageEntry &e = c.entries[i];
        Require(e.index == i + 1, "entries numbered in order");
        Require(e.recordOffset == next, "records back to back");
        Require(e.dataOffset <= dataEnd && e.dataSize <= dataEnd - e.dataOffset, "data inside the data area");
        Require(e.fileName.size() < kMaxNameLength && e.directoryName.size() < kMaxNameLength, "name lengths");
        next = e.dataOffset + e.dataSize;
    }
    Require(c.entries.size() <= c.entryCount, "no more entries than counted");
    if (c.Sound()) {
        Require(c.entries.size() == c.entryCount, "a sound package has every entry");
        Require(next <= dataEnd && dataEnd - next < (c.certificateTable ? 8u : 1u),
                "a sound package's data area ends at the trailer, or at the certificate table after alignment");
        Require(IsVelmorStub(source, c.dataOffset), "a sound package's program is the stub");
        for (const PackageEntry &e : c.entries)
            Require(NameStaysInside(e.fileName, false, options.codePage) &&
                        NameStaysInside(e.directory, true, options.codePage),
                    "a sound package's names stay inside the folder");
    }
    for (const PackageProblem &p : c.problems)
        Require(!ProblemLine(p, options.codePage).empty(), "problem line");

    // The first bytes as a name, straight through the shared name rule.
    std::string name(bytes.substr(0, std::min<size_t>(size, 300)));
    name = name.substr(0, name.find('\0'));
    for (int codePage : {1252, 932}) {
        bool asFile = NameStaysInside(name, false, codePage);
        bool asPath = NameStaysInside(name, true, codePage);
        Require(!asFile || asPath, "a file name the rule takes is a path it takes");
        if (!asPath)
            continue;
        for (const std::string &level : SplitLevels(name, codePage))
            Require(level.find_first_not_of(". ") != std::string::npos || level.empty(),
                    "an accepted path has no level of dots and spaces");
        Require(name.find(':') == std::string::npos || codePage == 932, "no colon in an accepted name");
    }
    if (c.hasTrailer) {
        std::string text = ListText(c, options.codePage);
        std::string json = JsonText(ListJson(c, options.codePage));
        Require(!text.empty() && json.back() == '\n' && Json::accept(json), "listing, and JSON that parses");
    }
    return 0;
}
