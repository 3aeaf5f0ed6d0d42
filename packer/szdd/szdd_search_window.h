// What the SZDD match finders share: the limits of the format as they see them, the
// sliding window over the input and the byte comparisons. Included only by the
// match finder and its searches.
#ifndef VELMOR_SZDD_SEARCH_WINDOW_H
#define VELMOR_SZDD_SEARCH_WINDOW_H

#include "szdd_match_finder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace velmor {
namespace szdd_search {

inline constexpr unsigned kRingSize = kSzddRingSize;
inline constexpr unsigned kMinMatch = kSzddMinMatch;
inline constexpr unsigned kMaxMatch = kSzddMaxMatch;

// Every ring slot can start a match, the one about to be written included: a byte-wise
// copy loads it before storing over it, so it still holds the byte 4096 back.
inline constexpr unsigned kMaxDistance = kRingSize;
// Per-position tables cover more than kMaxDistance + 1 positions, so that the slot of
// a position still in reach is never reused while the one 4096 later is inserted.
inline constexpr unsigned kSlots = 2 * kRingSize;
inline constexpr unsigned kSlotMask = kSlots - 1;
// The first position of the initial spaces the match finders are given: any earlier
// one matches exactly what this one does (kMaxMatch spaces at most) from farther back.
inline constexpr uint64_t kFirstSource = kRingSize - kMaxMatch;

// CommonLength compares eight bytes at a time, so it may read up to 7 bytes past the
// bytes it compares, and the hashes read 8 bytes from where a match may start (the
// tree search also from the position after the one it searches for): the window keeps
// that many readable bytes after its data.
inline constexpr size_t kReadSlack = 8;

inline uint64_t Load64(const uint8_t *p)
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

inline unsigned CommonLength(const uint8_t *a, const uint8_t *b, unsigned limit)
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
inline unsigned TableBits(uint64_t inputSize, unsigned maxBits)
{
    unsigned bits = 10;
    while (bits < maxBits && (size_t(1) << (bits - 1)) < inputSize)
        ++bits;
    return bits;
}

inline uint32_t HashBytes(uint32_t key, unsigned bits)
{
    return (key * 0x9E3779B1u) >> (32 - bits);
}

// Each search (ChainFinder, TreeFinder) takes part in the match finder's StreamFinder
// through four calls: Prime(window, v) takes in a position of the initial spaces;
// Step(window, v, lenLimit, out) sets out's length and distance to the match at a
// position of the input (lenLimit >= kMinMatch) and takes that position in;
// Run(window, v, end, out) does the same for the positions from v to end, each
// followed by kMaxMatch bytes in the window, and sets out's bytes too; Skip(window, v)
// only takes a position in (V[v, v + kMinMatch) exists).

} // namespace szdd_search
} // namespace velmor

#endif
