// The SZDD match finder's contract, checked against a brute-force search: every match
// is real and in range, BinaryTree's is the longest, each comes with the input byte at
// its offset, and how the matches are taken in batches changes nothing.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "host_support.h"
#include "szdd_match_finder.h"

using namespace velmor;
using velmor::test::RandomBytes;

namespace {

constexpr MatchFinderStrategy kStrategies[] = {MatchFinderStrategy::HashChain, MatchFinderStrategy::BinaryTree};

std::string Repeat(const std::string &s, size_t times)
{
    std::string out;
    for (size_t k = 0; k < times; ++k)
        out += s;
    return out;
}

// Random picks from a few hundred short random words, some with a common beginning:
// matches of every length from 3 on, with many candidates each.
std::string Tokens(size_t n, uint32_t seed)
{
    const std::string letters = RandomBytes(4000, seed) + std::string(2000, 'e');
    const std::string picks = RandomBytes(n, seed + 1);
    std::string out;
    for (size_t k = 0; out.size() < n; ++k) {
        const uint8_t pick = static_cast<uint8_t>(picks[k % picks.size()]);
        out += letters.substr(pick * 13 % 5000, 3 + pick % 9);
    }
    out.resize(n);
    return out;
}

std::vector<Match> AllMatches(std::string_view input, MatchFinderStrategy strategy, size_t batch)
{
    std::unique_ptr<MatchFinder> finder = MatchFinderCreate(input, strategy);
    std::vector<Match> all;
    std::vector<Match> buffer(batch);
    while (size_t n = finder->Next(buffer.data(), batch)) {
        EXPECT_LE(n, batch);
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n));
    }
    EXPECT_EQ(finder->Next(buffer.data(), batch), 0u);
    return all;
}

// Checks each match against V (the ring's initial spaces, then input); with
// `longest`, also that it is the longest one there is.
void CheckMatches(const std::string &input, const std::vector<Match> &matches, bool longest)
{
    ASSERT_EQ(matches.size(), input.size());
    const std::string v = std::string(kSzddRingSize, ' ') + input;
    for (size_t i = 0; i < input.size(); ++i) {
        const size_t at = kSzddRingSize + i;
        const size_t limit = std::min<size_t>(kSzddMaxMatch, v.size() - at);
        auto common = [&](size_t d) {
            size_t len = 0;
            while (len < limit && v[at - d + len] == v[at + len])
                ++len;
            return len;
        };
        const Match m = matches[i];
        ASSERT_EQ(m.byte, static_cast<unsigned char>(input[i])) << "offset " << i;
        if (m.length != 0) {
            ASSERT_GE(m.length, kSzddMinMatch) << "offset " << i;
            ASSERT_TRUE(m.distance >= 1 && m.distance <= kSzddRingSize) << "offset " << i;
            ASSERT_GE(common(m.distance), m.length) << "offset " << i;
        }
        if (longest) {
            size_t best = 0;
            for (size_t d = 1; d <= kSzddRingSize; ++d)
                best = std::max(best, common(d));
            ASSERT_EQ(m.length, best >= kSzddMinMatch ? best : 0) << "offset " << i;
        }
    }
}

TEST(SzddMatchFinderTest, MatchesAreRealAndBinaryTreeFindsTheLongest)
{
    const std::string block = RandomBytes(4096, 31);
    const struct {
        const char *name;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"two-bytes", "ab"},
        {"spaces", std::string(40, ' ') + "x" + std::string(30, ' ')},
        {"ring-period", block + block.substr(0, 600)},
        // Repeats one byte too far apart to reach.
        {"past-ring", Repeat(RandomBytes(4097, 32), 2)},
        // Ends in a run: no match may run on past the input.
        {"mixed", RandomBytes(700, 33) + "abcabcabd" + RandomBytes(300, 34) + std::string(500, '\0')},
        // Several times the window's buffer, with a match a whole ring back everywhere:
        // the bytes in reach must survive each refill.
        {"large", Repeat(block, 40) + RandomBytes(30000, 35)},
        // Many candidates for matches of every length, short ones above all.
        {"tokens", Tokens(30000, 38)},
    };
    for (const auto &c : cases)
        for (MatchFinderStrategy strategy : kStrategies) {
            SCOPED_TRACE(std::string(c.name) + (strategy == MatchFinderStrategy::BinaryTree ? " tree" : " chain"));
            CheckMatches(c.data, AllMatches(c.data, strategy, 1000), strategy == MatchFinderStrategy::BinaryTree);
        }
}

// Offsets skipped over are still taken in: what later offsets find stays real, and
// BinaryTree's matches stay the longest.
TEST(SzddMatchFinderTest, SkippingOffsetsKeepsMatchesRealAndLongest)
{
    const std::string input = Tokens(20000, 39) + Repeat(RandomBytes(3000, 40), 3);
    for (MatchFinderStrategy strategy : kStrategies) {
        SCOPED_TRACE(strategy == MatchFinderStrategy::BinaryTree ? "tree" : "chain");
        const bool tree = strategy == MatchFinderStrategy::BinaryTree;
        const std::vector<Match> all = AllMatches(input, MatchFinderStrategy::BinaryTree, 4096);
        std::unique_ptr<MatchFinder> finder = MatchFinderCreate(input, strategy);
        size_t offset = 0, reported = 0;
        for (size_t k = 0; offset < input.size(); ++k) {
            Match m;
            ASSERT_EQ(finder->Next(&m, 1), 1u);
            const std::string v = std::string(kSzddRingSize, ' ') + input;
            ASSERT_EQ(m.byte, static_cast<unsigned char>(input[offset])) << "offset " << offset;
            if (m.length != 0) {
                ASSERT_EQ(v.compare(kSzddRingSize + offset, m.length, v, kSzddRingSize + offset - m.distance,
                                    m.length), 0) << "offset " << offset;
            }
            if (tree)
                ASSERT_EQ(m.length, all[offset].length) << "offset " << offset;
            ++reported;
            const size_t skip = k % 5 == 0 ? 0 : k % 17;
            finder->Skip(skip);
            offset = std::min(input.size(), offset + 1 + skip);
        }
        EXPECT_EQ(finder->Next(nullptr, 1), 0u);
        EXPECT_GT(reported, input.size() / 10);
    }
}

TEST(SzddMatchFinderTest, BatchSizeChangesNoMatch)
{
    const std::string input = RandomBytes(3000, 36) + std::string(3000, 'a') + RandomBytes(80000, 37);
    for (MatchFinderStrategy strategy : kStrategies) {
        std::vector<Match> whole = AllMatches(input, strategy, input.size() + 5);
        for (size_t batch : {size_t(1), size_t(7), size_t(4096)}) {
            std::vector<Match> parts = AllMatches(input, strategy, batch);
            ASSERT_EQ(parts.size(), whole.size());
            for (size_t i = 0; i < whole.size(); ++i)
                ASSERT_TRUE(parts[i].length == whole[i].length && parts[i].distance == whole[i].distance)
                    << "batch " << batch << ", offset " << i;
        }
    }
}

} // namespace
