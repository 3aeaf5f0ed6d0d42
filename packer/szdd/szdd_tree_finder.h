// The search of the Best level. Included only by the match finder.
#ifndef VELMOR_SZDD_TREE_FINDER_H
#define VELMOR_SZDD_TREE_FINDER_H

#include "szdd_search_window.h"

namespace velmor {
namespace szdd_search {

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


} // namespace szdd_search
} // namespace velmor

#endif
