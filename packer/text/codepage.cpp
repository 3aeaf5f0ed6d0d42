#include "codepage.h"

#include <array>
#include <map>
#include <mutex>
#include <vector>
#include "codepage_conversion.h"
#include "pack_error.h"

namespace velmor {
namespace {

const int kCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252,
                          1253, 1254, 1255, 1256, 1257, 1258};

bool IsDoubleByteCodePage(int codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// A single-byte code page as Windows' table has it: each byte's character in UTF-8,
// empty where the table defines none. Where the system's table leaves a byte from 80 to 9F
// undefined (81, 8D, 8F, 90 and 9D of 1252, for one), Windows' own tables give it the
// control character of that number, U+0080 to U+009F, both ways.
struct SingleByteTable {
    std::array<std::string, 256> characters;
    std::map<std::string, char> bytes;
};

const SingleByteTable &TableOf(int codePage)
{
    static std::mutex mutex;
    static std::map<int, SingleByteTable> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, added] = tables.try_emplace(codePage);
    SingleByteTable &table = it->second;
    for (int byte = 0; added && byte < 256; ++byte) {
        std::string one(1, static_cast<char>(byte));
        std::optional<std::string> character = CodePageToUtf8(one, codePage);
        if (!character && byte >= 0x80 && byte <= 0x9F)
            character = std::string{static_cast<char>(0xC2), static_cast<char>(byte)};
        if (!character)
            continue;
        table.characters[byte] = *character;
        table.bytes.emplace(*character, static_cast<char>(byte));
    }
    return table;
}

std::optional<std::string> DecodeSingleByte(const std::string &text, int codePage)
{
    const SingleByteTable &table = TableOf(codePage);
    std::string utf8;
    for (char c : text) {
        const std::string &character = table.characters[static_cast<unsigned char>(c)];
        if (character.empty())
            return std::nullopt;
        utf8 += character;
    }
    return utf8;
}

std::optional<std::string> EncodeSingleByte(const std::string &utf8, int codePage)
{
    const SingleByteTable &table = TableOf(codePage);
    std::string text;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = Utf8SequenceLength(std::string_view(utf8).substr(i));
        auto it = length ? table.bytes.find(utf8.substr(i, length)) : table.bytes.end();
        if (it == table.bytes.end())
            return std::nullopt;
        text += it->second;
        i += length;
    }
    return text;
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
    if (!IsDoubleByteCodePage(codePage))
        return EncodeSingleByte(utf8, codePage);
    return Utf8ToCodePage(utf8, codePage);
}

std::optional<std::string> DecodeFromCodePage(const std::string &text, int codePage)
{
    if (!IsSupportedCodePage(codePage))
        return std::nullopt;
    if (!IsDoubleByteCodePage(codePage))
        return DecodeSingleByte(text, codePage);
    return CodePageToUtf8(text, codePage);
}

} // namespace velmor
