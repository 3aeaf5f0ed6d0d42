// SZDD: our encoder's files expanded by a decompressor that is not ours (SzddExpand:
// libmspack on Linux, LZ32 on Windows) and on Linux by the msexpand program, files made
// by mscompress expanded by SzddExpand, and velmor-pack szdd run as a user runs it.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "host_support.h"
#include "pack_error.h"
#include "package_layout.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"

namespace fs = std::filesystem;
using namespace velmor::test;
using velmor::SzddLevel;

namespace {

constexpr SzddLevel kLevels[] = {SzddLevel::Default, SzddLevel::Best};
constexpr size_t kHeaderSize = 14;

const char *LevelName(SzddLevel level)
{
    return level == SzddLevel::Best ? "best" : "default";
}

// Indented lines from a small vocabulary: text that compresses like text.
std::string Text(size_t n, uint32_t seed)
{
    static const char *const words[] = {"setup", "driver", "the", "file", "copy", "Windows",
                                        "folder", "of", "and", "version", "install", "to"};
    std::string out;
    uint32_t x = seed;
    while (out.size() < n) {
        x = x * 1103515245u + 12345u;
        out += std::string((x >> 16) % 12, ' ');
        for (unsigned w = 0; w < 3 + (x >> 8) % 7; ++w) {
            x = x * 1103515245u + 12345u;
            out += words[(x >> 16) % 12];
            out += ' ';
        }
        out += "\r\n";
    }
    out.resize(n);
    return out;
}

struct Sample {
    std::string name;
    std::string data;
};

// The edge cases of the format, then inputs many times the 4096-byte ring.
const std::vector<Sample> &Samples()
{
    static const std::vector<Sample> samples = [] {
        std::string block = RandomBytes(4096, 7);
        std::string wideBlock = RandomBytes(4097, 8);
        std::string large = Text(700000, 3) + RandomBytes(300000, 4) + std::string(70000, '\0') +
                            Text(600000, 5) + RandomBytes(40000, 6) + Text(500000, 7);
        return std::vector<Sample>{
            {"empty", ""},
            {"one-byte", "x"},
            {"two-bytes", std::string("\0\xff", 2)},
            {"three-spaces", "   "},
            {"spaces-then-text", std::string(40, ' ') + "hello" + std::string(17, ' ') + "world"},
            // Just under powers of two, where the encoder's tables change size.
            {"text-120", Text(120, 20)},
            {"text-1020", Text(1020, 21)},
            {"run", std::string(1000, 'a')},
            {"run-of-spaces", std::string(5000, ' ')},
            {"random", RandomBytes(20000, 1)},
            // Repeats exactly one ring apart: only the slot being written holds them.
            {"ring-period", block + block + block},
            // Repeats one byte too far apart to reach.
            {"past-ring", wideBlock + wideBlock},
            {"text", Text(100000, 2)},
            {"large", large},
        };
    }();
    return samples;
}

constexpr size_t kSmallSample = 200000; // what the slow external programs get

class SzddFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("szdd");
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
};

TEST(SzddCompressTest, HeaderFields)
{
    for (size_t length : {size_t(0), size_t(1), size_t(0x12345)}) {
        for (SzddLevel level : kLevels) {
            SCOPED_TRACE(std::to_string(length) + " bytes, " + LevelName(level));
            std::string file = velmor::SzddCompress(Text(length, 9), level);
            ASSERT_GE(file.size(), kHeaderSize);
            EXPECT_EQ(file.substr(0, kSzddMagicSize), std::string(SZDD_MAGIC, kSzddMagicSize));
            EXPECT_EQ(file[8], 'A');
            EXPECT_EQ(file[9], '\0');
            uint32_t stored = 0;
            for (int i = 0; i < 4; ++i)
                stored |= uint32_t(uint8_t(file[10 + i])) << (8 * i);
            EXPECT_EQ(stored, length);
        }
    }
}

