#include "szdd_encoder.h"

#include "szdd_match_finder.h"

#include <cstring>
#include "byte_order.h"
#include "package_layout.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace velmor {
namespace {

constexpr unsigned kRingSize = kSzddRingSize;
constexpr unsigned kRingStart = kRingSize - 16; // where the decoder writes the first byte
constexpr unsigned kMinMatch = kSzddMinMatch;
constexpr unsigned kMaxMatch = kSzddMaxMatch;

// Costs in bits: each item takes one flag bit besides its own bytes. The flag bytes
// are padded only once, at the end, so the stream takes ceil(bits / 8) bytes and the
// parse with the fewest bits is the shortest stream.
constexpr uint64_t kLiteralBits = 9;
constexpr uint64_t kMatchBits = 17;

// Matches taken from the finder at a time.
constexpr size_t kBatch = 1024;

// Groups of a flag byte and up to eight items, gathered in a small buffer and passed
// to the output writer a whole group at a time.
class GroupWriter {
public:
    explicit GroupWriter(const SzddOutputWriter &write) : write_(write) {}
    GroupWriter(const GroupWriter &) = delete;
    GroupWriter &operator=(const GroupWriter &) = delete;

    // Bytes outside the groups (the header), before any item.
    void Raw(const unsigned char *bytes, size_t count)
    {
        std::memcpy(buffer_.data() + used_, bytes, count);
        used_ += count;
    }

    void Literal(uint8_t byte)
    {
        StartItem();
        buffer_[flag_] = static_cast<char>(buffer_[flag_] | (1 << items_));
        buffer_[used_++] = static_cast<char>(byte);
        ++items_;
    }

    // A copy of length bytes from the ring slot of V position source.
    void Copy(uint64_t source, unsigned length)
    {
        // V position kRingSize (the first input byte) is written at ring slot kRingStart.
        unsigned ringPosition = static_cast<unsigned>((source + kRingStart) % kRingSize);
        StartItem();
        buffer_[used_] = static_cast<char>(ringPosition & 0xFF);
        buffer_[used_ + 1] = static_cast<char>(((ringPosition >> 4) & 0xF0) | (length - kMinMatch));
        used_ += 2;
        ++items_;
    }

    // A literal (length 1: the byte) or a copy of length bytes from the ring slot of V
    // position source, the same as Literal or Copy, without a branch between them:
    // the parse's items are one or the other about equally often.
    void Item(unsigned length, uint8_t byte, uint64_t source)
    {
        const unsigned ringPosition = static_cast<unsigned>((source + kRingStart) % kRingSize);
        const unsigned literal = length == 1;
        StartItem();
        buffer_[flag_] = static_cast<char>(buffer_[flag_] | (literal << items_));
        // A literal's second byte is overwritten by the next item or not passed on.
        buffer_[used_] = static_cast<char>(literal ? byte : ringPosition & 0xFF);
        buffer_[used_ + 1] = static_cast<char>(((ringPosition >> 4) & 0xF0) | ((length - kMinMatch) & 0xF));
        used_ += 2 - literal;
        ++items_;
    }

    // Passes on what is buffered; returns the bytes written in all.
    uint64_t Flush()
    {
        if (used_ > 0)
            write_(buffer_.data(), used_);
        written_ += used_;
        used_ = flag_ = 0;
        return written_;
    }

private:
    static constexpr size_t kGroupMax = 1 + 8 * 2;

    void StartItem()
    {
        if (items_ == 8) {
            if (used_ > buffer_.size() - kGroupMax)
                Flush();
            flag_ = used_;
            buffer_[used_++] = 0;
            items_ = 0;
        }
    }

