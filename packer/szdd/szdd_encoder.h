// SZDD ("LZ" of the Windows COMPRESS/EXPAND tools) encoding, without any I/O of its
// own: the input comes from a reader and the output goes to a writer, in chunks, so
// that files of any size are compressed in bounded memory. The packer compresses
// files with it, and tests on both sides call it directly.
//
// The stream is LZSS over a 4096-byte ring that starts filled with spaces, with the
// write position at 4096 - 16: groups of a flag byte (least-significant bit first,
// 1 = literal byte, 0 = match) and up to 8 items; a match is two bytes naming a ring
// position (12 bits) and a length of 3 to 18.
#ifndef VELMOR_SZDD_ENCODER_H
#define VELMOR_SZDD_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include "szdd_match_finder.h"

namespace velmor {

enum class SzddLevel {
    Default, // near-optimal parse over a bounded match search: fast
    Best,    // the shortest stream the format can express for the input
};

// Takes the bytes of the SZDD file in order, up to 16 KiB at a time; may throw (what
// it throws is passed on).
using SzddOutputWriter = std::function<void(const char *bytes, size_t count)>;

// Writes a complete SZDD file (14-byte header and compressed data) for an input of
// size bytes, read through read as the encoder moves on, to write, and returns its
// length. size must be < 4 GiB (the header stores it in 32 bits), else
// std::invalid_argument. What the encoder holds does not grow with the input: the
// match finder's window and tables, the output buffer, and for Best a parse of at
// most about a million offsets at a time (8 bytes each).
uint64_t SzddCompressTo(uint64_t size, SzddInputReader read, const SzddOutputWriter &write,
                        SzddLevel level = SzddLevel::Default);

// The complete SZDD file for input held in memory: the same bytes.
std::string SzddCompress(std::string_view input, SzddLevel level = SzddLevel::Default);

} // namespace velmor

#endif
