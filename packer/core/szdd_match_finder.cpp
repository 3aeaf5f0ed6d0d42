#include "szdd_match_finder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
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

// CommonLength compares eight bytes at a time, so it may read up to 7 bytes past the
// bytes it compares, and the hashes read 8 bytes from where a match may start (the
// tree search also from the position after the one it searches for): the window keeps
// that many readable bytes after its data.
constexpr size_t kReadSlack = 8;

uint64_t Load64(const uint8_t *p)
{
    uint64_t x;
    std::memcpy(&x, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);
#endif
    return x;
}

// The stream V of the header, position kRingSize being input offset 0, is held in a
// sliding buffer filled from the reader a chunk at a time, so that large inputs are
// neither held nor copied whole.
class Window {
public:
    Window(uint64_t size, SzddInputReader read)
        : read_(std::move(read)), total_(kRingSize + size),
          buffer_(kRingSize + kMaxMatch + static_cast<size_t>(std::min<uint64_t>(kChunk, size)) + kReadSlack)
    {
        std::memset(buffer_.data(), ' ', kRingSize);
        size_t first = static_cast<size_t>(std::min<uint64_t>(size, buffer_.size() - kReadSlack - kRingSize));
        if (first > 0)
            read_(buffer_.data() + kRingSize, first);
        end_ = kRingSize + first;
    }

    uint64_t Total() const { return total_; }
    const uint8_t *At(uint64_t v) const { return buffer_.data() + (v - base_); }

    // Keeps V[v - kMaxDistance, min(v + kMaxMatch, Total())) in the buffer, v only
    // growing, and returns the end of the positions from v on that need no refill.
    uint64_t Reach(uint64_t v)
    {
        if (v + kMaxMatch > end_ && end_ != total_) {
            uint64_t newBase = v - kMaxDistance;
            size_t keep = static_cast<size_t>(end_ - newBase);
            std::memmove(buffer_.data(), buffer_.data() + (newBase - base_), keep);
            size_t add = static_cast<size_t>(
                std::min<uint64_t>(buffer_.size() - kReadSlack - keep, total_ - end_));
            read_(buffer_.data() + keep, add);
            base_ = newBase;
            end_ += add;
        }
        return end_ == total_ ? total_ : end_ - kMaxMatch + 1;
    }

private:
    static constexpr uint64_t kChunk = uint64_t(1) << 16;
    SzddInputReader read_;
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
unsigned TableBits(uint64_t inputSize, unsigned maxBits)
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

// Each search below takes part in StreamFinder through four calls: Prime(window, v)
// takes in a position of the initial spaces; Step(window, v, lenLimit, out) sets out's
// length and distance to the match at a position of the input (lenLimit >=
// kMinMatch) and takes that position in; Run(window, v, end, out) does the same for
// the positions from v to end, each followed by kMaxMatch bytes in the window, and
// sets out's bytes too; Skip(window, v) only takes a position in (V[v, v + kMinMatch)
// exists).

// HashChain: hash chains over 8-byte and over 4-byte prefixes, walked for a bounded
// number of candidates, longest prefixes first, plus the latest position with the
// same 3-byte prefix (length-3 matches the chains cannot find). A match of 8 bytes or
// more shares its first 8 with the current position, so the short 8-byte chain finds
// it among few candidates; only without one is the 4-byte chain walked, for less.
// Positions are stored in 32 bits, 0 meaning none, and read back as distances modulo
// 2^32 from the current position. Only an input near 4 GiB can make such a distance
// wrong, and then it still names a position in reach whose bytes are compared like
// any other's, so a match found is always real.
class ChainFinder {
public:
    explicit ChainFinder(uint64_t inputSize)
        : bits_(TableBits(inputSize, kMaxHashBits)), head3_(size_t(1) << bits_, 0),
          head4_(size_t(1) << bits_, 0), head8_(size_t(1) << bits_, 0)
    {
    }

    void Prime(const Window &window, uint64_t v) { Skip(window, v); }

    void Step(const Window &window, uint64_t v, unsigned lenLimit, Match &out)
    {
        const Match match = Step(window, v, lenLimit);
        out.length = match.length;
        out.distance = match.distance;
    }

