#include "package_writer.h"

#include <vector>
#include "package_layout.h"
#include "ordered_work.h"
#include "output_file.h"
#include "pack_error.h"

namespace velmor {
namespace {

// Source files are read without moving their last access times where the system
// allows that, and only if they are still regular files.
class SourceReader {
public:
    explicit SourceReader(const std::string &path) : file_(path) {}
    // Up to size bytes; 0 at the end of the file.
    size_t Read(char *buffer, size_t size) { return file_.Read(buffer, size); }

    uint64_t CopyTo(OutputFile &out, uint64_t count) { return out.CopyFrom(file_.fd(), count, file_.path()); }

private:
    InputFile file_;
};

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
    SourceReader source(entry.sourcePath);
    constexpr uint64_t kChunk = 16 << 20;
    uint64_t left = entry.header.dataSize;
    while (left > 0) {
        uint64_t want = std::min(left, kChunk);
        if (source.CopyTo(out, want) != want)
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

// The data a compressed entry stores: the source file read whole and compressed.
std::string CompressedData(const PlannedEntry &entry, const EntryCompressor &compress)
{
    std::string contents;
    contents.resize(entry.header.dataSize);
    SourceReader source(entry.sourcePath);
    size_t done = 0;
    while (done < contents.size()) {
        size_t n = source.Read(&contents[done], contents.size() - done);
        if (n == 0)
            throw PackError(ChangedWhilePacking(entry, false));
        done += n;
    }
    char extra;
    if (source.Read(&extra, 1) != 0)
        throw PackError(ChangedWhilePacking(entry, true));
    std::string data = compress(contents);
    if (data.size() > kMaxFileSize)
        throw PackError(entry.sourcePath + ": the compressed file is 4 GiB or larger");
    return data;
}

void WriteCompressedEntry(PlannedEntry entry, const std::string &data, OutputFile &out)
{
    entry.header.dataSize = static_cast<uint32_t>(data.size());
    out.Write(EncodeEntryRecord(entry.header));
    CheckPackageSize(out.Size() + data.size() + kTrailerSize);
    out.Write(data);
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
    OutputFile out(outputPath);
    out.Write(stubImage);
    PackageSummary summary;
    auto done = [&](const PlannedEntry &entry) {
        summary.sourceBytes += entry.header.dataSize;
        if (progress)
            progress(summary.sourceBytes);
    };
    if (compress) {
        ProduceInOrder(
            plan.entries.size(), jobs, [&](size_t i) { return CompressedData(plan.entries[i], compress); },
            [&](size_t i, std::string &&data) {
                WriteCompressedEntry(plan.entries[i], data, out);
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
    out.Commit(0755);
    return summary;
}

} // namespace velmor
