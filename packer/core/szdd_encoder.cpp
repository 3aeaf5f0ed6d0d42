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

// Groups of a flag byte and up to eight items.
class GroupWriter {
public:
    explicit GroupWriter(std::string &out) : out_(out) {}

    void Literal(uint8_t byte)
    {
        StartItem();
        out_[flagAt_] = static_cast<char>(out_[flagAt_] | (1 << items_));
        out_.push_back(static_cast<char>(byte));
        ++items_;
    }

    void Copy(unsigned ringPosition, unsigned length)
    {
        StartItem();
        out_.push_back(static_cast<char>(ringPosition & 0xFF));
        out_.push_back(static_cast<char>(((ringPosition >> 4) & 0xF0) | (length - kMinMatch)));
        ++items_;
    }

private:
    void StartItem()
    {
        if (items_ == 8) {
            flagAt_ = out_.size();
            out_.push_back(0);
            items_ = 0;
        }
    }

    std::string &out_;
    size_t flagAt_ = 0;
    unsigned items_ = 8;
};

// Shortest-path parse: node i is "the first i input bytes are encoded"; a literal
// steps from i to i + 1, a match found at i of length L steps to any of i + 3 .. i + L
// (every prefix of a match is a match at the same distance, and all matches cost the
// same). Each node keeps the step of a cheapest path into it.
//
// Nodes are kept from segmentStart_ on. Whenever the cheapest paths to the last
// kMaxMatch final nodes share a node, every complete path runs through it (its next
// step leaves from one of those nodes), so the path up to it is written out and
// forgotten; this bounds memory for large inputs. Among steps of equal cost the
// latest one is kept: in runs and other periodic data, paths that always took the
// longest step would run side by side in different phases and never meet, while
// this rule gathers them at the ends of matches.
//
// Should paths still stay apart for kMaxSegment nodes, the path to the most
// promising of the last nodes is written out regardless and the rest dropped: only
// then can the parse be longer than the shortest possible.
class Parser {
public:
    Parser(std::string_view input, GroupWriter &writer) : input_(input), writer_(writer)
    {
        nodes_.assign(kMaxMatch + 1 + std::min(kGrowth, input.size()), Node{kUnreached, 0, 0});
        nodes_[0].cost = 0;
    }

    // Called for each input offset in order, with the match found there (whose
    // length does not run past the input).
    void Step(uint64_t offset, const Match &match)
    {
        if (offset >= nextCommit_) {
            Commit(offset);
            nextCommit_ = offset + kCommitInterval;
        }
        recent_[offset % kMaxMatch] = match;
        StepsFrom(offset, match);
    }

    void Finish() { Emit(input_.size()); }

private:
    struct Node {
        uint64_t cost;     // bits of the best path from offset 0
        uint16_t distance; // of the step that ends here, when it is a match
        uint8_t length;    // of that step: 1 = literal
    };
    static constexpr uint64_t kUnreached = std::numeric_limits<uint64_t>::max();
    static constexpr uint64_t kCommitInterval = 4096;
    static constexpr uint64_t kMaxWalk = 2 * kCommitInterval;
    static constexpr uint64_t kMaxSegment = uint64_t(1) << 20;
    static constexpr size_t kGrowth = 4096;

    Node &At(uint64_t node) { return nodes_[static_cast<size_t>(node - segmentStart_)]; }

    void StepsFrom(uint64_t offset, const Match &match)
    {
        size_t at = static_cast<size_t>(offset - segmentStart_);
        if (nodes_.size() < at + kMaxMatch + 1)
            nodes_.resize(at + kMaxMatch + 1 + kGrowth, Node{kUnreached, 0, 0});
        uint64_t base = nodes_[at].cost;
        Relax(at + 1, base + kLiteralBits, 1, 0);
        uint64_t cost = base + kMatchBits;
        unsigned length = kMinMatch;
        // Inside a match found earlier, the nodes it reached cost less already.
        if (cost > coverCost_ && coverEnd_ >= offset + kMinMatch)
            length = static_cast<unsigned>(coverEnd_ - offset) + 1;
        for (; length <= match.length; ++length)
            Relax(at + length, cost, static_cast<uint8_t>(length), static_cast<uint16_t>(match.distance));
        // Now every node in [offset + 3, offset + match.length] costs at most cost.
        if (match.length >= kMinMatch && offset + match.length >= coverEnd_) {
            coverEnd_ = offset + match.length;
            coverCost_ = cost;
        }
    }

