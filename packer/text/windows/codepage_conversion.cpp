// Code page conversions on Windows, through Windows' own tables. Only the Windows
// build's code belongs here.
#include "codepage_conversion.h"

#include <windows.h>
#include <climits>

namespace velmor {
namespace {

// The text in UTF-16; nothing where it holds bytes the code page (CP_UTF8 included)
// does not define, which MB_ERR_INVALID_CHARS makes the system refuse instead of
// replacing them.
std::optional<std::wstring> ToUtf16(const std::string &text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    const int size = static_cast<int>(text.size());
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units) != units)
        return std::nullopt;
    return wide;
}

// UTF-16 in the code page; nothing where a character has no counterpart of its own.
// Without WC_NO_BEST_FIT_CHARS Windows would write a look-alike (an "a" for "ā"), and
// it writes its default character for what it cannot map: the flag it sets, and the
// way back, catch both.
std::optional<std::string> FromUtf16(const std::wstring &wide, UINT codePage)
{
    if (wide.empty())
        return std::string();
    if (wide.size() > INT_MAX)
        return std::nullopt;
    const int units = static_cast<int>(wide.size());
    // UTF-8 takes neither the flag nor the default-character question.
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *askUsedDefault = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int size = WideCharToMultiByte(codePage, flags, wide.data(), units, nullptr, 0, nullptr, askUsedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), units, text.data(), size, nullptr, askUsedDefault) != size ||
        usedDefault)
        return std::nullopt;
    if (codePage != CP_UTF8) {
        std::optional<std::wstring> back = ToUtf16(text, codePage);
        if (!back || *back != wide)
            return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<std::string> Utf8ToCodePage(const std::string &utf8, int codePage)
{
    std::optional<std::wstring> wide = ToUtf16(utf8, CP_UTF8);
    if (!wide)
        return std::nullopt;
    return FromUtf16(*wide, static_cast<UINT>(codePage));
}

std::optional<std::string> CodePageToUtf8(const std::string &text, int codePage)
{
    std::optional<std::wstring> wide = ToUtf16(text, static_cast<UINT>(codePage));
    if (!wide)
        return std::nullopt;
    return FromUtf16(*wide, CP_UTF8);
}

std::string Utf16ToUtf8(std::u16string_view units)
{
    // Each lone surrogate becomes U+FFFD first: WideCharToMultiByte would otherwise
    // refuse the text (WC_ERR_INVALID_CHARS) or replace it on its own terms.
    std::wstring wide(units.begin(), units.end());
    for (size_t i = 0; i < wide.size(); ++i) {
        bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF;
        bool low = wide[i] >= 0xDC00 && wide[i] <= 0xDFFF;
        bool paired = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        if (paired)
            ++i;
        else if (high || low)
            wide[i] = 0xFFFD;
    }
    return FromUtf16(wide, CP_UTF8).value_or(std::string());
}

} // namespace velmor
