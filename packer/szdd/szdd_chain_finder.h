// The search of the Default level. Included only by the match finder.
#ifndef VELMOR_SZDD_CHAIN_FINDER_H
#define VELMOR_SZDD_CHAIN_FINDER_H

#include "szdd_search_window.h"

namespace velmor {
namespace szdd_search {

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

} // namespace szdd_search
} // namespace velmor

#endif