    void Run(const Window &window, uint64_t v, uint64_t end, Match *out)
    {
        for (; v < end; ++v, ++out) {
            *out = Step(window, v, kMaxMatch);
            out->byte = *window.At(v);
        }
    }

    Match Step(const Window &window, uint64_t v, unsigned lenLimit)
    {
        const uint8_t *q = window.At(v);
        const Heads heads = lenLimit == kMaxMatch ? Insert<true>(q, v, lenLimit) : Insert<false>(q, v, lenLimit);
        Match match = Find(q, static_cast<uint32_t>(v), lenLimit, heads);
        if (match.length != 0)
            hint_ = match.distance;
        return match;
    }

    void Skip(const Window &window, uint64_t v)
    {
        const uint64_t left = window.Total() - v;
        if (left >= 8)
            Insert<true>(window.At(v), v, 8);
        else
            Insert<false>(window.At(v), v, static_cast<unsigned>(left));
    }

private:
    static constexpr unsigned kMaxHashBits = 16;
    static constexpr unsigned kLongCandidates = 32;
    static constexpr unsigned kShortCandidates = 32;

    // What the tables held for a position before it was inserted.
    struct Heads {
        uint32_t latest3, chain4, chain8;
    };

    // Takes in V position v, where `left` bytes of V start (at least kMinMatch; with
    // kLong, at least 8).
    template <bool kLong>
    Heads Insert(const uint8_t *p, uint64_t v, unsigned left)
    {
        const uint32_t stored = static_cast<uint32_t>(v);
        const uint64_t bytes = Load64(p);
        Heads heads{0, 0, 0};
        uint32_t &head3 = head3_[HashBytes(static_cast<uint32_t>(bytes & 0xFFFFFF), bits_)];
        heads.latest3 = head3;
        head3 = stored;
        if (kLong || left >= 4) {
            uint32_t &head4 = head4_[HashBytes(static_cast<uint32_t>(bytes), bits_)];
            heads.chain4 = prev4_[v & kSlotMask] = head4;
            head4 = stored;
        }
        if (kLong || left >= 8) {
            uint32_t &head8 = head8_[static_cast<uint32_t>((bytes * 0x9E3779B97F4A7C15ull) >> (64 - bits_))];
            heads.chain8 = prev8_[v & kSlotMask] = head8;
            head8 = stored;
        }
        return heads;
    }

    // A long match for V[now, now + lenLimit) (lenLimit 3..kMaxMatch) at q, from the
    // distance of the latest match (near it the data often repeats at the same
    // distance), then the chains as they were before now was inserted.
    Match Find(const uint8_t *q, uint32_t now, unsigned lenLimit, const Heads &heads) const
    {
        Match best;
        best.length = kMinMatch - 1;
        if (hint_ != 0) {
            unsigned length = CommonLength(q - hint_, q, lenLimit);
            if (length > best.length) {
                best = {length, hint_};
                if (length == lenLimit)
                    return best;
            }
        }
        // Walks a chain for up to `candidates` positions, keeping the longest match,
        // until one reaches `enough`. Returns whether the chain was walked to its end.
        auto walk = [&](uint32_t next, const std::array<uint32_t, kSlots> &prev, unsigned candidates,
                        unsigned enough) {
            for (; candidates > 0; --candidates) {
                uint32_t distance = now - next;
                if (distance - 1 >= kMaxDistance)
                    return true;
                const uint8_t *p = q - distance;
                // best.length < enough <= lenLimit here, so q[best.length] is in the input.
                if (p[best.length] == q[best.length]) {
                    unsigned length = CommonLength(p, q, lenLimit);
                    if (length > best.length) {
                        best = {length, distance};
                        if (length >= enough)
                            return false;
                    }
                }
                next = prev[next & kSlotMask];
            }
            return false;
        };
        unsigned most = lenLimit; // no longer match is left to find
        if (lenLimit >= 8) {
            bool whole = walk(heads.chain8, prev8_, kLongCandidates, lenLimit);
            if (best.length >= 8)
                return best;
            if (whole)
                most = 7;
        }
        if (lenLimit >= 4 && best.length < most)
            walk(heads.chain4, prev4_, kShortCandidates, most);
        if (best.length < kMinMatch) {
            uint32_t distance = now - heads.latest3;
            if (distance - 1 >= kMaxDistance)
                return {};
            unsigned length = CommonLength(q - distance, q, lenLimit);
            return length >= kMinMatch ? Match{length, distance} : Match{};
        }
        return best;
    }

