// Conversions between Unicode and a Windows code page, made by the system's own
// converter (on Linux iconv's tables, on Windows Windows' own).
#ifndef VELMOR_CODEPAGE_CONVERSION_H
#define VELMOR_CODEPAGE_CONVERSION_H

#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// The UTF-8 text in code page codePage, or back; nothing where the text is not valid
// in the form it is given in, or holds a character (or bytes) that has no exact
// counterpart in the other: no approximation is ever returned.
std::optional<std::string> Utf8ToCodePage(const std::string &utf8, int codePage);
std::optional<std::string> CodePageToUtf8(const std::string &text, int codePage);

// UTF-16 code units in UTF-8; a surrogate without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

} // namespace velmor

#endif
