#include "szdd_match_finder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmor {
namespace {

constexpr unsigned kRingSize = kSzddRingSize;
constexpr unsigned kMinMatch = kSzddMinMatch;
constexpr unsigned kMaxMatch = kSzddMaxMatch;

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

// Candidates the hash-chain search tries per position, beyond the hints.
constexpr unsigned kChainCandidates = 24;

// CommonLength compares eight bytes at a time, so it may read up to 7 bytes past the
// bytes it compares: the window keeps that many readable bytes after its data.
constexpr size_t kReadSlack = 8;

// The stream V of the header, position kRingSize being input offset 0, is held in a
// sliding buffer so that large inputs are not copied whole.
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

// The most bytes a match at V position v may take: it must not run past the input.
unsigned LenLimit(const Window &window, uint64_t v)
{
    return static_cast<unsigned>(std::min<uint64_t>(kMaxMatch, window.Total() - v));
}

// Each search below takes part in StreamFinder through two calls: Prime(window, v)
// takes in a position of the initial spaces, Step(window, v, lenLimit) returns the
// match at a position of the input (lenLimit >= kMinMatch) and takes that position in.

// HashChain: hash chains over 4-byte prefixes, walked for a bounded number of
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

    void Prime(const Window &window, uint64_t v) { Insert(window, v); }

    Match Step(const Window &window, uint64_t v, unsigned lenLimit)
    {
        Match match = Find(window, v, lenLimit, hint_);
        Insert(window, v);
        hint_ = match.distance;
        return match;
    }

private:
    static constexpr unsigned kMaxHashBits = 15;

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
            for (unsigned left = kChainCandidates; left > 0; --left) {
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
    unsigned hint_ = 0; // distance of the previous position's match
};

// BinaryTree: binary search trees over the positions in reach, one per hash of the
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

    void Prime(const Window &window, uint64_t v) { InsertAndFind(window, v, LenLimit(window, v)); }

    Match Step(const Window &window, uint64_t v, unsigned lenLimit) { return InsertAndFind(window, v, lenLimit); }

private:
    static constexpr unsigned kMaxHashBits = 13;

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

// A search run over every input position in order, fed from the sliding window.
template <class Search>
class StreamFinder final : public MatchFinder {
public:
    explicit StreamFinder(std::string_view input) : window_(input), search_(input.size())
    {
        for (uint64_t v = kFirstSource; v < kRingSize && v + kMinMatch <= window_.Total(); ++v)
            search_.Prime(window_, v);
    }

    size_t Next(Match *out, size_t count) override
    {
        const uint64_t total = window_.Total();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, total - v_));
        uint64_t v = v_;
        for (size_t k = 0; k < n; ++k, ++v) {
            window_.Reach(v);
            unsigned lenLimit = LenLimit(window_, v);
            out[k] = lenLimit >= kMinMatch ? search_.Step(window_, v, lenLimit) : Match{};
        }
        v_ = v;
        return n;
    }

private:
    Window window_;
    Search search_;
    uint64_t v_ = kRingSize; // the next position to report: input offset v_ - kRingSize
};

} // namespace

std::unique_ptr<MatchFinder> MatchFinderCreate(std::string_view input, MatchFinderStrategy strategy)
{
    if (strategy == MatchFinderStrategy::BinaryTree)
        return std::make_unique<StreamFinder<TreeFinder>>(input);
    return std::make_unique<StreamFinder<ChainFinder>>(input);
}

} // namespace velmor
