// What the Windows implementations of the files layer share, and with them the
// Windows code of the layers above (text in UTF-16, the system's words for an error,
// long paths). Only the Windows build's code belongs here.
#ifndef VELMOR_WINDOWS_FILES_H
#define VELMOR_WINDOWS_FILES_H

#include <windows.h>
#include <winternl.h>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "descriptor.h"

namespace velmor {

inline HANDLE AsHandle(SystemHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}
inline SystemHandle AsSystemHandle(HANDLE handle)
{
    return reinterpret_cast<SystemHandle>(handle);
}

// UTF-16 for the wide API. Bytes that are not UTF-8 become U+FFFD, so that a name
// made of them is looked for, and not found, rather than another name.
std::wstring WideFromUtf8(const std::string &text);
std::string Utf8FromWide(const wchar_t *text, size_t length);
inline std::string Utf8FromWide(const std::wstring &text)
{
    return Utf8FromWide(text.data(), text.size());
}

// The system's own words for an error code (GetLastError), without the full stop and
// line break Windows ends them with; the NTSTATUS form for the native calls.
std::string SystemReason(DWORD error);
std::string StatusReason(NTSTATUS status);

// The path as the wide API takes it whatever its length: made absolute, then given
// the \\?\ (or \\?\UNC\) prefix that lifts the 260-character limit. Paths that name a
// device (\\.\...) and paths that carry a prefix already are kept as they are,
// but for a / taken as a separator.
std::wstring SystemPath(const std::string &path);

// Whether Windows takes the path for a device rather than a file: a \\.\ path, or a
// last level whose name, extension and trailing dots and spaces aside, is one of the
// reserved names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$).
bool NamesDevice(const std::string &path);

// What stands under name in the open folder, opened through the native call that
// takes a folder handle, so that a level swapped on the way cannot lead elsewhere.
// name is one level: no separator in it. Status as the native call returns it.
NTSTATUS OpenIn(HANDLE folder, const std::string &name, ACCESS_MASK access, ULONG disposition, ULONG options,
                HANDLE &opened);

// Sharing for every file the packer opens: others may read, write, rename and
// remove, as they may on Linux.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What a folder handle is opened with: listing, lookups below it and its own facts.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// The names in the open folder, "." and ".." left out; nothing, with reason set,
// when it cannot be read.
std::optional<std::vector<std::string>> NamesInFolder(HANDLE folder, std::string &reason);

// Writes all count bytes, at offset `at` or, with at < 0, at the position; 0, or the
// error code of the failed write.
DWORD WriteAll(HANDLE file, const char *bytes, size_t count, int64_t at = -1);

// Opens the folder of an output path and sets folder to its path ("." for a bare
// name) and name to the output's name in it; INVALID_HANDLE_VALUE, with the error
// code set, when it cannot.
HANDLE OpenFolderOf(const std::string &target, std::string &folder, std::string &name, DWORD &error);

// The kind of what is open, for messages ("a folder", "a device", ...), from its
// attributes, reparse tag and file type.
struct OpenFacts {
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD reparseTag = 0;
    DWORD fileType = FILE_TYPE_UNKNOWN;
    bool IsLink() const;
    bool IsFolder() const;
    bool IsRegular() const;
    const char *KindName() const;
};
// The facts of an open handle; false when the system does not give them.
bool ReadOpenFacts(HANDLE handle, OpenFacts &facts);

// Sets or clears an attribute of the open file (the read-only one: SetReadOnly); 0,
// or the error code.
DWORD SetAttribute(HANDLE file, DWORD attribute, bool on);
DWORD SetReadOnly(HANDLE file, bool readOnly);

// Whether permission bits (output_file.h) ask for a read-only file: no write bit.
inline bool ReadOnlyMode(unsigned mode)
{
    return (mode & 0222u) == 0;
}

} // namespace velmor

#endif
