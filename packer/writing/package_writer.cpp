#include "package_writer.h"

#include <memory>
#include <string_view>
#include <vector>
#include "package_layout.h"
#include "input_file.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"
#include "scratch_file.h"
#include "stub_marker.h"

namespace velmor {
namespace {

// The stub marker is looked for in the image as read.
int ReadImage(void *context, uint32_t offset, void *buffer, uint32_t count)
{
    const std::string &image = *static_cast<const std::string *>(context);
    if (offset > image.size() || count > image.size() - offset)
        return 0;
    image.copy(static_cast<char *>(buffer), count, offset);
    return 1;
}

void CheckPackageSize(uint64_t size)
{
    if (size > kMaxPackageSize)
        throw PackError("the package would be 2 GiB or larger; the stub cannot read past 2 GiB. "
                        "Split the files into several packages");
}

std::string ChangedWhilePacking(const PlannedEntry &entry, bool longer)
{
    return entry.sourcePath + ": the file changed while it was being packed: expected " +
           std::to_string(entry.header.dataSize) + " bytes, as when the folder was read, found " +
           (longer ? "more" : "fewer");
}

// Copies one uncompressed entry after its record; reports each chunk to progress with
// the bytes of source data done so far, starting from done.
void StreamEntry(const PlannedEntry &entry, OutputFile &out, uint64_t done,
                 const ProgressCallback &progress)
{
    out.Write(EncodeEntryRecord(entry.header));
    CheckPackageSize(out.Size() + entry.header.dataSize + kTrailerSize);
    InputFile source(entry.sourcePath, entry.source);
    constexpr uint64_t kChunk = 16 << 20;
    uint64_t left = entry.header.dataSize;
    while (left > 0) {
        uint64_t want = std::min(left, kChunk);
        if (out.CopyFrom(source.handle(), want, source.path()) != want)
            throw PackError(ChangedWhilePacking(entry, false));
        left -= want;
        done += want;
        if (progress)
            progress(done);
    }
    char extra;
    if (source.Read(&extra, 1) != 0)
        throw PackError(ChangedWhilePacking(entry, true));
}

// Compresses a source file into write: its bytes are read as the compressor asks
// for them, and must be exactly as many as when the folder was read.
void CompressEntry(const PlannedEntry &entry, const EntryCompressor &compress, const DataWriter &write)
{
    InputFile source(entry.sourcePath, entry.source);
    ContentReader read = [&](unsigned char *buffer, size_t count) {
        if (source.ReadFull(reinterpret_cast<char *>(buffer), count) != count)
            throw PackError(ChangedWhilePacking(entry, false));
    };
    compress(entry.header.dataSize, read, write);
    char extra;
    if (source.Read(&extra, 1) != 0)
        throw PackError(ChangedWhilePacking(entry, true));
}

uint32_t CompressedSize(const PlannedEntry &entry, uint64_t size)
{
    if (size > kMaxFileSize)
        throw PackError(entry.sourcePath + ": the compressed file is 4 GiB or larger");
    return static_cast<uint32_t>(size);
}

// One job: the entry's data goes straight into the package, after a record whose
// size is filled in once the data is complete (the record's length does not depend
// on it).
void WriteCompressedEntry(const PlannedEntry &entry, const EntryCompressor &compress, OutputFile &out)
{
    EntryHeader header = entry.header;
    header.dataSize = 0;
    const uint64_t recordAt = out.Size();
    out.Write(EncodeEntryRecord(header));
    const uint64_t dataAt = out.Size();
    CompressEntry(entry, compress, [&out](const char *bytes, size_t count) {
        CheckPackageSize(out.Size() + count + kTrailerSize);
        out.Write(std::string_view(bytes, count));
    });
    header.dataSize = CompressedSize(entry, out.Size() - dataAt);
    out.WriteAt(recordAt, EncodeEntryRecord(header));
}

// Several jobs: each entry's data is made in a scratch file beside the package ...
std::unique_ptr<ScratchFile> CompressToScratch(const PlannedEntry &entry, const EntryCompressor &compress,
                                               const std::string &outputPath)
{
    auto scratch = std::make_unique<ScratchFile>(outputPath);
    CompressEntry(entry, compress, [&scratch](const char *bytes, size_t count) {
        // The entry's data alone would make the package too large.
        CheckPackageSize(scratch->Size() + count + kTrailerSize);
        scratch->Write(bytes, count);
    });
    return scratch;
}

// ... and copied into the package after its record, in order.
void CopyCompressedEntry(const PlannedEntry &entry, ScratchFile &data, OutputFile &out)
{
    EntryHeader header = entry.header;
    header.dataSize = CompressedSize(entry, data.Size());
    out.Write(EncodeEntryRecord(header));
    CheckPackageSize(out.Size() + data.Size() + kTrailerSize);
    data.CopyInto(out);
}

} // namespace

void CheckStubImage(const std::string &image, const std::string &stubPath)
{
    if (image.size() < 64 || image.compare(0, 2, "MZ") != 0)
        throw PackError(stubPath + ": not a Windows program; pass the velmor.exe stub with --stub");
    if (image.size() > kTrailerSize &&
        image.compare(image.size() - kTrailerSize, sizeof ARCHIVE_SIGNATURE, ARCHIVE_SIGNATURE,
                      sizeof ARCHIVE_SIGNATURE) == 0)
        throw PackError(stubPath + ": already carries a package; pass the bare stub");
    ImageReader reader{ReadImage, const_cast<std::string *>(&image)};
    if (!CarriesStubMarker(&reader))
        throw PackError(stubPath + ": a Windows program, but not the velmor stub (its version resource does not "
                                   "name the archive format " STUB_MARKER_VALUE "), so it could never extract "
                                   "the package; pass velmor.exe with --stub");
    CheckPackageSize(image.size() + kTrailerSize);
}

PackageSummary WritePackage(const PackagePlan &plan, const std::string &stubImage,
                            const std::string &outputPath, const EntryCompressor &compress,
                            const ProgressCallback &progress, unsigned jobs)
{
    if (!compress) {
        // Stored sizes are known up front: refuse before writing anything.
        uint64_t total = stubImage.size() + kTrailerSize;
        for (const PlannedEntry &entry : plan.entries)
            total += EncodeEntryRecord(entry.header).size() + entry.header.dataSize;
        CheckPackageSize(total);
    }
    OutputFile out(outputPath, 0777); // a program: executable where the umask allows
    out.Write(stubImage);
    PackageSummary summary;
    auto done = [&](const PlannedEntry &entry) {
        summary.sourceBytes += entry.header.dataSize;
        if (progress)
            progress(summary.sourceBytes);
    };
    if (compress && (jobs <= 1 || plan.entries.size() <= 1)) {
        for (const PlannedEntry &entry : plan.entries) {
            WriteCompressedEntry(entry, compress, out);
            done(entry);
        }
    } else if (compress) {
        ProduceInOrder(
            plan.entries.size(), jobs,
            [&](size_t i) { return CompressToScratch(plan.entries[i], compress, outputPath); },
            [&](size_t i, std::unique_ptr<ScratchFile> &&data) {
                CopyCompressedEntry(plan.entries[i], *data, out);
                done(plan.entries[i]);
            });
    } else {
        for (const PlannedEntry &entry : plan.entries) {
            StreamEntry(entry, out, summary.sourceBytes, progress);
            done(entry);
        }
    }
    TrailerFields trailer = plan.trailer;
    trailer.entryCount = static_cast<uint32_t>(plan.entries.size());
    trailer.dataOffset = static_cast<uint32_t>(stubImage.size());
    out.Write(EncodeTrailer(trailer));
    summary.packageSize = out.Size();
    summary.entryCount = trailer.entryCount;
    out.Commit();
    return summary;
}

} // namespace velmor