TEST(SzddCompressTest, RoundTripsThroughAnotherDecompressor)
{
    for (const Sample &sample : Samples()) {
        for (SzddLevel level : kLevels) {
            SCOPED_TRACE(sample.name + ", " + LevelName(level));
            std::string file = velmor::SzddCompress(sample.data, level);
            EXPECT_TRUE(velmor::SzddExpand(file, sample.name) == sample.data);
            // Never more than storing every byte as a literal.
            EXPECT_LE(file.size(), kHeaderSize + sample.data.size() + (sample.data.size() + 7) / 8);
        }
    }
}

TEST(SzddCompressTest, BestIsNeverLargerThanDefault)
{
    for (const Sample &sample : Samples()) {
        SCOPED_TRACE(sample.name);
        EXPECT_LE(velmor::SzddCompress(sample.data, SzddLevel::Best).size(),
                  velmor::SzddCompress(sample.data, SzddLevel::Default).size());
    }
}

// Sizes worked out by hand: each item costs a flag bit plus 8 bits (literal) or 16
// (match of 3..18 bytes), and the stream is the bits rounded up to whole bytes. Both
// levels find these; Best finds the shortest stream for any input.
TEST(SzddCompressTest, FindsTheShortestStream)
{
    struct Case {
        const char *name;
        std::string data;
        size_t size;
    } cases[] = {
        {"empty", "", kHeaderSize},
        {"one byte", "x", kHeaderSize + 2},
        {"three spaces: one match into the initial spaces", "   ", kHeaderSize + 3},
        {"eighteen spaces", std::string(18, ' '), kHeaderSize + 3},
        {"nineteen spaces: a match and a literal (26 bits)", std::string(19, ' '), kHeaderSize + 4},
        // The 18 spaces are copied from the initial ones, from before the 'x'.
        {"a letter then eighteen spaces", "x" + std::string(18, ' '), kHeaderSize + 4},
        // 3 matches and 5 literals: 96 bits.
        {"spaces then a word", std::string(40, ' ') + "hello", kHeaderSize + 12},
        // A literal, then 56 matches cover the other 999 bytes: 961 bits.
        {"run of 1000", std::string(1000, 'a'), kHeaderSize + 121},
        // A literal and 55556 matches: 944461 bits.
        {"run of a million", std::string(1000000, '\0'), kHeaderSize + 118058},
    };
    for (const Case &c : cases) {
        for (SzddLevel level : kLevels) {
            SCOPED_TRACE(std::string(c.name) + ", " + LevelName(level));
            std::string file = velmor::SzddCompress(c.data, level);
            EXPECT_EQ(file.size(), c.size);
            EXPECT_EQ(velmor::SzddExpand(file), c.data);
        }
    }
}

// Long runs and periodic data give many equally short parses; the encoder must still
// settle its parse as it goes rather than carry it, and re-walk it, to the end.
// The size of the shortest SZDD file for input, found the slow way: the longest match
// at every position by trying every distance, then the cheapest parse in bits.
size_t ShortestFileSize(const std::string &input)
{
    const std::string v = std::string(4096, ' ') + input;
    const size_t n = input.size();
    std::vector<uint64_t> bits(n + 1, UINT64_MAX);
    bits[0] = 0;
    for (size_t i = 0; i < n; ++i) {
        size_t at = 4096 + i, limit = std::min<size_t>(18, n - i), longest = 0;
        for (size_t d = 1; d <= 4096 && longest < limit; ++d) {
            size_t len = 0;
            while (len < limit && v[at - d + len] == v[at + len])
                ++len;
            longest = std::max(longest, len);
        }
        bits[i + 1] = std::min(bits[i + 1], bits[i] + 9);
        for (size_t len = 3; len <= longest; ++len)
            bits[i + len] = std::min(bits[i + len], bits[i] + 17);
    }
    return kHeaderSize + static_cast<size_t>((bits[n] + 7) / 8);
}

