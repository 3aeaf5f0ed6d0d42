// Expansion of SZDD files through libmspack, kept apart from our own encoder so that
// checking a file we wrote does not trust the code that wrote it.
#ifndef VELMOR_SZDD_EXPAND_H
#define VELMOR_SZDD_EXPAND_H

#include <string>
#include <string_view>

namespace velmor {

// The expanded contents of a complete SZDD file held in memory. Throws PackError
// "<name>: <reason>" when it is not an SZDD file or its data is damaged or short of
// the length its header states.
std::string SzddExpand(std::string_view szddFile, std::string_view name = "SZDD data");

} // namespace velmor

#endif
