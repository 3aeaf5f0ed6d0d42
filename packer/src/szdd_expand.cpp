#include "szdd_expand.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mspack.h>
#include "pack_error.h"

namespace velmor {
namespace {

// libmspack does all its I/O through an mspack_system and hands the "file names" it
// is given to open() untouched, so the names passed below are pointers to these
// buffers and the whole expansion stays in memory.
struct MemoryFile {
    std::string_view input; // what reads return
    std::string *output = nullptr; // where writes go, when opened for writing
    size_t position = 0;
};

MemoryFile *AsMemory(mspack_file *file)
{
    return reinterpret_cast<MemoryFile *>(file);
}

mspack_file *MemOpen(mspack_system *, const char *name, int mode)
{
    auto *file = reinterpret_cast<MemoryFile *>(const_cast<char *>(name));
    if (mode == MSPACK_SYS_OPEN_READ) {
        if (file->output != nullptr)
            return nullptr;
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        if (file->output == nullptr)
            return nullptr;
        file->output->clear();
    } else {
        return nullptr;
    }
    file->position = 0;
    return reinterpret_cast<mspack_file *>(file);
}

void MemClose(mspack_file *)
{
}

int MemRead(mspack_file *handle, void *buffer, int bytes)
{
    MemoryFile *file = AsMemory(handle);
    if (bytes < 0 || file->output != nullptr)
        return -1;
    size_t count = std::min(static_cast<size_t>(bytes), file->input.size() - file->position);
    std::memcpy(buffer, file->input.data() + file->position, count);
    file->position += count;
    return static_cast<int>(count);
}

int MemWrite(mspack_file *handle, void *buffer, int bytes)
{
    MemoryFile *file = AsMemory(handle);
    if (bytes < 0 || file->output == nullptr)
        return -1;
    file->output->append(static_cast<const char *>(buffer), static_cast<size_t>(bytes));
    return bytes;
}

int MemSeek(mspack_file *handle, off_t offset, int mode)
{
    MemoryFile *file = AsMemory(handle);
    size_t size = file->output != nullptr ? file->output->size() : file->input.size();
    off_t origin = 0;
    if (mode == MSPACK_SYS_SEEK_CUR)
        origin = static_cast<off_t>(file->position);
    else if (mode == MSPACK_SYS_SEEK_END)
        origin = static_cast<off_t>(size);
    else if (mode != MSPACK_SYS_SEEK_START)
        return -1;
    off_t target = origin + offset;
    if (target < 0 || static_cast<size_t>(target) > size)
        return -1;
    file->position = static_cast<size_t>(target);
    return 0;
}

off_t MemTell(mspack_file *handle)
{
    return static_cast<off_t>(AsMemory(handle)->position);
}

void MemMessage(mspack_file *, const char *, ...)
{
    // Problems reach the caller through the error code.
}

void *MemAlloc(mspack_system *, size_t bytes)
{
    return std::malloc(bytes);
}

void MemFree(void *pointer)
{
    std::free(pointer);
}

void MemCopy(void *source, void *destination, size_t bytes)
{
    std::memmove(destination, source, bytes);
}

mspack_system memorySystem = {
    MemOpen, MemClose, MemRead, MemWrite, MemSeek, MemTell,
    MemMessage, MemAlloc, MemFree, MemCopy, nullptr,
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

std::string SzddExpand(std::string_view szddFile, std::string_view name)
{
    auto fail = [&](const std::string &reason) {
        return PackError(std::string(name) + ": " + reason);
    };
    std::unique_ptr<msszdd_decompressor, DecompressorDeleter> decompressor(
        mspack_create_szdd_decompressor(&memorySystem));
    if (!decompressor)
        throw fail("cannot start the SZDD decompressor");

    MemoryFile input{szddFile, nullptr, 0};
    msszddd_header *header = decompressor->open(decompressor.get(), reinterpret_cast<const char *>(&input));
    if (header == nullptr)
        throw fail(Reason(decompressor->last_error(decompressor.get())));
    // Only the plain format: the QBasic variant is not what the Windows tools read.
    int format = header->format;
    off_t length = header->length;
    std::string expanded;
    MemoryFile output{{}, &expanded, 0};
    int error = MSPACK_ERR_OK;
    if (format == MSSZDD_FMT_NORMAL) {
        // The header's length is not trusted: one item expands at most 18 times.
        expanded.reserve(std::min<size_t>(static_cast<size_t>(length), 18 * szddFile.size()));
        error = decompressor->extract(decompressor.get(), header, reinterpret_cast<const char *>(&output));
    }
    decompressor->close(decompressor.get(), header);
    if (format != MSSZDD_FMT_NORMAL)
        throw fail("SZDD file in the QBasic variant");
    if (error != MSPACK_ERR_OK)
        throw fail(Reason(error));
    // libmspack stops quietly where the data ends.
    if (static_cast<off_t>(expanded.size()) != length)
        throw fail("SZDD data cut short: " + std::to_string(expanded.size()) + " of " +
                   std::to_string(length) + " bytes");
    return expanded;
}

} // namespace velmor