TEST(SzddCompressTest, BestMatchesAnExhaustiveSearch)
{
    std::string mixed = Text(3000, 22) + RandomBytes(500, 23) + std::string(300, '\0') + Text(2000, 24);
    // Words of random bytes, repeated near and just out of reach: matches of every
    // length, found in the trees from 8 bytes on and in the chains below that.
    std::string words;
    const std::string letters = RandomBytes(3000, 25);
    const std::string picks = RandomBytes(4000, 26);
    for (size_t k = 0; words.size() < 12000; ++k) {
        const uint8_t pick = static_cast<uint8_t>(picks[k]);
        words += letters.substr(pick * 11 % 2900, 3 + pick % 11);
    }
    for (const Sample &sample : Samples()) {
        if (sample.data.size() > 3000)
            continue;
        SCOPED_TRACE(sample.name);
        EXPECT_EQ(velmor::SzddCompress(sample.data, SzddLevel::Best).size(), ShortestFileSize(sample.data));
    }
    EXPECT_EQ(velmor::SzddCompress(mixed, SzddLevel::Best).size(), ShortestFileSize(mixed));
    EXPECT_EQ(velmor::SzddCompress(words, SzddLevel::Best).size(), ShortestFileSize(words));
}

TEST(SzddCompressTest, RepetitiveInputTakesLinearTime)
{
    std::string runs = std::string(2 << 20, '\0') + std::string(1 << 20, 'a');
    std::string pairs;
    for (int i = 0; i < (1 << 20); ++i)
        pairs += "ab";
    for (const std::string *input : {&runs, &pairs}) {
        for (SzddLevel level : kLevels) {
            SCOPED_TRACE(LevelName(level));
            auto start = std::chrono::steady_clock::now();
            std::string file = velmor::SzddCompress(*input, level);
            std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            // About 0.2 s here; a parse that is not settled takes minutes.
            EXPECT_LT(seconds.count(), 10.0);
            EXPECT_TRUE(velmor::SzddExpand(file) == *input);
        }
    }
}

TEST(SzddCompressTest, ReachesBackAWholeRing)
{
    // A random block repeated: after the first copy, every byte is found only 4096
    // bytes back, in the ring slot about to be written, so the rest costs one 18-byte
    // match per 18 bytes. Long enough to cross the encoder's refills of its buffer.
    std::string block = RandomBytes(4096, 11);
    std::string repeated;
    for (int i = 0; i < 300; ++i)
        repeated += block;
    size_t matches = (repeated.size() - block.size() + 17) / 18;
    for (SzddLevel level : kLevels) {
        SCOPED_TRACE(LevelName(level));
        size_t once = velmor::SzddCompress(block, level).size();
        std::string file = velmor::SzddCompress(repeated, level);
        EXPECT_LE(file.size() - once, matches * 17 / 8 + 2);
        EXPECT_TRUE(velmor::SzddExpand(file) == repeated);
    }
}

#ifndef _WIN32
// mscompress and msexpand are Linux programs; on Windows SzddExpand is the system's LZ32.
bool HaveProgram(const char *name)
{
    return Shell(std::string("command -v ") + name).status == 0;
}

TEST_F(SzddFilesTest, MsexpandGivesOurInputBack)
{
    if (!HaveProgram("msexpand"))
        GTEST_SKIP() << "msexpand (Debian package mscompress) is not installed";
    for (const Sample &sample : Samples()) {
        if (sample.data.size() > kSmallSample)
            continue;
        for (SzddLevel level : kLevels) {
            SCOPED_TRACE(sample.name + ", " + LevelName(level));
            fs::path packed = root / (sample.name + ".sz");
            fs::path expanded = root / (sample.name + ".out");
            Write(packed, velmor::SzddCompress(sample.data, level));
            CommandRun run = Shell("msexpand < " + Quote(packed) + " > " + Quote(expanded));
            ASSERT_EQ(run.status, 0) << run.output;
            EXPECT_TRUE(Read(expanded) == sample.data);
        }
    }
}

TEST_F(SzddFilesTest, ExpandsFilesMadeByMscompress)
{
    if (!HaveProgram("mscompress"))
        GTEST_SKIP() << "mscompress (Debian package mscompress) is not installed";
    for (const Sample &sample : Samples()) {
        // mscompress itself gets inputs under 16 bytes wrong.
        if (sample.data.size() < 16 || sample.data.size() > kSmallSample)
            continue;
        SCOPED_TRACE(sample.name);
        fs::path original = root / sample.name;
        Write(original, sample.data);
        CommandRun run = Shell("mscompress " + Quote(original));
        ASSERT_EQ(run.status, 0) << run.output;
        std::string made = Read(original.string() + "_");
        ASSERT_GE(made.size(), kHeaderSize);
        EXPECT_TRUE(velmor::SzddExpand(made, sample.name) == sample.data);
    }
}
#endif