    void Relax(size_t at, uint64_t cost, uint8_t length, uint16_t distance)
    {
        Node &node = nodes_[at];
        if (cost <= node.cost)
            node = {cost, distance, length};
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
            for (uint64_t &tip : tips)
                if (tip == furthest)
                    tip -= At(tip).length;
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
            if (At(node).cost + (offset - node) < At(chosen).cost)
                chosen = node;
        Emit(chosen);
        std::fill(nodes_.begin() + 1, nodes_.end(), Node{kUnreached, 0, 0});
        coverEnd_ = 0;
        coverCost_ = kUnreached;
        for (uint64_t from = chosen; from < offset; ++from)
            StepsFrom(from, recent_[from % kMaxMatch]);
    }

    // Writes the best path from segmentStart_ to end and makes end the segment start.
    void Emit(uint64_t end)
    {
        path_.clear();
        for (uint64_t node = end; node > segmentStart_;) {
            path_.push_back(node);
            node -= nodes_[static_cast<size_t>(node - segmentStart_)].length;
        }
        for (auto it = path_.rbegin(); it != path_.rend(); ++it) {
            const Node &node = nodes_[static_cast<size_t>(*it - segmentStart_)];
            uint64_t from = *it - node.length;
            if (node.length == 1) {
                writer_.Literal(static_cast<uint8_t>(input_[static_cast<size_t>(from)]));
            } else {
                // V position of the source, then its ring slot: V position kRingSize
                // (the first input byte) is written at kRingStart.
                uint64_t source = kRingSize + from - node.distance;
                writer_.Copy(static_cast<unsigned>((source + kRingStart) % kRingSize), node.length);
            }
        }
        nodes_.erase(nodes_.begin(), nodes_.begin() + static_cast<ptrdiff_t>(end - segmentStart_));
        segmentStart_ = end;
    }

    std::string_view input_;
    GroupWriter &writer_;
    std::vector<Node> nodes_; // nodes_[k] is node segmentStart_ + k
    uint64_t segmentStart_ = 0;
    uint64_t nextCommit_ = kCommitInterval;
    // Nodes from the current offset + 3 up to coverEnd_ cost at most coverCost_.
    uint64_t coverEnd_ = 0;
    uint64_t coverCost_ = kUnreached;
    std::array<Match, kMaxMatch> recent_; // the matches of the last kMaxMatch offsets
    std::vector<uint64_t> path_;
};

} // namespace

std::string SzddCompress(std::string_view input, SzddLevel level)
{
    if (input.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("SZDD input of 4 GiB or more");
    std::string out(kSzddHeaderSize, '\0');
    unsigned char *header = reinterpret_cast<unsigned char *>(out.data());
    std::memcpy(header, SZDD_MAGIC, kSzddMagicSize);
    header[kSzddMethodOffset] = kSzddMethodA;
    StoreLe32(header + kSzddLengthOffset, static_cast<uint32_t>(input.size()));
    // The all-literal parse is one of the candidates, so this is enough.
    out.reserve(out.size() + input.size() + (input.size() + 7) / 8);

    std::unique_ptr<MatchFinder> finder = MatchFinderCreate(
        input, level == SzddLevel::Best ? MatchFinderStrategy::BinaryTree : MatchFinderStrategy::HashChain);
    GroupWriter writer(out);
    Parser parser(input, writer);
    std::array<Match, kBatch> matches;
    uint64_t offset = 0;
    while (size_t n = finder->Next(matches.data(), matches.size()))
        for (size_t k = 0; k < n; ++k)
            parser.Step(offset++, matches[k]);
    parser.Finish();
    return out;
}

} // namespace velmor
