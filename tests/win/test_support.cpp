#include "test_support.h"

#include <gtest/gtest.h>
#include <cstdlib>

namespace velmor::test {

ScratchFolder::ScratchFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    for (;;) {
        char name[64];
        wsprintfA(name, "velmor-test-%lu-%u", GetCurrentProcessId(), ++counter);
        path_ = std::string(temp) + name;
        if (CreateDirectoryA(path_.c_str(), nullptr))
            break;
    }
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

void RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << path;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << path;
}

// The whole file at path into bytes; false when it cannot be opened now.
bool TryReadWholeFile(const std::string &path, std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.assign(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    if (!bytes.empty())
        ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
    bytes.resize(done);
    return true;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string bytes;
    if (!TryReadWholeFile(path, bytes))
        ADD_FAILURE() << "cannot open " << path;
    return bytes;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WindowsPathFromUnix(const std::string &unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char &c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string RequiredEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    if (!value || !*value) {
        ADD_FAILURE() << name << " is not set; run the tests through ctest";
        return {};
    }
    return value;
}

std::string StubImage()
{
    return ReadWholeFile(WindowsPathFromUnix(RequiredEnvironment("VELMOR_STUB")));
}

std::string EncodeDataArea(const std::vector<TestEntry> &entries)
{
    std::string area;
    for (const TestEntry &e : entries) {
        EntryHeader header;
        header.directoryName = e.directoryName;
        header.fileName = e.fileName;
        header.attributes = e.attributes;
        header.creationTime = e.creationTime;
        header.lastAccessTime = e.lastAccessTime;
        header.lastWriteTime = e.lastWriteTime;
        header.dataSize = static_cast<uint32_t>(e.data.size());
        area += EncodeEntryRecord(header);
        area += e.data;
    }
    return area;
}

std::string BuildPackage(const std::string &image, const std::string &dataArea,
                         TrailerFields trailer)
{
    if (!trailer.dataOffset)
        trailer.dataOffset = static_cast<uint32_t>(image.size());
    return image + dataArea + EncodeTrailer(trailer);
}

std::string WindowsDirectory()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    std::string result = dir;
    return result.back() == '\\' ? result : result + "\\";
}

std::string BuiltProgram(const char *name)
{
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, sizeof own);
    std::string path = own;
    return path.substr(0, path.rfind('\\') + 1) + name;
}

StartNote WaitForStartNote(const std::string &notePath, DWORD timeoutMs)
{
    // The note appears by a rename, and MoveFile holds the file open (with delete
    // access) for a moment after it has its new name: until then an open that does not
    // share deletion fails. So what is awaited is a note that can be read, not its name.
    StartNote note;
    std::string text;
    for (DWORD waited = 0; !TryReadWholeFile(notePath, text); waited += 50) {
        if (waited >= timeoutMs)
            return note;
        Sleep(50);
    }
    size_t end = text.find('\n');
    note.started = true;
    note.commandLine = text.substr(0, end);
    if (end != std::string::npos)
        note.directory = text.substr(end + 1, text.find('\n', end + 1) - end - 1);
    return note;
}

WineVersionSetting::WineVersionSetting(const std::string &programName, const char *version)
    : key_("Software\\Wine\\AppDefaults\\" + programName)
{
    HKEY key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version),
                             lstrlenA(version) + 1),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

WineVersionSetting::~WineVersionSetting()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}

uint64_t FileTimeValue(const FILETIME &time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t FileTimeValue(const StoredFileTime &time)
{
    return (static_cast<uint64_t>(time.high) << 32) | time.low;
}

} // namespace velmor::test
