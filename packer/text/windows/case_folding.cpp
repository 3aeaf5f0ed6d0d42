// Case folding on Windows, by the system's own casing table. Only the Windows build's
// code belongs here.
#include "case_folding.h"

#include <windows.h>
#include <climits>
#include "codepage.h"
#include "codepage_conversion.h"

namespace velmor {
namespace {

bool IsSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// A run of whole UTF-8 characters in one spelling: each UTF-16 code unit in upper case
// by the table the file system compares names by (LCMapStringEx without
// LCMAP_LINGUISTIC_CASING uses it; the invariant locale keeps Turkish rules out).
std::string FoldRun(std::string_view run)
{
    std::optional<std::string> converted;
    int size = run.size() > INT_MAX / 2 ? 0 : MultiByteToWideChar(CP_UTF8, 0, run.data(), int(run.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (size > 0 && MultiByteToWideChar(CP_UTF8, 0, run.data(), int(run.size()), wide.data(), size) == size) {
        std::wstring upper(wide.size(), L'\0');
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, upper.data(), size, nullptr,
                          nullptr, 0) == size) {
            // A character beyond the Basic Multilingual Plane keeps its case, as in
            // names on disk: the file system's table has no entry for a surrogate.
            for (size_t i = 0; i < wide.size(); ++i) {
                if (IsSurrogate(wide[i]))
                    upper[i] = wide[i];
            }
            converted = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t *>(upper.data()),
                                                         upper.size()));
        }
    }
    // Whole characters that Windows cannot convert or map do not occur; should they,
    // the name keeps its own spelling rather than taking on another one's.
    return converted.value_or(std::string(run));
}

} // namespace

std::string FoldUtf8Case(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t runStart = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text.substr(i));
        if (length > 0) {
            i += length;
            continue;
        }
        out += FoldRun(text.substr(runStart, i - runStart));
        out += text[i++];
        runStart = i;
    }
    out += FoldRun(text.substr(runStart));
    return out;
}

} // namespace velmor
