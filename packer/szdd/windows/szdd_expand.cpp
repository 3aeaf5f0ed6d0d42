// SZDD expansion on Windows, through the system's LZ32 expander. Only the Windows
// build's code belongs here.
//
// LZ32 reads from a file handle, so the SZDD file is first copied into a temporary
// file of the system's temporary folder, opened for deletion on close: the system
// removes it when the handle closes, however the process ends. What LZ32 cannot tell
// is said where it matters: it passes a file that is not SZDD through as it is (the
// header is therefore checked here first), and it expands any bytes at all, so damage
// inside the data shows only when the data ends before, or runs on past, the length
// the header states.
#include "szdd_expand.h"

#include <windows.h>
#include <lzexpand.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "pack_error.h"
#include "package_layout.h"
#include "szdd_header.h"
#include "windows/windows_files.h"

namespace velmor {
namespace {

constexpr size_t kChunk = 64 << 10;
// The QBasic variant: its own magic, then the length, and no method byte.
constexpr char kQbasicMagic[] = "SZ \x88\xF0\x27\x33\xD1";
constexpr size_t kQbasicHeaderSize = 12;

// A file in the system's temporary folder that the system removes when it is closed.
class DeletedOnClose {
public:
    DeletedOnClose()
    {
        wchar_t folder[MAX_PATH + 1];
        wchar_t path[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"vsz", 0, path) == 0)
            throw PackError("cannot make a temporary file to expand SZDD data in: " + SystemReason(GetLastError()));
        // GetTempFileNameW created the file; it is opened again to be deleted on close.
        handle_ = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            DeleteFileW(path);
            throw PackError("cannot make a temporary file to expand SZDD data in: " + SystemReason(error));
        }
    }
    ~DeletedOnClose()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    DeletedOnClose(const DeletedOnClose &) = delete;
    DeletedOnClose &operator=(const DeletedOnClose &) = delete;

    HANDLE handle() const { return handle_; }
    // LZClose closes the handle from now on.
    void HandOver() { handle_ = INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// An LZ32 handle, closed (with the file under it) when it goes.
class LzFile {
public:
    explicit LzFile(INT handle) : handle_(handle) {}
    ~LzFile() { LZClose(handle_); }
    LzFile(const LzFile &) = delete;
    LzFile &operator=(const LzFile &) = delete;
    INT handle() const { return handle_; }

private:
    INT handle_;
};

const char *Reason(INT error)
{
    switch (error) {
    case LZERROR_READ:
        return "SZDD file cut short";
    case LZERROR_UNKNOWNALG:
        return "unsupported SZDD header";
    case LZERROR_GLOBALLOC:
    case LZERROR_GLOBLOCK:
        return "out of memory expanding SZDD data";
    default:
        return "cannot expand SZDD data";
    }
}

} // namespace

uint64_t SzddExpandTo(const ByteSource &source, uint64_t offset, uint64_t size, const ExpandSink &sink,
                      std::string_view name)
{
    auto fail = [&](const std::string &reason) { return PackError(std::string(name) + ": " + reason); };

    // The header, judged in the order libmspack's expander judges it, with its words.
    unsigned char header[kSzddHeaderSize];
    const size_t headerBytes = static_cast<size_t>(std::min<uint64_t>(size, kSzddHeaderSize));
    source.Read(offset, header, headerBytes);
    if (headerBytes < kSzddMagicSize)
        throw fail("SZDD file cut short");
    if (std::memcmp(header, kQbasicMagic, kSzddMagicSize) == 0)
        throw fail(headerBytes < kQbasicHeaderSize ? "SZDD file cut short" : "SZDD file in the QBasic variant");
    if (std::memcmp(header, SZDD_MAGIC, kSzddMagicSize) != 0)
        throw fail("not an SZDD file");
    if (headerBytes < kSzddHeaderSize)
        throw fail("SZDD file cut short");
    uint32_t length = 0;
    if (ReadSzddHeader(header, &length) != kSzddHeaderRead)
        throw fail("unsupported SZDD header");

    DeletedOnClose copy;
    std::vector<char> buffer(kChunk);
    for (uint64_t done = 0; done < size;) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
        source.Read(offset + done, buffer.data(), count);
        DWORD written = 0;
        if (!WriteFile(copy.handle(), buffer.data(), static_cast<DWORD>(count), &written, nullptr) ||
            written != count)
            throw PackError("cannot write a temporary file to expand SZDD data in: " +
                            SystemReason(GetLastError()));
        done += count;
    }
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(copy.handle(), start, nullptr, FILE_BEGIN))
        throw fail("cannot expand SZDD data: " + SystemReason(GetLastError()));

    // LZ32 takes the handle as the 32-bit file handle of its API: Windows' handle
    // values fit in 32 bits, also in 64-bit processes.
    INT opened = LZInit(static_cast<INT>(reinterpret_cast<INT_PTR>(copy.handle())));
    if (opened < 0)
        throw fail(Reason(opened));
    copy.HandOver();
    LzFile lz(opened);

    uint64_t expanded = 0;
    for (;;) {
        INT got = LZRead(lz.handle(), buffer.data(), static_cast<INT>(buffer.size()));
        if (got < 0)
            throw fail(Reason(got));
        if (got == 0)
            break;
        // Never more than the header states: data that runs on is damaged, and is not
        // expanded without bound.
        if (expanded + static_cast<uint64_t>(got) > length)
            throw fail("the SZDD data expands to more than the " + std::to_string(length) +
                       " bytes its header states");
        sink(buffer.data(), static_cast<size_t>(got));
        expanded += static_cast<uint64_t>(got);
    }
    // LZ32 stops quietly where the data ends.
    if (expanded != length)
        throw fail("SZDD data cut short: it expands to " + std::to_string(expanded) + " of the " +
                   std::to_string(length) + " bytes its header states");
    return length;
}

} // namespace velmor
