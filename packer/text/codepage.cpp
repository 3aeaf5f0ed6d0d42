#include "codepage.h"

#include <cerrno>
#include <iconv.h>
#include <vector>
#include "pack_error.h"

namespace velmor {
namespace {

const int kCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252,
                          1253, 1254, 1255, 1256, 1257, 1258};

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

size_t Utf8SequenceLength(std::string_view text)
{
    if (text.empty())
        return 0;
    auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char c = byte(0);
    if (c < 0x80)
        return 1;
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    unsigned char second = byte(1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

size_t Utf8ByteOrderMarkLength(std::string_view text)
{
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

bool IsValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

bool IsSupportedCodePage(int codePage)
{
    for (int cp : kCodePages) {
        if (cp == codePage)
            return true;
    }
    return false;
}

std::string SupportedCodePagesText()
{
    std::string text;
    for (int cp : kCodePages)
        text += (text.empty() ? "" : ", ") + std::to_string(cp);
    return text;
}

void RequireSupportedCodePage(int codePage)
{
    if (!IsSupportedCodePage(codePage))
        throw PackError("code page " + std::to_string(codePage) + " is not supported; choose one of " +
                        SupportedCodePagesText());
}

std::optional<std::string> EncodeForCodePage(const std::string &utf8, int codePage)
{
    if (!IsSupportedCodePage(codePage))
        return std::nullopt;
    return Convert(utf8, "CP" + std::to_string(codePage), "UTF-8");
}

std::optional<std::string> DecodeFromCodePage(const std::string &text, int codePage)
{
    if (!IsSupportedCodePage(codePage))
        return std::nullopt;
    return Convert(text, "UTF-8", "CP" + std::to_string(codePage));
}

} // namespace velmor
