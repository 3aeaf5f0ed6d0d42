#include "messages.h"

#include <cstdio>
#include "codepage.h"

namespace velmor {

MessageSettings &Messages()
{
    static MessageSettings settings;
    return settings;
}

std::string Printable(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    auto escape = [&out](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    };
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = Utf8SequenceLength(text.substr(i));
        // C1 control characters (U+0080 to U+009F) steer terminals as C0 ones do.
        bool control = c < 0x20 || c == 0x7F || (c == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (length == 0 || control) {
            escape(c);
            if (control && length == 2)
                escape(static_cast<unsigned char>(text[i + 1]));
            i += control && length ? length : 1;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

void PrintError(const std::string &line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "velmor-pack: %s\n", Printable(line).c_str());
}

void PrintWarning(const std::string &line)
{
    if (Messages().quiet)
        return;
    std::fflush(stdout);
    std::fprintf(stderr, "velmor-pack: warning: %s\n", Printable(line).c_str());
}

void PrintResult(const std::string &line)
{
    if (!Messages().quiet)
        std::printf("%s\n", Printable(line).c_str());
}

void PrintDetail(const std::string &line)
{
    if (Messages().verbose && !Messages().quiet)
        std::printf("%s\n", Printable(line).c_str());
}

std::string Counted(uint64_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace velmor
