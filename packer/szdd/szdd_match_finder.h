// Match finding for the SZDD encoder: for every input offset in turn, a match that
// the LZSS ring of the format can express there. The finder knows nothing of how the
// matches are chosen or written; the encoder knows nothing of how they are found.
//
// Positions are those of a virtual stream V: kSzddRingSize spaces (what the ring holds
// before any data, in the order the decoder overwrites it) followed by the input. A
// match at input offset i with distance d copies from V position
// kSzddRingSize + i - d, so it may reach back into the initial spaces and overlap
// itself, exactly as the decoder's byte-wise copy does.
#ifndef VELMOR_SZDD_MATCH_FINDER_H
#define VELMOR_SZDD_MATCH_FINDER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace velmor {

constexpr unsigned kSzddRingSize = 4096;
constexpr unsigned kSzddMinMatch = 3;
constexpr unsigned kSzddMaxMatch = 18;

struct Match {
    unsigned length = 0;   // 0: none, else kSzddMinMatch..kSzddMaxMatch
    unsigned distance = 0; // 1..kSzddRingSize when length != 0
    unsigned char byte = 0; // the input byte at the offset: what a literal there writes
};

// Fills buffer with the next count bytes of the input, in order. Never asked for more
// bytes in all than the input size the reader was given with; throws when it cannot
// deliver them (what it throws is passed on).
using SzddInputReader = std::function<void(unsigned char *buffer, size_t count)>;

// A reader of input held in memory, which must outlive it.
SzddInputReader SzddMemoryReader(std::string_view input);

enum class MatchFinderStrategy {
    HashChain,  // a bounded hash-chain search: fast, not always the longest match
    BinaryTree, // binary search trees: always the longest match, slower
};

class MatchFinder {
public:
    virtual ~MatchFinder() = default;

    // Fills out[0, n) with the matches at the next n input offsets, n = min(count,
    // offsets left), and returns n (0 once the input is done). A match never runs
    // past the end of the input; with no match of kSzddMinMatch bytes, length is 0.
    virtual size_t Next(Match *out, size_t count) = 0;

    // Takes the next min(count, offsets left) input offsets in without reporting their
    // matches: the offsets a parse has already covered, which later matches may still
    // copy from.
    virtual void Skip(size_t count) = 0;
};

// A finder over an input of size bytes (< 4 GiB) taken in through read, a chunk at a
// time as the finder moves on: it holds the ring and a chunk of 64 KiB, never the
// whole input. The first call of Next starts at offset 0.
std::unique_ptr<MatchFinder> MatchFinderCreate(uint64_t size, SzddInputReader read, MatchFinderStrategy strategy);

// A finder over input held in memory, which must outlive it.
std::unique_ptr<MatchFinder> MatchFinderCreate(std::string_view input, MatchFinderStrategy strategy);

} // namespace velmor

#endif
