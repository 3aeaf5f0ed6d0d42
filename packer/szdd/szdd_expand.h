// Expansion of SZDD files by a decompressor that is not ours (on Linux libmspack's),
// kept apart from our own encoder so that checking a file we wrote does not trust the
// code that wrote it. Implemented per system in linux/ and windows/.
#ifndef VELMOR_SZDD_EXPAND_H
#define VELMOR_SZDD_EXPAND_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include "byte_source.h"

namespace velmor {

// Takes the expanded bytes in order, a few kilobytes at a time; may throw.
using ExpandSink = std::function<void(const char *bytes, size_t count)>;

// Expands the SZDD file of size bytes at offset in source into sink, holding no more
// than the decompressor's window and buffers, and returns the expanded length. Throws
// PackError "<name>: <reason>" when it is not an SZDD file, its data is damaged, or
// it expands to a length other than its header states (what the sink took by then
// is not to be kept), and passes on what the sink throws.
uint64_t SzddExpandTo(const ByteSource &source, uint64_t offset, uint64_t size, const ExpandSink &sink,
                      std::string_view name = "SZDD data");

// The expanded contents of a complete SZDD file held in memory.
std::string SzddExpand(std::string_view szddFile, std::string_view name = "SZDD data");

} // namespace velmor

#endif
