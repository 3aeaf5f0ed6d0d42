// Text in a Windows ANSI code page: the names and texts a package stores.
#ifndef VELMOR_CODEPAGE_H
#define VELMOR_CODEPAGE_H

#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// The ANSI code pages of Windows that a package may store its names in.
bool IsSupportedCodePage(int codePage);
std::string SupportedCodePagesText();

// Throws PackError naming the code pages there are, unless codePage is one of them.
void RequireSupportedCodePage(int codePage);

// The length of the UTF-8 sequence that text begins with: 1 to 4, or 0 when it does
// not begin with a complete, shortest-form sequence of a character (surrogates are
// not characters).
size_t Utf8SequenceLength(std::string_view text);

// The length of the UTF-8 byte-order mark that text begins with: 3, or 0 without one.
// Editors on Windows begin UTF-8 files with it; it is not text.
size_t Utf8ByteOrderMarkLength(std::string_view text);

// Whether the text is UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// Both directions decide as Windows' own tables for its ANSI code pages do.

// The UTF-8 text in the code page; nothing when the text is not valid UTF-8 or holds
// a character the code page cannot represent (no approximations).
std::optional<std::string> EncodeForCodePage(const std::string &utf8, int codePage);

// Back from the code page to UTF-8; nothing for bytes the code page does not define
// and for a double-byte character cut short or with a second byte it does not define.
std::optional<std::string> DecodeFromCodePage(const std::string &text, int codePage);

} // namespace velmor

#endif
