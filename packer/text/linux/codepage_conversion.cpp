// Code page conversions on Linux, through iconv and ICU. Only the Linux build's code
// belongs here.
#include "codepage_conversion.h"

#include <iconv.h>
#include <unicode/unistr.h>
#include <cerrno>
#include <vector>

namespace velmor {
namespace {

std::optional<std::string> Convert(const std::string &text, const std::string &to,
                                   const std::string &from)
{
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    std::vector<char> chunk(4 * text.size() + 16);
    char *in = const_cast<char *>(text.data());
    size_t inLeft = text.size();
    bool ok = true;
    while (inLeft > 0) {
        char *outPtr = chunk.data();
        size_t outLeft = chunk.size();
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk.data(), chunk.size() - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
        // A conversion counted as irreversible would store an approximation.
        if (r != static_cast<size_t>(-1) && r > 0) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> Utf8ToCodePage(const std::string &utf8, int codePage)
{
    return Convert(utf8, "CP" + std::to_string(codePage), "UTF-8");
}

std::optional<std::string> CodePageToUtf8(const std::string &text, int codePage)
{
    return Convert(text, "UTF-8", "CP" + std::to_string(codePage));
}

std::string Utf16ToUtf8(std::u16string_view units)
{
    std::string utf8;
    icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())).toUTF8String(utf8);
    return utf8;
}

} // namespace velmor