    const SzddOutputWriter &write_;
    std::array<char, 16384> buffer_;
    size_t used_ = 0;
    size_t flag_ = 0;
    unsigned items_ = 8;
    uint64_t written_ = 0;
};

// Lazy parse: the match at an offset is taken unless the next offset has a longer
// one; then the byte is written as a literal and the next offset weighed the same
// way. A match of kTakeAtOnce bytes or more is taken without looking at the next
// offset: a longer one there seldom pays for the search. On the bench corpus, taking
// matches of 7 bytes at once saved 6% of the time for 0.03% of the size, and of 6
// bytes 3% more for 0.09% more. Offsets inside a match taken are only skipped over by
// the finder.
constexpr unsigned kTakeAtOnce = 6;

void LazyParse(MatchFinder &finder, GroupWriter &writer)
{
    Match match;
    if (finder.Next(&match, 1) == 0)
        return;
    uint64_t offset = 0;
    for (;;) {
        if (match.length >= kTakeAtOnce) {
            writer.Copy(kRingSize + offset - match.distance, match.length);
            finder.Skip(match.length - 1);
            offset += match.length;
        } else if (match.length != 0) {
            // A match of 3 bytes or more leaves the next offset in the input.
            Match next;
            finder.Next(&next, 1);
            if (next.length > match.length) {
                writer.Literal(match.byte);
                ++offset;
                match = next;
                continue;
            }
            writer.Copy(kRingSize + offset - match.distance, match.length);
            finder.Skip(match.length - 2);
            offset += match.length;
        } else {
            writer.Literal(match.byte);
            ++offset;
        }
        if (finder.Next(&match, 1) == 0)
            return;
    }
}

// Shortest-path parse: node i is "the first i input bytes are encoded"; a literal
// steps from i to i + 1, a match found at i of length L steps to any of i + 3 .. i + L
// (every prefix of a match is a match at the same distance, and all matches cost the
// same). Each node keeps the cost of a cheapest path into it, and the step of that
// path is worked out only for the nodes a path is walked through: the latest step
// in of that cost. The steps in cost the same from one source, so a source's relaxing
// is a minimum over a run of nodes, and nodes a cheaper or equal match has reached
// already are passed over.
//
// Nodes are kept from segmentStart_ on. Whenever the cheapest paths to the last
// kMaxMatch final nodes share a node, every complete path runs through it (its next
// step leaves from one of those nodes), so the path up to it is written out and
// forgotten; this bounds memory for large inputs. Among steps of equal cost the
// latest one is taken: in runs and other periodic data, paths that always took the
// longest step would run side by side in different phases and never meet, while
// this rule gathers them at the ends of matches.
//
// Should paths still stay apart for kMaxSegment nodes, the path to the most
// promising of the last nodes is written out regardless and the rest dropped: only
// then can the parse be longer than the shortest possible. The parse keeps no other
// state of the input: the bytes that literals write come with the matches.
class Parser {
public:
    Parser(uint64_t size, GroupWriter &writer) : size_(size), writer_(writer)
    {
        Grow(kMaxMatch + 1 + static_cast<size_t>(std::min<uint64_t>(kGrowth, size)));
        costs_[0] = 0;
    }

    // Called for the next n input offsets in order, with the match found at each
    // (whose length does not run past the input).
    void Steps(const Match *matches, size_t n)
    {
        while (n > 0) {
            if (offset_ >= nextCommit_) {
                Commit(offset_);
                nextCommit_ = offset_ + kCommitInterval;
            }
            size_t count = static_cast<size_t>(std::min<uint64_t>(n, nextCommit_ - offset_));
            size_t at = Index(offset_);
            if (costs_.size() < at + count + kMaxMatch + 1)
                Grow(at + count + kMaxMatch + 1 + kGrowth);
            for (size_t k = 0; k < count; ++k) {
                found_[at + k] = Pack(matches[k]);
                StepsFrom(offset_ + k, matches[k].length);
            }
            offset_ += count;
            matches += count;
            n -= count;
        }
    }

    void Finish() { Emit(size_); }

private:
    static constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();
    static constexpr uint64_t kCommitInterval = 4096;
    static constexpr uint64_t kMaxWalk = 2 * kCommitInterval;
    // Bits within a segment stay far below kUnreached: at most kMatchBits per node.
    static constexpr uint64_t kMaxSegment = uint64_t(1) << 20;
    static constexpr size_t kGrowth = 4096;

