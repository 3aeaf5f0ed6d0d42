// Letter case as Windows ignores it in file names, decided by the system's own rules
// (on Linux ICU's Unicode tables, on Windows the casing table its file systems use).
#ifndef VELMOR_CASE_FOLDING_H
#define VELMOR_CASE_FOLDING_H

#include <string>
#include <string_view>

namespace velmor {

// A name in UTF-8, such as a host file name, in one spelling for comparisons that
// ignore letter case: each UTF-16 code unit mapped on its own (a character beyond the
// Basic Multilingual Plane keeps its case); bytes that are not UTF-8 keep their value.
// On Linux the mapping is Unicode simple case folding; on Windows the file system's
// upper-case table, which leaves some pairs apart that folding joins (final and other
// sigma, the Kelvin sign and K, micro sign and mu). Folding joins a character with its
// upper case wherever Windows' table does (dotless i, whose upper case is I, both
// leave apart), so names the Linux build tells apart are apart on Windows too. The
// spelling itself differs between the two; it is only ever compared.
std::string FoldUtf8Case(std::string_view text);

} // namespace velmor

#endif