class SzddCommandTest : public SzddFilesTest {
protected:
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(root))
            names.push_back(entry.path().filename().u8string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SzddCommandTest, CompressThenExpandGivesTheFileBack)
{
    std::string data = Text(30000, 13) + RandomBytes(3000, 14);
    Write(root / "in.txt", data);
    struct Case {
        const char *option;
        SzddLevel level;
    } cases[] = {{"", SzddLevel::Default}, {"--best ", SzddLevel::Best}};
    for (const Case &c : cases) {
        SCOPED_TRACE(LevelName(c.level));
        CommandRun compress = Pack(std::string("szdd compress ") + c.option + Quote(root / "in.txt") + " " +
                            Quote(root / "in.tx_"));
        ASSERT_EQ(compress.status, 0) << compress.output;
        EXPECT_TRUE(Read(root / "in.tx_") == velmor::SzddCompress(data, c.level));
        CommandRun expand = Pack("szdd expand " + Quote(root / "in.tx_") + " " + Quote(root / "back.txt"));
        ASSERT_EQ(expand.status, 0) << expand.output;
        EXPECT_TRUE(Read(root / "back.txt") == data);
    }
}

TEST_F(SzddCommandTest, SeveralFilesGoToAFolderTheSameOnAnyNumberOfThreads)
{
    const std::vector<std::string> contents = {Text(200000, 16), RandomBytes(70000, 17), "", Text(5000, 18)};
    std::string inputs;
    for (size_t i = 0; i < contents.size(); ++i) {
        Write(root / "in" / ("f" + std::to_string(i)), contents[i]);
        inputs += Quote(root / "in" / ("f" + std::to_string(i))) + " ";
    }
    for (const char *level : {"", "--best "}) {
        for (const char *jobs : {"-j 1 ", "-j 3 "}) {
            SCOPED_TRACE(std::string(level) + jobs);
            fs::remove_all(root / "out");
            fs::create_directories(root / "out");
            CommandRun run = Pack(std::string("szdd compress ") + level + jobs + inputs + Quote(root / "out"));
            ASSERT_EQ(run.status, 0) << run.output;
            for (size_t i = 0; i < contents.size(); ++i)
                EXPECT_TRUE(Read(root / "out" / ("f" + std::to_string(i))) ==
                            velmor::SzddCompress(contents[i], *level ? SzddLevel::Best : SzddLevel::Default))
                    << i;
        }
    }
}

TEST_F(SzddCommandTest, FailureNamesTheFileAndLeavesNoOutput)
{
    Write(root / "plain.txt", "not compressed at all");
    std::string cut = velmor::SzddCompress(Text(3000, 15));
    Write(root / "cut.sz", cut.substr(0, cut.size() / 2));
    struct Case {
        std::string arguments;
        std::string file;
        std::string reason;
    } cases[] = {
        {"szdd expand " + Quote(root / "plain.txt") + " " + Quote(root / "out"), "plain.txt",
         "not an SZDD file"},
        {"szdd expand " + Quote(root / "cut.sz") + " " + Quote(root / "out"), "cut.sz", "cut short"},
        {"szdd compress " + Quote(root / "missing") + " " + Quote(root / "out"), "missing", "cannot open"},
        {"szdd compress " + Quote(root / "plain.txt") + " " + Quote(root / "no-dir" / "out"), "out",
         "cannot create"},
        {"szdd compress " + Quote(root / "plain.txt") + " " + Quote(root / "cut.sz") + " " + Quote(root / "plain.txt"),
         "plain.txt", "not a folder"},
        {"szdd compress " + Quote(root / "plain.txt") + " " + Quote(root / "plain.txt") + " " + Quote(root), "plain.txt",
         "another input file has the name plain.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        CommandRun run = Pack(c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.output.find(c.file + ": "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.reason), std::string::npos) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(Names(), (std::vector<std::string>{"cut.sz", "plain.txt"}));
    }
}

} // namespace
