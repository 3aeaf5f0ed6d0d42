#include "host_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velmor::test {

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

std::string BytePackage(const std::vector<EntryHeader> &entries, const std::vector<std::string> &data)
{
    std::string image = "MZ" + std::string(126, '\0');
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

std::string StandInStub()
{
    return "MZ" + std::string(510, '\x90');
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

std::filesystem::path FreshTestFolder(const std::string &kind)
{
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("velmor-" + kind + "-" + std::to_string(getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    return folder;
}

std::vector<std::string> Listing(const std::filesystem::path &root)
{
    std::vector<std::string> paths;
    for (auto &e : std::filesystem::recursive_directory_iterator(root))
        paths.push_back(std::filesystem::relative(e.path(), root).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace velmor::test
