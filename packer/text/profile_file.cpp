#include "profile_file.h"

#include <algorithm>
#include <cstring>
#include "codepage.h"
#include "codepage_conversion.h"

namespace velmor {
namespace {

// Ctrl-Z, the end-of-file mark of old editors, counts as white space too.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string Trim(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

char FoldCase(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool ProfileFile::SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

// "x" and 'x' lose their quotes; a lone quote or quotes that differ stay.
std::string ProfileFile::Unquoted(const std::string &value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

bool ProfileFile::IsUtf16(const std::string &bytes)
{
    return bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
}

std::string ProfileFile::TextForNt(const std::string &bytes, int codePage)
{
    if (!IsUtf16(bytes))
        return bytes;
    bool bigEndian = bytes[0] == '\xFE';
    std::u16string units;
    for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
        unsigned char first = bytes[at], second = bytes[at + 1];
        units.push_back(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    std::string utf8 = Utf16ToUtf8(units);
    std::string text;
    for (size_t at = 0; at < utf8.size();) {
        size_t length = std::max<size_t>(Utf8SequenceLength(std::string_view(utf8).substr(at)), 1);
        std::optional<std::string> encoded = EncodeForCodePage(utf8.substr(at, length), codePage);
        text += encoded ? *encoded : "?";
        at += length;
    }
    return text;
}

std::vector<ProfileLine> ProfileFile::Lines(const std::string &text)
{
    std::vector<ProfileLine> lines;
    size_t at = Utf8ByteOrderMarkLength(text);
    for (unsigned number = 1; at < text.size(); ++number) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trim(text.substr(at, end - at));
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty())
            continue;
        ProfileLine parsed;
        parsed.number = number;
        size_t close = line[0] == '[' ? line.rfind(']') : std::string::npos;
        size_t equals = line.find('=');
        if (close != std::string::npos) {
            parsed.opensSection = true;
            parsed.name = Trim(line.substr(1, close - 1));
        } else if (equals == std::string::npos) {
            parsed.name = line;
        } else {
            parsed.hasEquals = true;
            parsed.name = Trim(line.substr(0, equals));
            parsed.value = Trim(line.substr(equals + 1));
        }
        lines.push_back(std::move(parsed));
    }
    return lines;
}

ProfileFile ProfileFile::Parse(const std::string &text)
{
    ProfileFile file;
    Section *current = nullptr;
    for (ProfileLine &line : Lines(text)) {
        if (line.opensSection) {
            file.sections_.push_back({std::move(line.name), {}});
            current = &file.sections_.back();
        } else if (current) {
            current->entries.push_back({std::move(line.name), std::move(line.value)});
        }
    }
    return file;
}

const ProfileFile::Section *ProfileFile::FindSection(const std::string &name) const
{
    const std::string trimmed = Trim(name);
    for (const Section &s : sections_) {
        if (SameName(s.name, trimmed))
            return &s;
    }
    return nullptr;
}

std::optional<std::string> ProfileFile::Find(const std::string &section, const std::string &key) const
{
    if (const Section *s = FindSection(section)) {
        const std::string keyName = Trim(key);
        for (const Entry &e : s->entries) {
            if (SameName(e.name, keyName))
                return Unquoted(e.value);
        }
    }
    return std::nullopt;
}

std::vector<std::string> ProfileFile::SectionNames() const
{
    std::vector<std::string> names;
    for (const Section &s : sections_)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> ProfileFile::Keys(const std::string &section) const
{
    std::vector<std::string> keys;
    if (const Section *s = FindSection(section)) {
        for (const Entry &e : s->entries)
            keys.push_back(e.name);
    }
    return keys;
}

unsigned ReadProfileString(const ProfileFile &file, const char *section, const char *key,
                           char *result, unsigned size)
{
    if (size == 0)
        return 0;
    std::optional<std::string> value = file.Find(section, key);
    size_t length = value ? strnlen(value->c_str(), value->size()) : 0;
    if (length > size - 1)
        length = size - 1;
    if (length)
        std::memcpy(result, value->data(), length);
    result[length] = 0;
    return static_cast<unsigned>(length);
}

} // namespace velmor
