#include "host_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include "stub_marker.h"

namespace velmor::test {

// The Windows build of the tests runs velmor-pack.exe through the files layer's own
// RunProgram where it needs to; the shell is Linux's alone.
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
#endif

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

std::filesystem::path FreshTestFolder(const std::string &kind)
{
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("velmor-" + kind + "-" + std::to_string(ProcessId()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    return folder;
}

std::vector<std::string> Listing(const std::filesystem::path &root)
{
    std::vector<std::string> paths;
    for (auto &e : std::filesystem::recursive_directory_iterator(root))
        paths.push_back(std::filesystem::relative(e.path(), root).u8string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace velmor::test