    unsigned bits_;
    std::vector<uint32_t> head3_;
    std::vector<uint32_t> head4_;
    std::vector<uint32_t> head8_;
    std::array<uint32_t, kSlots> prev4_{};
    std::array<uint32_t, kSlots> prev8_{};
    unsigned hint_ = 0; // distance of the latest match found
};

// BinaryTree: the longest match, from two structures. Matches of kKey bytes or more
// come from binary search trees over the positions in reach, one per hash of the
// first kKey bytes, ordered by the next kMaxMatch bytes. Inserting a position walks
// its tree from the root and makes the new position the root, re-hanging the nodes
// it passes on either side; the longest match is met on that walk, since the keys
// next to the new one in order lie on it. Descendants are always older than their
// parents, so stopping at a node out of reach drops only nodes out of reach, and
// every position in reach stays findable.
//
// Shorter matches come from one hash chain per length j below kKey: when no match
// has j + 1 bytes, the first position in reach that shares j bytes is a longest
// match, and the walk stops there. Trees keyed on more than three bytes are smaller
// and their walks shorter than trees of every 3-byte prefix, and the chains cost a
// few stores per position.
//
// Of the matches of the longest length, the nearest is reported: on the tree walk the
// newest node of those sharing that many bytes comes first, and a chain gives its
// newest position first. (A shorter match met in a tree, of another prefix with the
// same hash, stands when the chains have none longer.)
//
// Positions are stored plus kStoredOffset, 0 meaning none, as Position: 32 bits keep
// the tables small, 64 bits are needed only for V positions near 2^32. With that
// offset, none lies farther back than any position in reach, and one comparison
// tells both apart.
template <class Position>
class TreeFinder {
public:
    static constexpr uint64_t kStoredOffset = kMaxDistance + 1;

    explicit TreeFinder(uint64_t inputSize)
        : bits_(TableBits(inputSize, kMaxHashBits)), slotMask_(SlotCount(inputSize) - 1),
          hashShift_(64 - bits_), heads_(size_t(kLevels + 1) << bits_, 0), nodes_(kNode * (slotMask_ + 1), 0)
    {
    }
    // next_ points into heads_.
    TreeFinder(const TreeFinder &) = delete;
    TreeFinder &operator=(const TreeFinder &) = delete;

    void Prime(const Window &window, uint64_t v) { Skip(window, v); }

    // Sets out's length and distance for a position with lenLimit bytes to match.
    void Step(const Window &window, uint64_t v, unsigned lenLimit, Match &out)
    {
        Hashes hashes, following;
        unsigned known = Resume(window, v, hashes);
        previous_ = lenLimit >= kMaxMatch ? Find<true>(window.At(v), v, kMaxMatch, hashes, known, following, out)
                                          : Find<false>(window.At(v), v, lenLimit, hashes, known, following, out);
        next_ = following;
        nextFor_ = v + 1;
    }

    // Sets out[v, end)'s length and distance for positions followed by kMaxMatch bytes
    // in the window.
    void Run(const Window &window, uint64_t v, uint64_t end, Match *out)
    {
        if (v >= end)
            return;
        Hashes hashes, following;
        unsigned known = Resume(window, v, hashes);
        for (; v < end; ++v, ++out) {
            known = Find<true>(window.At(v), v, kMaxMatch, hashes, known, following, *out);
            hashes = following;
        }
        next_ = hashes;
        nextFor_ = v;
        previous_ = known;
    }

    void Skip(const Window &window, uint64_t v)
    {
        Match ignored;
        Step(window, v, LenLimit(window, v), ignored);
    }

private:
    static constexpr unsigned kMaxHashBits = 16;
    static constexpr unsigned kKey = 8; // at most 8: the hashes read 8 bytes
    static constexpr unsigned kLevels = kKey - kMinMatch; // chained lengths
    // A node: the children of the position in its tree (sorts before, after), then
    // its successor in the chain of each length, one slot left over.
    static constexpr size_t kNode = 8;

