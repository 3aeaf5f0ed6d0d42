#include "szdd_encoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace velmor {
namespace {

constexpr unsigned kRingSize = 4096;
constexpr unsigned kRingStart = kRingSize - 16; // where the decoder writes the first byte
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 18;
// Every ring slot can start a match, the one about to be written included: a byte-wise
// copy loads it before storing over it, so it still holds the byte 4096 back.
constexpr unsigned kMaxDistance = kRingSize;
// Per-position tables cover more than kMaxDistance + 1 positions, so that the slot of
// a position still in reach is never reused while the one 4096 later is inserted.
constexpr unsigned kSlots = 2 * kRingSize;
constexpr unsigned kSlotMask = kSlots - 1;
// The first position of the initial spaces the match finders are given: any earlier
// one matches exactly what this one does (kMaxMatch spaces at most) from farther back.
constexpr uint64_t kFirstSource = kRingSize - kMaxMatch;

// Costs in bits: each item takes one flag bit besides its own bytes. The flag bytes
// are padded only once, at the end, so the stream takes ceil(bits / 8) bytes and the
// parse with the fewest bits is the shortest stream.
constexpr uint64_t kLiteralBits = 9;
constexpr uint64_t kMatchBits = 17;

// Candidates the Default level tries per position, beyond the hints.
constexpr unsigned kDefaultChain = 24;

// CommonLength compares eight bytes at a time, so it may read up to 7 bytes past the
// bytes it compares: the window keeps that many readable bytes after its data.
constexpr size_t kReadSlack = 8;

// The encoder works on a virtual stream V: kRingSize spaces (what the ring holds
// before any data, in the order the decoder overwrites it) followed by the input. A
// match at V position v with distance d (1..kMaxDistance) copies from v - d, so the
// initial spaces and the decoder's overlapping copies need no special case. V is
// held in a sliding buffer so that large inputs are not copied whole.
class Window {
public:
    explicit Window(std::string_view input)
        : input_(input), total_(kRingSize + static_cast<uint64_t>(input.size())),
          buffer_(kRingSize + kMaxMatch + std::min(kChunk, input.size()) + kReadSlack)
    {
        std::memset(buffer_.data(), ' ', kRingSize);
        size_t first = std::min<size_t>(input.size(), buffer_.size() - kReadSlack - kRingSize);
        std::memcpy(buffer_.data() + kRingSize, input.data(), first);
        end_ = kRingSize + first;
    }

    uint64_t Total() const { return total_; }
    const uint8_t *At(uint64_t v) const { return buffer_.data() + (v - base_); }

    // Keeps V[v - kMaxDistance, min(v + kMaxMatch, Total())) in the buffer; v only grows.
    void Reach(uint64_t v)
    {
        if (v + kMaxMatch <= end_ || end_ == total_)
            return;
        uint64_t newBase = v - kMaxDistance;
        size_t keep = static_cast<size_t>(end_ - newBase);
        std::memmove(buffer_.data(), buffer_.data() + (newBase - base_), keep);
        size_t add = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - kReadSlack - keep, total_ - end_));
        std::memcpy(buffer_.data() + keep, input_.data() + (end_ - kRingSize), add);
        base_ = newBase;
        end_ += add;
    }

private:
    static constexpr size_t kChunk = size_t(1) << 16;
    std::string_view input_;
    uint64_t total_;
    std::vector<uint8_t> buffer_; // V[base_, end_)
    uint64_t base_ = 0;
    uint64_t end_ = 0;
};

struct Match {
    unsigned length = 0; // 0: none
    unsigned distance = 0;
};

unsigned CommonLength(const uint8_t *a, const uint8_t *b, unsigned limit)
{
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (unsigned n = 0; n < limit; n += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            // The lowest differing bit lies in the first differing byte.
            unsigned equal = n + static_cast<unsigned>(__builtin_ctzll(x ^ y)) / 8;
            return std::min(equal, limit);
        }
    }
    return limit;
#else
    unsigned n = 0;
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
#endif
}

// Hash tables get about two entries per input byte, within [10, maxBits] bits: the
// fixed cost of a call stays small for the many small files of a package.
unsigned TableBits(size_t inputSize, unsigned maxBits)
{
    unsigned bits = 10;
    while (bits < maxBits && (size_t(1) << (bits - 1)) < inputSize)
        ++bits;
    return bits;
}

uint32_t HashBytes(uint32_t key, unsigned bits)
{
    return (key * 0x9E3779B1u) >> (32 - bits);
}

uint32_t Hash3(const uint8_t *p, unsigned bits)
{
    return HashBytes(p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16), bits);
}