    // A match as found_ keeps it, with the input byte at its offset:
    // length | distance << 8 | byte << 24 (distance <= kRingSize < 2^16).
    static uint32_t Pack(const Match &match)
    {
        return match.length | match.distance << 8 | static_cast<uint32_t>(match.byte) << 24;
    }
    static unsigned LengthOf(uint32_t found) { return found & 0xFF; }
    static unsigned DistanceOf(uint32_t found) { return (found >> 8) & 0xFFFF; }
    static uint8_t ByteOf(uint32_t found) { return static_cast<uint8_t>(found >> 24); }

    size_t Index(uint64_t node) const { return static_cast<size_t>(node - segmentStart_); }

    void Grow(size_t size)
    {
        costs_.resize(size, kUnreached);
        found_.resize(size, 0);
    }

    // Nodes from offset + 1 to offset + kMaxMatch exist.
    void StepsFrom(uint64_t offset, unsigned longest)
    {
        uint32_t *const costs = &costs_[Index(offset)];
        const uint32_t base = costs[0];
        costs[1] = std::min(costs[1], base + static_cast<uint32_t>(kLiteralBits));
        const uint32_t cost = base + kMatchBits;
        unsigned length = kMinMatch;
        // Inside a match found earlier, the nodes it reached cost as much or less.
        if (cost >= coverCost_ && coverEnd_ >= offset + kMinMatch)
            length = static_cast<unsigned>(coverEnd_ - offset) + 1;
        for (; length <= longest; ++length)
            costs[length] = std::min(costs[length], cost);
        // Now every node in [offset + 3, offset + longest] costs at most cost.
        if (longest >= kMinMatch && offset + longest >= coverEnd_) {
            coverEnd_ = offset + longest;
            coverCost_ = cost;
        }
    }

    // The length of the latest step into a final node after segmentStart_ that costs
    // what the node does (1: a literal; a match's distance is found_'s at its source):
    // the literal from node - 1, else the match from the nearest source. A node on a
    // path walked is reached from within the segment (paths only run through
    // segmentStart_); for any other the literal keeps the stream sound.
    unsigned StepInto(uint64_t node) const
    {
        const size_t at = Index(node);
        const uint32_t cost = costs_[at];
        if (costs_[at - 1] + kLiteralBits == cost || at < kMinMatch)
            return 1;
        const size_t first = at >= kMaxMatch ? at - kMaxMatch : 0;
        for (size_t from = at - kMinMatch;; --from) {
            if (LengthOf(found_[from]) >= at - from && costs_[from] + kMatchBits == cost)
                return static_cast<unsigned>(at - from);
            if (from == first)
                return 1;
        }
    }

    // Nodes up to offset are final: every step into them has been relaxed.
    void Commit(uint64_t offset)
    {
        if (offset < segmentStart_ + kMaxMatch)
            return;
        std::array<uint64_t, kMaxMatch> tips;
        for (unsigned k = 0; k < kMaxMatch; ++k)
            tips[k] = offset - k;
        // Walk the best paths back, stepping the furthest ones, until they meet (at
        // segmentStart_ at the latest) or the walk grows too long to repeat often.
        for (;;) {
            auto [low, high] = std::minmax_element(tips.begin(), tips.end());
            if (*low == *high) {
                Emit(*low);
                return;
            }
            uint64_t furthest = *high;
            if (offset - furthest > kMaxWalk)
                break;
            const unsigned length = StepInto(furthest);
            for (uint64_t &tip : tips)
                if (tip == furthest)
                    tip -= length;
        }
        if (offset - segmentStart_ > kMaxSegment)
            Force(offset);
    }

    // Commits the path to the last node that looks cheapest, counting about a bit
    // per byte still to cover, and redoes the steps after it from it alone.
    void Force(uint64_t offset)
    {
        uint64_t chosen = offset;
        for (uint64_t node = offset - kMaxMatch + 1; node < offset; ++node)
            if (costs_[Index(node)] + (offset - node) < costs_[Index(chosen)])
                chosen = node;
        Emit(chosen);
        std::fill(costs_.begin() + 1, costs_.end(), kUnreached);
        coverEnd_ = 0;
        coverCost_ = kUnreached;
        for (uint64_t from = chosen; from < offset; ++from)
            StepsFrom(from, LengthOf(found_[Index(from)]));
    }