    // Where a position goes in heads_: [k] for the chain of its first kMinMatch + k
    // bytes, [kLevels] for the tree of its first kKey bytes.
    using Hashes = std::array<Position *, kLevels + 1>;

    // Sets the hashes of position v and returns how long a match it is known to have
    // from the step before (0 if none).
    unsigned Resume(const Window &window, uint64_t v, Hashes &hashes)
    {
        if (nextFor_ == v) {
            hashes = next_;
            return previous_;
        }
        hashes = HashesOf(Load64(window.At(v)));
        return 0;
    }

    // The step for position v at cur, with lenLimit bytes to match (kMaxMatch with
    // kFull), its hashes and the length of a match known there: sets out's length and
    // distance and following to the hashes of the next position, whose table entries
    // it fetches; returns the length of a match known at the next position.
    //
    // A match of L bytes here leaves one of L - 1 bytes at the next position, at the
    // same distance: the chains below that length need not be asked there.
    template <bool kFull>
    unsigned Find(const uint8_t *cur, uint64_t v, unsigned lenLimit, const Hashes &hashes, unsigned known,
                  Hashes &following, Match &out)
    {
        const uint64_t bytes = Load64(cur);
        following = HashesOf(Load64(cur + 1));
#if defined(__GNUC__)
        for (unsigned k = 0; k <= kLevels; ++k)
            __builtin_prefetch(following[k]);
#endif
        const Position stored = static_cast<Position>(v + kStoredOffset);
        Position *const node = &nodes_[(stored & slotMask_) * kNode];
        const unsigned shortest = kFull ? kKey - 1 : std::min(lenLimit, kKey - 1); // longest chained length
        unsigned bestLength = 0, bestDistance = 0;
        if (kFull || lenLimit >= kKey) {
            InsertAndFind<kFull>(cur, stored, kFull ? kMaxMatch : lenLimit, *hashes[kLevels], node, bestLength,
                                 bestDistance);
        }
        if (bestLength < kKey) {
            // The lengths that have a match in reach run from kMinMatch up to the
            // longest: going up, each length's chain is asked for its first position
            // in reach that shares that many bytes (and all it shares counts), until
            // one has none.
            for (unsigned j = std::max({kMinMatch, bestLength + 1, known}); j <= shortest;) {
                const unsigned k = j - kMinMatch;
                Position next = *hashes[k];
                for (;;) {
                    const Position distance = stored - next;
                    if (distance > kMaxDistance) {
                        j = shortest + 1;
                        break;
                    }
                    const unsigned length = PrefixLength(Load64(cur - distance), bytes, shortest);
                    if (length >= j) {
                        bestLength = length;
                        bestDistance = static_cast<unsigned>(distance);
                        j = length + 1;
                        break;
                    }
                    next = nodes_[(next & slotMask_) * kNode + 2 + k];
                }
            }
            if (bestLength < kMinMatch)
                bestLength = bestDistance = 0;
        }
        // Puts the position at the head of the chains of the lengths it has.
        for (unsigned k = 0; k + kMinMatch <= shortest; ++k) {
            Position &head = *hashes[k];
            node[2 + k] = head;
            head = stored;
        }
        out.length = bestLength;
        out.distance = bestDistance;
        out.byte = cur[0];
        return bestLength > 0 ? bestLength - 1 : 0;
    }

    // bytes: the 8 bytes from the position (those past the input only go into hashes
    // that are not used).
    Hashes HashesOf(uint64_t bytes)
    {
        static_assert(kMinMatch == 3 && kKey == 8, "one hash for each length from 3 to 8");
        const unsigned shift = static_cast<unsigned>(hashShift_);
        const size_t size = tableSize_;
        Position *const heads = heads_.data();
        auto head = [shift, heads](uint64_t prefix, size_t table) {
            return heads + table + ((prefix * 0x9E3779B97F4A7C15ull) >> shift);
        };
        return {head(bytes & 0xFFFFFFull, 0), head(bytes & 0xFFFFFFFFull, size),
                head(bytes & 0xFFFFFFFFFFull, 2 * size), head(bytes & 0xFFFFFFFFFFFFull, 3 * size),
                head(bytes & 0xFFFFFFFFFFFFFFull, 4 * size), head(bytes, 5 * size)};
    }