// Default level: hash chains over 4-byte prefixes, walked for a bounded number of
// candidates, plus the latest position with the same 3-byte prefix (length-3 matches
// a 4-byte chain cannot find). Positions are stored plus one, in 32 bits, 0 meaning
// none, and read back as distances modulo 2^32 from the current position. Only an
// input near 4 GiB can make such a distance wrong, and then it still names a
// position in reach whose bytes are compared like any other's, so a match found is
// always real.
class ChainFinder {
public:
    explicit ChainFinder(size_t inputSize)
        : bits_(TableBits(inputSize, kMaxHashBits)), head3_(size_t(1) << bits_, 0), head4_(size_t(1) << bits_, 0)
    {
    }

    // Requires V[v, v + 3) to exist; positions come in increasing order.
    void Insert(const Window &window, uint64_t v)
    {
        const uint8_t *p = window.At(v);
        const uint32_t stored = static_cast<uint32_t>(v + 1);
        head3_[Hash3(p, bits_)] = stored;
        if (v + 4 <= window.Total()) {
            uint32_t h = Hash4(p);
            prev_[v & kSlotMask] = head4_[h];
            head4_[h] = stored;
        }
    }

    // A long match for V[v, v + lenLimit) (lenLimit 3..kMaxMatch), trying the
    // distance of the previous position's match first: one byte shorter, it still
    // matches here, and often ends or prunes the search. Call before inserting v.
    Match Find(const Window &window, uint64_t v, unsigned lenLimit, unsigned hintDistance) const
    {
        const uint8_t *q = window.At(v);
        Match best;
        best.length = kMinMatch - 1;
        // Whether the search can stop: nothing is longer than lenLimit.
        auto consider = [&](unsigned distance) {
            unsigned length = CommonLength(q - distance, q, lenLimit);
            if (length > best.length)
                best = {length, distance};
            return best.length == lenLimit;
        };
        // The distance to a stored position, or 0 when there is none in reach.
        auto distanceTo = [v](uint32_t stored) -> unsigned {
            uint32_t distance = static_cast<uint32_t>(v + 1) - stored;
            return stored != 0 && distance - 1 < kMaxDistance ? distance : 0;
        };
        if (hintDistance != 0 && consider(hintDistance))
            return best;
        if (lenLimit >= 4) {
            uint32_t next = head4_[Hash4(q)];
            for (unsigned left = kDefaultChain; left > 0; --left) {
                unsigned distance = distanceTo(next);
                if (distance == 0)
                    break;
                const uint8_t *p = q - distance;
                // best.length < lenLimit here, so q[best.length] is in the input.
                if (p[best.length] == q[best.length] && std::memcmp(p, q, 4) == 0) {
                    unsigned length = 4 + CommonLength(p + 4, q + 4, lenLimit - 4);
                    if (length > best.length) {
                        best = {length, distance};
                        if (length == lenLimit)
                            break;
                    }
                }
                next = prev_[(v - distance) & kSlotMask];
            }
        }
        // Without a 4-byte match, the latest 3-byte one is as good as any.
        if (best.length < 4) {
            unsigned latest = distanceTo(head3_[Hash3(q, bits_)]);
            if (latest != 0)
                consider(latest);
        }
        if (best.length < kMinMatch)
            return {};
        return best;
    }

private:
    static constexpr unsigned kMaxHashBits = 15;

    uint32_t Hash4(const uint8_t *p) const
    {
        uint32_t key;
        std::memcpy(&key, p, 4);
        return HashBytes(key, bits_);
    }

    unsigned bits_;
    std::vector<uint32_t> head3_;
    std::vector<uint32_t> head4_;
    std::array<uint32_t, kSlots> prev_{};
};

// Best level: binary search trees over the positions in reach, one per hash of the
// first three bytes, ordered by the next kMaxMatch bytes. Inserting a position walks
// its tree from the root and makes the new position the root, re-hanging the nodes it
// passes on either side; the longest match is met on that walk, since the keys next
// to the new one in order lie on it. Descendants are always older than their
// parents, so stopping at a node out of reach drops only nodes out of reach, and
// every position in reach stays findable: the match found is the longest there is.
// Positions are stored plus one; 0 means none.
class TreeFinder {
public:
    // Positions from kFirstSource on, at most kMaxMatch + inputSize of them: fewer
    // slots than kSlots do for a small input.
    explicit TreeFinder(size_t inputSize)
        : bits_(TableBits(inputSize, kMaxHashBits)), slotMask_(SlotCount(inputSize) - 1),
          head_(size_t(1) << bits_, 0), children_(2 * (size_t(slotMask_) + 1), 0)
    {
    }

