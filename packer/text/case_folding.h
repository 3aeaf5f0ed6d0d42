// Letter case as Windows ignores it in file names, decided by the system's own rules
// (on Linux ICU's Unicode tables).
#ifndef VELMOR_CASE_FOLDING_H
#define VELMOR_CASE_FOLDING_H

#include <string>
#include <string_view>

namespace velmor {

// A name in UTF-8, such as a Linux file name, in one spelling for comparisons that
// ignore letter case: each UTF-16 code unit with its Unicode simple case folding (a
// character beyond the Basic Multilingual Plane keeps its case); bytes that are not
// UTF-8 keep their value.
std::string FoldUtf8Case(std::string_view text);

} // namespace velmor

#endif