    // How many of the first limit (at most 8) bytes of a and b, loaded by Load64, agree.
    static unsigned PrefixLength(uint64_t a, uint64_t b, unsigned limit)
    {
        const uint64_t differ = a ^ b;
#if defined(__GNUC__)
        if (differ == 0)
            return limit;
        return std::min(static_cast<unsigned>(__builtin_ctzll(differ)) / 8, limit);
#else
        unsigned n = 0;
        while (n < limit && ((differ >> (8 * n)) & 0xFF) == 0)
            ++n;
        return n;
#endif
    }

    static unsigned LenLimit(const Window &window, uint64_t v)
    {
        return static_cast<unsigned>(std::min<uint64_t>(kMaxMatch, window.Total() - v));
    }

    // How many of the first kMaxMatch bytes at a and b agree; reads 24 bytes at each.
    // All three words are compared: how far two keys of a tree agree varies too much
    // for the branches of a loop to be guessed.
    static unsigned CommonLengthFull(const uint8_t *a, const uint8_t *b)
    {
        static_assert(kMaxMatch > 16 && kMaxMatch <= 24, "three words hold a match");
        const uint64_t x0 = Load64(a) ^ Load64(b);
        const uint64_t x1 = Load64(a + 8) ^ Load64(b + 8);
        const uint64_t x2 = (Load64(a + 16) ^ Load64(b + 16)) | (uint64_t(1) << (8 * (kMaxMatch - 16)));
        const unsigned l0 = PrefixLength(x0, 0, 8);
        const unsigned l1 = PrefixLength(x1, 0, 8);
        const unsigned l2 = PrefixLength(x2, 0, 8);
        return l0 < 8 ? l0 : l1 < 8 ? 8 + l1 : 16 + l2;
    }

    // Inserts the position at cur (its node given) into the tree whose root is held in
    // root and sets its longest match of up to lenLimit bytes (kKey..kMaxMatch, all
    // of them in the window; kMaxMatch with kFull), if longer than bestLength.
    template <bool kFull>
    void InsertAndFind(const uint8_t *cur, Position stored, unsigned lenLimit, Position &root, Position *node,
                       unsigned &bestLength, unsigned &bestDistance)
    {
        Position next = root;
        root = stored;
        Position *const nodes = nodes_.data();
        const uint64_t slotMask = slotMask_;
        // Where the next node passed goes if it sorts before / after v.
        Position *before = node;
        Position *after = node + 1;
        unsigned beforeLen = 0, afterLen = 0; // bytes known equal on each side
        for (;;) {
            const Position distance = stored - next; // v - candidate
            if (distance > kMaxDistance) {
                *before = *after = 0;
                break;
            }
            Position *pair = &nodes[(next & slotMask) * kNode];
            const uint8_t *p = cur - distance;
            unsigned len;
            if (kFull) {
                len = CommonLengthFull(p, cur);
            } else {
                // The candidate sorts between two nodes that agree with v on beforeLen
                // and afterLen bytes, so it agrees on the fewer of them too.
                len = std::min(beforeLen, afterLen);
                len += CommonLength(p + len, cur + len, lenLimit - len);
            }
            if (len > bestLength) {
                bestLength = len;
                bestDistance = static_cast<unsigned>(distance);
            }
            if (len == lenLimit) {
                // Equal keys: v takes the candidate's place, being nearer.
                *before = pair[0];
                *after = pair[1];
                break;
            }
            // The side is chosen without a branch: it is as likely one as the other.
            const bool less = p[len] < cur[len];
            Position *const link = less ? before : after;
            Position *const child = less ? pair + 1 : pair;
            *link = next;
            before = less ? child : before;
            after = less ? after : child;
            beforeLen = less ? len : beforeLen;
            afterLen = less ? afterLen : len;
            next = *child;
        }
    }

    static unsigned SlotCount(uint64_t inputSize)
    {
        unsigned slots = 64;
        while (slots < kSlots && slots < inputSize + kMaxMatch)
            slots *= 2;
        return slots;
    }

