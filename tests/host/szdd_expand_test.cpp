// The SZDD expander's contract, the same on every build: what it expands, in chunks,
// and the words it refuses the rest with.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include "pack_error.h"
#include "szdd_encoder.h"
#include "szdd_expand.h"

namespace {

// Lines of a few words with bytes of noise between them: text that compresses like a
// program's files do, matches and literals mixed.
std::string Sample(size_t n, uint32_t seed)
{
    static const char *const words[] = {"setup", "driver", "the", "file", "copy", "Windows", "folder", "of"};
    std::string out;
    uint32_t x = seed;
    while (out.size() < n) {
        x = x * 1103515245u + 12345u;
        out += words[(x >> 16) % 8];
        out += (x >> 8) % 5 == 0 ? static_cast<char>(x >> 24) : ' ';
    }
    out.resize(n);
    return out;
}

TEST(SzddExpandTest, ExpandsARangeOfASourceInChunks)
{
    for (size_t length : {size_t(0), size_t(1), size_t(4096), size_t(300000)}) {
        SCOPED_TRACE(std::to_string(length) + " bytes");
        const std::string data = Sample(length, uint32_t(length));
        const std::string file = velmor::SzddCompress(data);
        // The SZDD file between other bytes, as an entry sits in a package.
        const std::string around = "before" + file + "after";
        velmor::MemorySource source(around);
        std::string expanded;
        size_t largest = 0;
        uint64_t returned = velmor::SzddExpandTo(source, 6, file.size(), [&](const char *bytes, size_t count) {
            expanded.append(bytes, count);
            largest = std::max(largest, count);
        });
        EXPECT_EQ(returned, length);
        EXPECT_TRUE(expanded == data);
        EXPECT_LE(largest, size_t(128) << 10) << "the expanded bytes come in chunks, not whole";
    }
}

TEST(SzddExpandTest, PassesOnWhatTheSinkThrows)
{
    const std::string file = velmor::SzddCompress(Sample(100000, 3));
    velmor::MemorySource source(file);
    EXPECT_THROW(velmor::SzddExpandTo(source, 0, file.size(),
                                      [](const char *, size_t) { throw std::runtime_error("disk full"); }),
                 std::runtime_error);
}

TEST(SzddExpandTest, RejectsWhatIsNotACompleteSzddFile)
{
    std::string good = velmor::SzddCompress(Sample(5000, 12));
    std::string otherMethod = good;
    otherMethod[8] = 'B';
    std::string qbasic = std::string("SZ \x88\xF0\x27\x33\xD1", 8) + good.substr(10);
    std::string longer = good; // data for more than the 4 bytes its header states
    longer.replace(10, 4, std::string("\x04\0\0\0", 4));
    struct Case {
        const char *name;
        std::string file;
        const char *reason;
    } cases[] = {
        {"plain.txt", "just some text, long enough to hold a header", "not an SZDD file"},
        {"empty.sz", "", "cut short"},
        {"header-only-part.sz", good.substr(0, 10), "cut short"},
        {"method-b.sz", otherMethod, "unsupported SZDD header"},
        {"qbasic.sz", qbasic, "QBasic"},
        {"cut.sz", good.substr(0, good.size() - 40), "cut short: it expands to "},
        {"long.sz", longer, "expands to more than the 4 bytes its header states"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            velmor::SzddExpand(c.file, c.name);
            ADD_FAILURE() << "no error";
        } catch (const velmor::PackError &e) {
            std::string message = e.what();
            EXPECT_EQ(message.rfind(std::string(c.name) + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

} // namespace
