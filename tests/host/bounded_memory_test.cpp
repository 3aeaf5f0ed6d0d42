// Compressing and expanding in memory that does not grow with the file: velmor-pack
// runs under a data limit (RLIMIT_DATA, which counts the heap and other private
// writable memory) smaller than the file it is given, and must still give the file
// back. Holding the file whole, as it once did, fails at once.
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <string>
#include <stdexcept>
#include "host_support.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

constexpr size_t kLimit = 24 << 20;    // the data limit velmor-pack runs under
constexpr size_t kFileSize = 32 << 20; // more than the limit
// Thread stacks count as data too, and their default size follows the stack limit,
// which differs from machine to machine: the runs set it.
constexpr size_t kStack = 2 << 20;

// Numbered text lines with random stretches between them: about as compressible as
// the files of a setup.
std::string Compressible(size_t n, uint32_t seed)
{
    const std::string noise = RandomBytes(1 << 20, seed);
    std::string out;
    out.reserve(n + 4096);
    for (size_t k = 0; out.size() < n; ++k) {
        for (int line = 0; line < 40; ++line)
            out += "copy file " + std::to_string((k * 40 + line) % 5003) + " to the setup folder\r\n";
        out.append(noise, (k * 7919) % (noise.size() - 1024), 1024);
    }
    out.resize(n);
    return out;
}

// The encoder itself: it asks for the input a chunk at a time and writes its output
// as it goes, long before it has read the whole input; what the reader throws ends it.
TEST(SzddEncoderStreamTest, TakesInputAndGivesOutputInChunks)
{
    const std::string input = Compressible(3 << 20, 53);
    for (velmor::SzddLevel level : {velmor::SzddLevel::Default, velmor::SzddLevel::Best}) {
        SCOPED_TRACE(level == velmor::SzddLevel::Best ? "best" : "default");
        size_t read = 0, largestRead = 0, largestWrite = 0, readAtFirstWrite = 0;
        std::string out;
        const uint64_t size = velmor::SzddCompressTo(
            input.size(),
            [&](unsigned char *buffer, size_t count) {
                ASSERT_LE(read + count, input.size());
                input.copy(reinterpret_cast<char *>(buffer), count, read);
                read += count;
                largestRead = std::max(largestRead, count);
            },
            [&](const char *bytes, size_t count) {
                if (out.empty())
                    readAtFirstWrite = read;
                out.append(bytes, count);
                largestWrite = std::max(largestWrite, count);
            },
            level);
        EXPECT_EQ(read, input.size());
        EXPECT_EQ(size, out.size());
        EXPECT_TRUE(out == velmor::SzddCompress(input, level));
        EXPECT_TRUE(velmor::SzddExpand(out) == input);
        EXPECT_LE(largestRead, (size_t(64) << 10) + velmor::kSzddRingSize);
        EXPECT_LE(largestWrite, size_t(16) << 10);
        EXPECT_LT(readAtFirstWrite, size_t(2) << 20);

        size_t given = 0;
        auto failing = [&](unsigned char *buffer, size_t count) {
            if (given + count > input.size() / 2)
                throw std::runtime_error("the disk went away");
            input.copy(reinterpret_cast<char *>(buffer), count, given);
            given += count;
        };
        EXPECT_THROW(velmor::SzddCompressTo(input.size(), failing, [](const char *, size_t) {}, level),
                     std::runtime_error);
    }
}

#ifndef _WIN32 // the data limit is set by prlimit, on Linux
class BoundedMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Shell("command -v prlimit").status != 0)
            GTEST_SKIP() << "prlimit (util-linux) is not installed";
        root = FreshTestFolder("memory");
        fs::create_directories(root / "src" / "sub");
        fs::create_directories(root / "out");
        data = Compressible(kFileSize, 51);
        Write(root / "src" / "big.bin", data);
        Write(root / "src" / "sub" / "small.txt", Compressible(100000, 52));
    }
    void TearDown() override
    {
        if (!root.empty())
            fs::remove_all(root);
    }

    // velmor-pack under the limits.
    static CommandRun Limited(const std::string &arguments)
    {
        return Shell("prlimit --data=" + std::to_string(kLimit) + " --stack=" + std::to_string(kStack) + " " +
                     Quote(VELMOR_PACK_PATH) + " " + arguments);
    }

    fs::path root;
    std::string data;
};

TEST_F(BoundedMemoryTest, SzddCompressAndExpandHoldNoFileWhole)
{
    for (const char *level : {"", "--best "}) {
        SCOPED_TRACE(*level ? "best" : "default");
        CommandRun compress =
            Limited(std::string("szdd compress ") + level + Quote(root / "src" / "big.bin") + " " + Quote(root / "big.bi_"));
        ASSERT_EQ(compress.status, 0) << compress.output;
        CommandRun expand = Limited("szdd expand " + Quote(root / "big.bi_") + " " + Quote(root / "back.bin"));
        ASSERT_EQ(expand.status, 0) << expand.output;
        EXPECT_TRUE(Read(root / "back.bin") == data);
    }
}

// Several files at once: each job's output waits in a scratch file, not in memory,
// and none is left behind.
TEST_F(BoundedMemoryTest, CompressingFilesAtOnceHoldsNoneWhole)
{
    Write(root / "stub.exe", StandInStub());
    CommandRun create = Limited("create -q --stub " + Quote(root / "stub.exe") + " --compress -j 2 " +
                                Quote(root / "src") + " -o " + Quote(root / "out" / "pkg.exe"));
    ASSERT_EQ(create.status, 0) << create.output;
    CommandRun extract = Limited("extract -q " + Quote(root / "out" / "pkg.exe") + " " + Quote(root / "back"));
    ASSERT_EQ(extract.status, 0) << extract.output;
    EXPECT_TRUE(Read(root / "back" / "big.bin") == data);

    CommandRun compress = Limited("szdd compress -j 2 " + Quote(root / "src" / "big.bin") + " " +
                                  Quote(root / "src" / "sub" / "small.txt") + " " + Quote(root / "out"));
    ASSERT_EQ(compress.status, 0) << compress.output;
    EXPECT_TRUE(velmor::SzddExpand(Read(root / "out" / "big.bin")) == data);
    EXPECT_EQ(Listing(root / "out"), (std::vector<std::string>{"big.bin", "pkg.exe", "small.txt"}));
}
#endif

} // namespace
