// SZDD ("LZ" of the Windows COMPRESS/EXPAND tools) encoding on buffers, without any
// I/O: the packer compresses files with it, and tests on both sides call it directly.
//
// The stream is LZSS over a 4096-byte ring that starts filled with spaces, with the
// write position at 4096 - 16: groups of a flag byte (least-significant bit first,
// 1 = literal byte, 0 = match) and up to 8 items; a match is two bytes naming a ring
// position (12 bits) and a length of 3 to 18.
#ifndef VELMOR_SZDD_ENCODER_H
#define VELMOR_SZDD_ENCODER_H

#include <string>
#include <string_view>

namespace velmor {

enum class SzddLevel {
    Default, // near-optimal parse over a bounded match search: fast
    Best,    // the shortest stream the format can express for the input
};

// A complete SZDD file (14-byte header and compressed data) for input; input must be
// < 4 GiB (the header stores its length in 32 bits), else std::invalid_argument.
std::string SzddCompress(std::string_view input, SzddLevel level = SzddLevel::Default);

} // namespace velmor

#endif
