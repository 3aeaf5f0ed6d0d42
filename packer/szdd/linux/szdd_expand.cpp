// SZDD expansion on Linux, through libmspack. Only the Linux build's code belongs here.
#include "szdd_expand.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mspack.h>
#include "pack_error.h"

namespace velmor {
namespace {

// libmspack does all its I/O through an mspack_system and hands the "file names" it
// is given to open() untouched, so the names passed below are pointers to these
// records: reads come from a range of a byte source, writes go to a sink.
struct StreamFile {
    // Reading.
    const ByteSource *source = nullptr;
    uint64_t offset = 0;
    uint64_t size = 0;
    // Writing.
    const ExpandSink *sink = nullptr;
    uint64_t limit = 0;             // the length the header states
    bool overrun = false;           // the data expands to more than that
    std::exception_ptr thrown;      // what the source or sink threw, passed on after libmspack returns
    uint64_t position = 0;          // read position, or bytes written
    std::string pending;            // written bytes not yet passed on: libmspack writes byte by byte

    // Passes the pending bytes to the sink; false when it threw.
    bool Flush()
    {
        if (pending.empty())
            return true;
        try {
            (*sink)(pending.data(), pending.size());
        } catch (...) {
            thrown = std::current_exception();
            return false;
        }
        pending.clear();
        return true;
    }
};

constexpr size_t kSinkChunk = 64 << 10;

StreamFile *AsStream(mspack_file *file)
{
    return reinterpret_cast<StreamFile *>(file);
}

mspack_file *StreamOpen(mspack_system *, const char *name, int mode)
{
    auto *file = reinterpret_cast<StreamFile *>(const_cast<char *>(name));
    if ((mode == MSPACK_SYS_OPEN_READ) != (file->source != nullptr) ||
        (mode != MSPACK_SYS_OPEN_READ && mode != MSPACK_SYS_OPEN_WRITE))
        return nullptr;
    file->position = 0;
    return reinterpret_cast<mspack_file *>(file);
}

void StreamClose(mspack_file *)
{
}

int StreamRead(mspack_file *handle, void *buffer, int bytes)
{
    StreamFile *file = AsStream(handle);
    if (bytes < 0 || file->source == nullptr)
        return -1;
    size_t count = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(bytes), file->size - file->position));
    try {
        file->source->Read(file->offset + file->position, buffer, count);
    } catch (...) {
        file->thrown = std::current_exception();
        return -1;
    }
    file->position += count;
    return static_cast<int>(count);
}

int StreamWrite(mspack_file *handle, void *buffer, int bytes)
{
    StreamFile *file = AsStream(handle);
    if (bytes < 0 || file->sink == nullptr)
        return -1;
    // Never more than the header states: data that runs on is damaged, and is not
    // expanded without bound.
    if (file->position + static_cast<uint64_t>(bytes) > file->limit) {
        file->overrun = true;
        return -1;
    }
    file->pending.append(static_cast<const char *>(buffer), static_cast<size_t>(bytes));
    if (file->pending.size() >= kSinkChunk && !file->Flush())
        return -1;
    file->position += static_cast<uint64_t>(bytes);
    return bytes;
}

int StreamSeek(mspack_file *handle, off_t offset, int mode)
{
    StreamFile *file = AsStream(handle);
    if (file->source == nullptr)
        return -1;
    off_t origin = 0;
    if (mode == MSPACK_SYS_SEEK_CUR)
        origin = static_cast<off_t>(file->position);
    else if (mode == MSPACK_SYS_SEEK_END)
        origin = static_cast<off_t>(file->size);
    else if (mode != MSPACK_SYS_SEEK_START)
        return -1;
    off_t target = origin + offset;
    if (target < 0 || static_cast<uint64_t>(target) > file->size)
        return -1;
    file->position = static_cast<uint64_t>(target);
    return 0;
}

off_t StreamTell(mspack_file *handle)
{
    return static_cast<off_t>(AsStream(handle)->position);
}

void StreamMessage(mspack_file *, const char *, ...)
{
    // Problems reach the caller through the error code.
}

void *StreamAlloc(mspack_system *, size_t bytes)
{
    return std::malloc(bytes);
}

void StreamFree(void *pointer)
{
    std::free(pointer);
}

void StreamCopy(void *source, void *destination, size_t bytes)
{
    std::memmove(destination, source, bytes);
}

mspack_system streamSystem = {
    StreamOpen, StreamClose, StreamRead, StreamWrite, StreamSeek, StreamTell,
    StreamMessage, StreamAlloc, StreamFree, StreamCopy, nullptr,
};

const char *Reason(int error)
{
    switch (error) {
    case MSPACK_ERR_SIGNATURE:
        return "not an SZDD file";
    case MSPACK_ERR_DATAFORMAT:
        return "unsupported SZDD header";
    case MSPACK_ERR_READ:
        return "SZDD file cut short";
    case MSPACK_ERR_DECRUNCH:
        return "damaged SZDD data";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory expanding SZDD data";
    default:
        return "cannot expand SZDD data";
    }
}

struct DecompressorDeleter {
    void operator()(msszdd_decompressor *d) const { mspack_destroy_szdd_decompressor(d); }
};

} // namespace

uint64_t SzddExpandTo(const ByteSource &source, uint64_t offset, uint64_t size, const ExpandSink &sink,
                      std::string_view name)
{
    auto fail = [&](const std::string &reason) {
        return PackError(std::string(name) + ": " + reason);
    };
    std::unique_ptr<msszdd_decompressor, DecompressorDeleter> decompressor(
        mspack_create_szdd_decompressor(&streamSystem));
    if (!decompressor)
        throw fail("cannot start the SZDD decompressor");

    StreamFile input;
    input.source = &source;
    input.offset = offset;
    input.size = size;
    msszddd_header *header = decompressor->open(decompressor.get(), reinterpret_cast<const char *>(&input));
    if (input.thrown)
        std::rethrow_exception(input.thrown);
    if (header == nullptr)
        throw fail(Reason(decompressor->last_error(decompressor.get())));
    // Only the plain format: the QBasic variant is not what the Windows tools read.
    int format = header->format;
    uint64_t length = static_cast<uint64_t>(header->length);
    StreamFile output;
    output.sink = &sink;
    output.limit = length;
    int error = MSPACK_ERR_OK;
    output.pending.reserve(kSinkChunk);
    if (format == MSSZDD_FMT_NORMAL)
        error = decompressor->extract(decompressor.get(), header, reinterpret_cast<const char *>(&output));
    if (error == MSPACK_ERR_OK)
        output.Flush();
    decompressor->close(decompressor.get(), header);
    if (input.thrown)
        std::rethrow_exception(input.thrown);
    if (output.thrown)
        std::rethrow_exception(output.thrown);
    if (format != MSSZDD_FMT_NORMAL)
        throw fail("SZDD file in the QBasic variant");
    if (output.overrun)
        throw fail("the SZDD data expands to more than the " + std::to_string(length) +
                   " bytes its header states");
    if (error != MSPACK_ERR_OK)
        throw fail(Reason(error));
    // libmspack stops quietly where the data ends.
    if (output.position != length)
        throw fail("SZDD data cut short: it expands to " + std::to_string(output.position) + " of the " +
                   std::to_string(length) + " bytes its header states");
    return length;
}

} // namespace velmor
