// Text, paths, reasons and handles as the Windows files layer uses them. Only the
// Windows build's code belongs here.
#include <algorithm>
#include <cstring>
#include "windows_files.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace velmor {
namespace {

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr NTSTATUS kNameInvalid = static_cast<NTSTATUS>(0xC0000033L);

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The \\.\ and \\?\ forms, with either slash.
bool HasPrefix(const std::string &path, char kind)
{
    return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == kind &&
           IsSeparator(path[3]);
}

bool EqualsIgnoringCase(const std::string &a, const char *b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        if (c != b[i])
            return false;
    }
    return true;
}

bool IsReservedName(const std::string &base)
{
    static const char *const kWhole[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *name : kWhole) {
        if (EqualsIgnoringCase(base, name))
            return true;
    }
    if (base.size() < 4)
        return false;
    std::string stem = base.substr(0, 3);
    if (!EqualsIgnoringCase(stem, "COM") && !EqualsIgnoringCase(stem, "LPT"))
        return false;
    std::string number = base.substr(3);
    // The digits 1 to 9, and the superscript one, two and three Windows takes for them.
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xc2\xb9" ||
           number == "\xc2\xb2" || number == "\xc2\xb3";
}

} // namespace

std::wstring WideFromUtf8(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int size = static_cast<int>(text.size());
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8FromWide(const wchar_t *text, size_t length)
{
    if (length == 0)
        return std::string();
    int size = static_cast<int>(length);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

std::string SystemReason(DWORD error)
{
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                  nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason = length > 0 ? Utf8FromWide(text, length) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\r' ||
                               reason.back() == '\n'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

std::string StatusReason(NTSTATUS status)
{
    return SystemReason(RtlNtStatusToDosError(status));
}

std::wstring SystemPath(const std::string &path)
{
    std::wstring wide = WideFromUtf8(path);
    if (HasPrefix(path, '?') || HasPrefix(path, '.')) {
        // The packer joins the levels below a path with '/', which no Windows name
        // holds, and which the prefixed form does not take for a separator.
        std::replace(wide.begin(), wide.end(), L'/', L'\\');
        return wide;
    }
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return wide; // the call that takes it reports what is wrong with it
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    if (full.compare(0, 4, L"\\\\.\\") == 0 || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool NamesDevice(const std::string &path)
{
    if (HasPrefix(path, '.'))
        return true;
    if (HasPrefix(path, '?'))
        return false; // every name is taken as it stands there
    size_t start = path.find_last_of("\\/:");
    std::string base = path.substr(start == std::string::npos ? 0 : start + 1);
    base = base.substr(0, base.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    return IsReservedName(base);
}

NTSTATUS OpenIn(HANDLE folder, const std::string &name, ACCESS_MASK access, ULONG disposition, ULONG options,
                HANDLE &opened)
{
    opened = INVALID_HANDLE_VALUE;
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos)
        return kNameInvalid;
    std::wstring wide = WideFromUtf8(name);
    if (wide.size() * sizeof(wchar_t) > 0xFFFE)
        return kNameInvalid;
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   kShareAll, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status >= 0)
        opened = handle;
    return status;
}

std::optional<std::vector<std::string>> NamesInFolder(HANDLE folder, std::string &reason)
{
    std::vector<std::string> names;
    alignas(8) static thread_local char buffer[64 * 1024];
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io;
        NTSTATUS status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                               FileDirectoryInformation, FALSE, nullptr, restart);
        if (status == kNoMoreFiles)
            break;
        if (status < 0) {
            reason = StatusReason(status);
            return std::nullopt;
        }
        for (size_t at = 0;;) {
            auto *entry = reinterpret_cast<FILE_DIRECTORY_INFORMATION *>(buffer + at);
            std::string name = Utf8FromWide(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != "." && name != "..")
                names.push_back(std::move(name));
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    return names;
}

DWORD WriteAll(HANDLE file, const char *bytes, size_t count, int64_t at)
{
    while (count > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
        DWORD written = 0;
        OVERLAPPED where{};
        if (at >= 0) {
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(at) >> 32);
        }
        if (!WriteFile(file, bytes, chunk, &written, at >= 0 ? &where : nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes += written;
        count -= written;
        if (at >= 0)
            at += written;
    }
    return 0;
}

HANDLE OpenFolderOf(const std::string &target, std::string &folder, std::string &name, DWORD &error)
{
    // The folder as the user wrote it, for messages and for paths beside the target.
    size_t cut = target.find_last_of("\\/");
    if (cut == std::string::npos && target.size() >= 2 && target[1] == ':')
        cut = 1; // C:name, in the current folder of drive C
    if (cut == std::string::npos) {
        folder = ".";
    } else {
        folder = target.substr(0, cut + 1);
        // The separator stays only where it makes a root: C:\ or \ .
        bool root = cut == 0 || (cut == 2 && target[1] == ':') || (cut == 1 && target[1] == ':');
        if (!root && IsSeparator(folder.back()))
            folder.pop_back();
    }
    // The folder opened and the name made in it are those Windows takes the whole
    // path for: "." and ".." resolved, trailing dots and spaces dropped.
    std::wstring full = SystemPath(target);
    size_t last = full.find_last_of(L'\\');
    std::wstring parent = full.substr(0, last);
    if (!parent.empty() && parent.back() == L':')
        parent += L'\\';
    name = Utf8FromWide(full.substr(last + 1));
    HANDLE handle = CreateFileW(parent.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        error = GetLastError();
    return handle;
}

bool OpenFacts::IsLink() const
{
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool OpenFacts::IsFolder() const
{
    return fileType == FILE_TYPE_DISK && !IsLink() && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool OpenFacts::IsRegular() const
{
    return fileType == FILE_TYPE_DISK && !IsLink() && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

const char *OpenFacts::KindName() const
{
    if (IsLink())
        return reparseTag == IO_REPARSE_TAG_MOUNT_POINT ? "a junction" : "a symbolic link";
    if (IsFolder())
        return "a folder";
    if (fileType == FILE_TYPE_CHAR)
        return "a device";
    if (fileType == FILE_TYPE_PIPE)
        return "a pipe";
    return IsRegular() ? "a regular file" : "a special file";
}

bool ReadOpenFacts(HANDLE handle, OpenFacts &facts)
{
    facts = OpenFacts();
    facts.fileType = GetFileType(handle);
    if (facts.fileType != FILE_TYPE_DISK)
        return facts.fileType != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
    if (!GetFileInformationByHandle(handle, &facts.info))
        return false;
    if (facts.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
            facts.reparseTag = tag.ReparseTag;
    }
    return true;
}

DWORD SetReadOnly(HANDLE file, bool readOnly)
{
    return SetAttribute(file, FILE_ATTRIBUTE_READONLY, readOnly);
}

DWORD SetAttribute(HANDLE file, DWORD attribute, bool on)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return GetLastError();
    DWORD attributes = on ? basic.FileAttributes | attribute : basic.FileAttributes & ~attribute;
    if (attributes == basic.FileAttributes)
        return 0;
    FILE_BASIC_INFO change{};
    change.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof change) ? 0 : GetLastError();
}

} // namespace velmor
