#include "host_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include "stub_marker.h"
#ifdef _WIN32
#include "child_process.h"
#endif

namespace velmor::test {

#ifndef _WIN32
CommandRun Shell(const std::string &command)
{
    CommandRun run{-1, ""};
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

CommandRun Pack(const std::string &arguments, const std::string &prefix)
{
    return Shell((prefix.empty() ? "" : prefix + " ") + VELMOR_PACK_PATH + " " + arguments);
}

CommandRun PackIn(const std::filesystem::path &folder, const std::string &arguments, const std::string &prefix)
{
    return Shell("cd " + Quote(folder) + " && " + prefix + " " + VELMOR_PACK_PATH + " " + arguments);
}
#else
// Windows has no sh: the command line the tests write for it is parted into words as
// sh parts it, and velmor-pack.exe is run through the files layer's own RunProgram.
namespace {

// The words of a command line: blanks part them; single quotes keep everything, double
// quotes and a backslash keep the next character. What only a shell does (pipes,
// redirection, variables, patterns) has no meaning here and fails the test.
std::vector<std::string> ShellWords(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) {
                ADD_FAILURE() << "unterminated quote in: " << line;
                return {};
            }
            word += line.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && std::string("\"\\$`").find(line[i + 1]) != std::string::npos)
                    ++i;
                word += line[i];
            }
            if (i == line.size()) {
                ADD_FAILURE() << "unterminated quote in: " << line;
                return {};
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else if (std::string("|&;<>()$`*?[").find(c) != std::string::npos) {
            ADD_FAILURE() << "a command line for sh, not for a program: " << line;
            return {};
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// Variables set for the runs started while it lives, as a prefix NAME=value ... sets
// them for sh; the earlier values come back at the end.
class EnvironmentSettings {
public:
    explicit EnvironmentSettings(const std::string &prefix)
    {
        for (const std::string &setting : ShellWords(prefix)) {
            size_t equals = setting.find('=');
            if (equals == 0 || equals == std::string::npos) {
                ADD_FAILURE() << "only variable settings can come before the program here: " << prefix;
                continue;
            }
            std::wstring name = std::filesystem::u8path(setting.substr(0, equals)).wstring();
            wchar_t old[32768];
            DWORD length = GetEnvironmentVariableW(name.c_str(), old, 32768);
            earlier_.push_back({name, length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND,
                                std::wstring(old, length < 32768 ? length : 0)});
            SetEnvironmentVariableW(name.c_str(), std::filesystem::u8path(setting.substr(equals + 1)).c_str());
        }
    }
    ~EnvironmentSettings()
    {
        for (auto it = earlier_.rbegin(); it != earlier_.rend(); ++it)
            SetEnvironmentVariableW(it->name.c_str(), it->set ? it->value.c_str() : nullptr);
    }

private:
    struct Earlier {
        std::wstring name;
        bool set;
        std::wstring value;
    };
    std::vector<Earlier> earlier_;
};

// velmor-pack.exe, named by its full path, run with the words given.
CommandRun RunPack(const std::string &program, std::vector<std::string> words)
{
    words.insert(words.begin(), program);
    std::optional<velmor::ProgramRun> run = velmor::RunProgram(words, "");
    EXPECT_TRUE(run.has_value()) << "velmor-pack.exe did not start";
    return run ? CommandRun{run->status, run->output} : CommandRun{-1, ""};
}

CommandRun RunPack(const std::string &program, const std::string &arguments, const std::string &prefix)
{
    EnvironmentSettings settings(prefix);
    return RunPack(program, ShellWords(arguments));
}

} // namespace

CommandRun Pack(const std::string &arguments, const std::string &prefix)
{
    return RunPack(SystemPath(VELMOR_PACK_PATH), arguments, prefix);
}

CommandRun PackWords(const std::vector<std::string> &arguments)
{
    return RunPack(SystemPath(VELMOR_PACK_PATH), arguments);
}

CommandRun PackIn(const std::filesystem::path &folder, const std::string &arguments, const std::string &prefix)
{
    // The full path is taken before the current folder, and with it the drive, changes.
    const std::string program = SystemPath(VELMOR_PACK_PATH);
    const std::filesystem::path earlier = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    CommandRun run = RunPack(program, arguments, prefix);
    std::filesystem::current_path(earlier);
    return run;
}
#endif

bool UnderWine()
{
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string SystemPath(const std::string &path)
{
#ifdef _WIN32
    std::wstring wide = std::filesystem::u8path(path).wstring();
    std::vector<wchar_t> full(32768);
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    return std::filesystem::path(std::wstring(full.data(), length)).u8string();
#else
    return path;
#endif
}

std::string BytePackage(const std::vector<EntryHeader> &entries, const std::vector<std::string> &data)
{
    std::string image = StandInStub();
    std::string area;
    for (size_t i = 0; i < entries.size(); ++i) {
        EntryHeader h = entries[i];
        h.dataSize = static_cast<uint32_t>(data[i].size());
        area += EncodeEntryRecord(h) + data[i];
    }
    TrailerFields t;
    t.entryCount = static_cast<uint32_t>(entries.size());
    t.defaultFolder = "C:\\Acme";
    t.dataOffset = static_cast<uint32_t>(image.size());
    return image + area + EncodeTrailer(t);
}

namespace {

void Put(std::string &bytes, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void PadTo(std::string &bytes, size_t multiple)
{
    bytes.resize((bytes.size() + multiple - 1) / multiple * multiple, '\0');
}

// A block of a version resource: its key in UTF-16, then value and children, each
// 4-byte aligned.
std::string VersionBlock(const std::string &key, const std::string &text, const std::string &children)
{
    std::string block(6, '\0');
    for (char c : key + '\0')
        block += std::string{c, '\0'};
    PadTo(block, 4);
    for (char c : text.empty() ? "" : text + '\0')
        block += std::string{c, '\0'};
    PadTo(block, 4);
    block += children;
    Put(block, 0, static_cast<uint32_t>(block.size()), 2);
    Put(block, 2, static_cast<uint32_t>(text.empty() ? 0 : text.size() + 1), 2);
    Put(block, 4, 1, 2);
    return block;
}

} // namespace

std::string StandInStub(const std::string &archiveFormat)
{
    // The version resource, below its type, name and language directories.
    std::string resources(0x58, '\0');
    const uint32_t rva = 0x1000;
    for (uint32_t level = 0; level < 3; ++level) {
        Put(resources, level * 0x18 + 14, 1, 2);
        Put(resources, level * 0x18 + 16, level == 0 ? 16 : level == 1 ? 1 : 0x409, 4);
        Put(resources, level * 0x18 + 20, level < 2 ? 0x80000000u | (level + 1) * 0x18 : 0x48, 4);
    }
    std::string strings = VersionBlock("040904E4", "", VersionBlock(STUB_MARKER_KEY, archiveFormat, ""));
    resources += VersionBlock("VS_VERSION_INFO", "", VersionBlock("StringFileInfo", "", strings));
    Put(resources, 0x48, rva + 0x58, 4);
    Put(resources, 0x4C, static_cast<uint32_t>(resources.size() - 0x58), 4);
    PadTo(resources, 0x200);

    // A PE32 header with one section, .rsrc, at file offset 0x200.
    std::string image(0x200, '\0');
    image.replace(0, 2, "MZ");
    Put(image, 0x3C, 0x40, 4);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    Put(image, 0x44, 0x14C, 2);
    Put(image, 0x46, 1, 2);
    Put(image, 0x54, 0xE0, 2);
    Put(image, 0x58, 0x10B, 2);
    Put(image, 0x58 + 92, 16, 4);
    Put(image, 0x58 + 96 + 2 * 8, rva, 4);
    Put(image, 0x58 + 96 + 2 * 8 + 4, static_cast<uint32_t>(resources.size()), 4);
    image.replace(0x138, 5, ".rsrc");
    Put(image, 0x138 + 8, static_cast<uint32_t>(resources.size()), 4);
    Put(image, 0x138 + 12, rva, 4);
    Put(image, 0x138 + 16, static_cast<uint32_t>(resources.size()), 4);
    Put(image, 0x138 + 20, 0x200, 4);
    return image + resources;
}

std::string Quote(const std::filesystem::path &path)
{
    return Quote(path.u8string());
}

std::string Quote(const char *text)
{
    return Quote(std::string(text));
}

std::string Quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void Write(const std::filesystem::path &path, const std::string &bytes)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string RandomBytes(size_t n, uint32_t seed)
{
    std::string out(n, '\0');
    uint32_t x = seed;
    for (char &c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

namespace {

int ProcessId()
{
#ifdef _WIN32
    return static_cast<int>(GetCurrentProcessId());
#else
    return getpid();
#endif
}

} // namespace

#ifdef _WIN32
namespace {

// 100-ns intervals from 1601 to 1970.
constexpr int64_t kUnixEpochTicks = 116444736000000000;

FILETIME TicksOf(const FileTime &time)
{
    uint64_t ticks = static_cast<uint64_t>(time.seconds * 10000000 + time.nanoseconds / 100 + kUnixEpochTicks);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

FileTime TimeOf(const FILETIME &ticks)
{
    int64_t since = static_cast<int64_t>((uint64_t{ticks.dwHighDateTime} << 32) | ticks.dwLowDateTime) - kUnixEpochTicks;
    int64_t seconds = since / 10000000, rest = since % 10000000;
    if (rest < 0)
        --seconds, rest += 10000000;
    return FileTime{seconds, static_cast<long>(rest * 100)};
}

HANDLE OpenForTimes(const std::filesystem::path &path, DWORD access)
{
    HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path.u8string() << ": error " << GetLastError();
    return file;
}

} // namespace

void SetFileTimes(const std::filesystem::path &path, const FileTimes &times)
{
    HANDLE file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    FILETIME access = TicksOf(times.access), write = TicksOf(times.write);
    EXPECT_TRUE(file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, &access, &write)) << path.u8string();
    CloseHandle(file);
}

FileTimes GetFileTimes(const std::filesystem::path &path)
{
    HANDLE file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    FILETIME access{}, write{};
    EXPECT_TRUE(file != INVALID_HANDLE_VALUE && GetFileTime(file, nullptr, &access, &write)) << path.u8string();
    CloseHandle(file);
    return FileTimes{TimeOf(access), TimeOf(write)};
}
#else
void SetFileTimes(const std::filesystem::path &path, const FileTimes &times)
{
    struct timespec both[2] = {{static_cast<time_t>(times.access.seconds), times.access.nanoseconds},
                               {static_cast<time_t>(times.write.seconds), times.write.nanoseconds}};
    EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), both, 0), 0) << path;
}

FileTimes GetFileTimes(const std::filesystem::path &path)
{
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return FileTimes{{info.st_atim.tv_sec, info.st_atim.tv_nsec}, {info.st_mtim.tv_sec, info.st_mtim.tv_nsec}};
}
#endif

std::filesystem::path FreshTestFolder(const std::string &kind)
{
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("velmor-" + kind + "-" + std::to_string(ProcessId()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    return folder;
}

void RemoveTree(const std::filesystem::path &root)
{
    std::error_code ignore;
    for (std::filesystem::recursive_directory_iterator it(root, ignore), end; it != end; it.increment(ignore))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignore);
    std::filesystem::remove_all(root);
}

std::vector<std::string> Listing(const std::filesystem::path &root)
{
    std::vector<std::string> paths;
    for (auto &e : std::filesystem::recursive_directory_iterator(root))
        paths.push_back(std::filesystem::relative(e.path(), root).generic_u8string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace velmor::test