    // Inserts V position v and returns its longest match of up to lenLimit bytes
    // (3..kMaxMatch, V[v, v + lenLimit) in the window); positions come in order.
    Match InsertAndFind(const Window &window, uint64_t v, unsigned lenLimit)
    {
        const uint8_t *cur = window.At(v);
        uint32_t h = Hash3(cur, bits_);
        uint64_t next = head_[h];
        head_[h] = v + 1;
        // Where the next node passed goes if it sorts before / after v.
        uint64_t *before = &children_[(v & slotMask_) << 1];
        uint64_t *after = before + 1;
        unsigned beforeLen = 0, afterLen = 0; // bytes known equal on each side
        Match best;
        for (;;) {
            uint64_t candidate = next - 1;
            if (next == 0 || v - candidate > kMaxDistance) {
                *before = *after = 0;
                break;
            }
            uint64_t *pair = &children_[(candidate & slotMask_) << 1];
            const uint8_t *p = window.At(candidate);
            unsigned len = std::min(beforeLen, afterLen);
            if (p[len] == cur[len]) {
                while (++len != lenLimit && p[len] == cur[len]) {
                }
                if (len > best.length)
                    best = {len, static_cast<unsigned>(v - candidate)};
                if (len == lenLimit) {
                    // Equal keys: v takes the candidate's place, being nearer.
                    *before = pair[0];
                    *after = pair[1];
                    break;
                }
            }
            if (p[len] < cur[len]) {
                *before = next;
                before = pair + 1;
                next = *before;
                beforeLen = len;
            } else {
                *after = next;
                after = pair;
                next = *after;
                afterLen = len;
            }
        }
        if (best.length < kMinMatch)
            return {};
        return best;
    }

private:
    static constexpr unsigned kMaxHashBits = 13;

    static unsigned SlotCount(size_t inputSize)
    {
        unsigned slots = 64;
        while (slots < kSlots && slots < inputSize + kMaxMatch)
            slots *= 2;
        return slots;
    }

    unsigned bits_;
    unsigned slotMask_;
    std::vector<uint64_t> head_;
    std::vector<uint64_t> children_; // [2 * slot]: sorts before, [2 * slot + 1]: after
};

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

void PutU32(std::string &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

unsigned LenLimit(const Window &window, uint64_t v)
{
    return static_cast<unsigned>(std::min<uint64_t>(kMaxMatch, window.Total() - v));
}

void ParseDefault(Window &window, Parser &parser)
{
    ChainFinder finder(window.Total() - kRingSize);
    const uint64_t total = window.Total();
    for (uint64_t v = kFirstSource; v < kRingSize && v + kMinMatch <= total; ++v)
        finder.Insert(window, v);
    unsigned lastDistance = 0;
    for (uint64_t v = kRingSize; v < total; ++v) {
        window.Reach(v);
        unsigned lenLimit = LenLimit(window, v);
        Match match;
        if (lenLimit >= kMinMatch) {
            match = finder.Find(window, v, lenLimit, lastDistance);
            finder.Insert(window, v);
        }
        lastDistance = match.distance;
        parser.Step(v - kRingSize, match);
    }
}

void ParseBest(Window &window, Parser &parser)
{
    TreeFinder finder(window.Total() - kRingSize);
    const uint64_t total = window.Total();
    for (uint64_t v = kFirstSource; v < kRingSize && v + kMinMatch <= total; ++v)
        finder.InsertAndFind(window, v, LenLimit(window, v));
    for (uint64_t v = kRingSize; v < total; ++v) {
        window.Reach(v);
        unsigned lenLimit = LenLimit(window, v);
        Match match;
        if (lenLimit >= kMinMatch)
            match = finder.InsertAndFind(window, v, lenLimit);
        parser.Step(v - kRingSize, match);
    }
}

} // namespace

std::string SzddCompress(std::string_view input, SzddLevel level)
{
    if (input.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("SZDD input of 4 GiB or more");
    std::string out("SZDD\x88\xF0\x27\x33", 8);
    out.push_back('A');
    out.push_back(0);
    PutU32(out, static_cast<uint32_t>(input.size()));
    // The all-literal parse is one of the candidates, so this is enough.
    out.reserve(out.size() + input.size() + (input.size() + 7) / 8);

    Window window(input);
    GroupWriter writer(out);
    Parser parser(input, writer);
    if (level == SzddLevel::Best)
        ParseBest(window, parser);
    else
        ParseDefault(window, parser);
    parser.Finish();
    return out;
}

} // namespace velmor