    // Writes the best path from segmentStart_ to end and makes end the segment start,
    // counting costs from it.
    void Emit(uint64_t end)
    {
        // The lengths of the steps, walked back from end, then written forward.
        path_.clear();
        for (uint64_t node = end; node > segmentStart_;) {
            const unsigned length = StepInto(node);
            path_.push_back(static_cast<uint8_t>(length));
            node -= length;
        }
        uint64_t from = segmentStart_;
        for (auto it = path_.rbegin(); it != path_.rend(); ++it) {
            const uint32_t found = found_[Index(from)];
            writer_.Item(*it, ByteOf(found), kRingSize + from - DistanceOf(found));
            from += *it;
        }
        // Nodes past the last one reached by a step stay unreached: only the nodes up
        // to it move, and the places they leave are cleared.
        const size_t shift = Index(end);
        const size_t reached = std::min(costs_.size(), Index(offset_) + kMaxMatch + 1);
        const uint32_t endCost = costs_[shift];
        for (size_t k = shift; k < reached; ++k) {
            const uint32_t cost = costs_[k];
            costs_[k - shift] = cost != kUnreached ? cost - endCost : kUnreached;
            found_[k - shift] = found_[k];
        }
        std::fill(costs_.begin() + static_cast<ptrdiff_t>(reached - shift),
                  costs_.begin() + static_cast<ptrdiff_t>(reached), kUnreached);
        costs_.resize(costs_.size() - shift);
        found_.resize(found_.size() - shift);
        if (coverCost_ != kUnreached)
            coverCost_ -= endCost;
        segmentStart_ = end;
    }

    uint64_t size_;
    GroupWriter &writer_;
    std::vector<uint32_t> costs_; // costs_[k]: node segmentStart_ + k
    std::vector<uint32_t> found_; // found_[k]: the match found at offset segmentStart_ + k, Pack()ed
    uint64_t segmentStart_ = 0;
    uint64_t offset_ = 0; // the next offset to step from
    uint64_t nextCommit_ = kCommitInterval;
    // Nodes from the current offset + 3 up to coverEnd_ cost at most coverCost_.
    uint64_t coverEnd_ = 0;
    uint32_t coverCost_ = kUnreached;
    std::vector<uint8_t> path_;
};

} // namespace

uint64_t SzddCompressTo(uint64_t size, SzddInputReader read, const SzddOutputWriter &write, SzddLevel level)
{
    if (size > 0xFFFFFFFFu)
        throw std::invalid_argument("SZDD input of 4 GiB or more");
    unsigned char header[kSzddHeaderSize] = {};
    std::memcpy(header, SZDD_MAGIC, kSzddMagicSize);
    header[kSzddMethodOffset] = kSzddMethodA;
    StoreLe32(header + kSzddLengthOffset, static_cast<uint32_t>(size));
    GroupWriter writer(write);
    writer.Raw(header, sizeof header);
    if (level == SzddLevel::Best) {
        std::unique_ptr<MatchFinder> finder = MatchFinderCreate(size, std::move(read), MatchFinderStrategy::BinaryTree);
        Parser parser(size, writer);
        std::array<Match, kBatch> matches;
        while (size_t n = finder->Next(matches.data(), matches.size()))
            parser.Steps(matches.data(), n);
        parser.Finish();
    } else {
        std::unique_ptr<MatchFinder> finder = MatchFinderCreate(size, std::move(read), MatchFinderStrategy::HashChain);
        LazyParse(*finder, writer);
    }
    return writer.Flush();
}

std::string SzddCompress(std::string_view input, SzddLevel level)
{
    if (input.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("SZDD input of 4 GiB or more");
    std::string out;
    // Every item costs at least as much as the literals it stands for: the output
    // never exceeds all literals and their flag bytes.
    out.reserve(kSzddHeaderSize + input.size() + (input.size() + 7) / 8);
    SzddCompressTo(
        input.size(), SzddMemoryReader(input),
        [&out](const char *bytes, size_t count) { out.append(bytes, count); }, level);
    return out;
}

} // namespace velmor