    // Sizes as 64-bit numbers, which stores into 32-bit tables cannot alias.
    uint64_t bits_;
    uint64_t slotMask_;
    uint64_t hashShift_;
    uint64_t tableSize_ = uint64_t(1) << bits_; // entries of one table in heads_
    std::vector<Position> heads_; // the chain heads of each length, then the tree roots
    std::vector<Position> nodes_; // [kNode * slot]
    Hashes next_{};        // the hashes of position nextFor_
    uint64_t nextFor_ = 0; // the position after the latest one taken in
    unsigned previous_ = 0; // the length of a match known there, or 0
};

// A search run over every input position in order, fed from the sliding window.
template <class Search>
class StreamFinder final : public MatchFinder {
public:
    StreamFinder(uint64_t size, SzddInputReader read) : window_(size, std::move(read)), search_(size)
    {
        for (uint64_t v = kFirstSource; v < kRingSize && v + kMinMatch <= window_.Total(); ++v)
            search_.Prime(window_, v);
    }

    size_t Next(Match *out, size_t count) override
    {
        if (count == 1 && v_ < fast_) {
            search_.Step(window_, v_, kMaxMatch, *out);
            out->byte = *window_.At(v_++);
            return 1;
        }
        const uint64_t total = window_.Total();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, total - v_));
        const uint64_t end = v_ + n;
        uint64_t v = v_;
        while (v < end) {
            const uint64_t ready = std::min(end, Ready(v));
            if (v < fast_) {
                const uint64_t stop = std::min(fast_, ready);
                search_.Run(window_, v, stop, out);
                out += stop - v;
                v = stop;
            }
            for (; v < ready; ++v, ++out) {
                unsigned lenLimit = static_cast<unsigned>(total - v);
                if (lenLimit >= kMinMatch) {
                    search_.Step(window_, v, lenLimit, *out);
                } else {
                    out->length = 0;
                    out->distance = 0;
                }
                out->byte = *window_.At(v);
            }
        }
        v_ = end;
        return n;
    }

    void Skip(size_t count) override
    {
        const uint64_t total = window_.Total();
        const uint64_t end = v_ + std::min<uint64_t>(count, total - v_);
        const uint64_t last = total >= kMinMatch ? total - kMinMatch + 1 : 0; // no match starts later
        uint64_t v = v_;
        while (v < end) {
            const uint64_t ready = std::min(end, v < fast_ ? fast_ : Ready(v));
            for (const uint64_t stop = std::min(ready, last); v < stop; ++v)
                search_.Skip(window_, v);
            v = ready;
        }
        v_ = end;
    }

private:
    // Makes the window ready for v; returns the end of the positions from v on that it
    // serves without a refill, and sets fast_.
    uint64_t Ready(uint64_t v)
    {
        const uint64_t ready = window_.Reach(v);
        const uint64_t total = window_.Total();
        // Positions before full are followed by kMaxMatch bytes at least.
        const uint64_t full = total >= kMaxMatch ? total - kMaxMatch + 1 : 0;
        fast_ = std::min(ready, full);
        return ready;
    }

    Window window_;
    Search search_;
    uint64_t v_ = kRingSize; // the next position to report: input offset v_ - kRingSize
    uint64_t fast_ = 0;      // positions before fast_ need no refill and have kMaxMatch bytes
};

} // namespace

std::unique_ptr<MatchFinder> MatchFinderCreate(uint64_t size, SzddInputReader read, MatchFinderStrategy strategy)
{
    if (strategy == MatchFinderStrategy::BinaryTree) {
        if (kRingSize + size + TreeFinder<uint32_t>::kStoredOffset <= UINT32_MAX)
            return std::make_unique<StreamFinder<TreeFinder<uint32_t>>>(size, std::move(read));
        return std::make_unique<StreamFinder<TreeFinder<uint64_t>>>(size, std::move(read));
    }
    return std::make_unique<StreamFinder<ChainFinder>>(size, std::move(read));
}

std::unique_ptr<MatchFinder> MatchFinderCreate(std::string_view input, MatchFinderStrategy strategy)
{
    size_t used = 0;
    SzddInputReader read = [input, used](unsigned char *buffer, size_t count) mutable {
        std::memcpy(buffer, input.data() + used, count);
        used += count;
    };
    return MatchFinderCreate(input.size(), std::move(read), strategy);
}

} // namespace velmor
