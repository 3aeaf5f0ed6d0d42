#include "windows_names.h"

#include <cctype>
#include "name_rule.h"
#include "pack_error.h"

namespace velmor {
namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The character step of name_rule.h for a code page, as CharNextA takes it: a lead
// byte with the zero byte behind it is a character of its own.
const char *NextInCodePage(const char *text, void *context)
{
    int codePage = *static_cast<const int *>(context);
    return IsDoubleByteLead(static_cast<unsigned char>(text[0]), codePage) && text[1] ? text + 2
                                                                                      : text + 1;
}

bool IsDeviceName(const std::string &name)
{
    std::string base = name.substr(0, name.find('.'));
    for (char &c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    for (const char *d : devices) {
        if (base == d)
            return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

} // namespace

bool IsDoubleByteLead(unsigned char c, int codePage)
{
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

bool NameStaysInside(std::string_view name, bool levelsAllowed, int codePage)
{
    std::string text(name.substr(0, name.find('\0')));
    CharStep step = {NextInCodePage, &codePage};
    return ::NameStaysInside(text.c_str(), levelsAllowed ? kPathForm : kFileNameForm, &step) != 0;
}

bool EndsInBackslash(const std::string &text, int codePage)
{
    bool last = false;
    for (size_t i = 0; i < text.size();) {
        last = text[i] == '\\';
        i += IsDoubleByteLead(static_cast<unsigned char>(text[i]), codePage) && i + 1 < text.size() ? 2 : 1;
    }
    return last;
}

std::string JoinBelowFolder(const std::string &folder, const std::string &relative, int codePage)
{
    if (folder.empty() || EndsInBackslash(folder, codePage))
        return folder + relative;
    return folder + "\\" + relative;
}

std::string FoldCase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitLevels(const std::string &path, int codePage)
{
    std::vector<std::string> levels(1);
    for (size_t i = 0; i < path.size();) {
        bool lead = IsDoubleByteLead(static_cast<unsigned char>(path[i]), codePage) && i + 1 < path.size();
        if (!lead && IsSeparator(path[i]))
            levels.emplace_back();
        else
            levels.back().append(path, i, lead ? 2 : 1);
        i += lead ? 2 : 1;
    }
    return levels;
}

std::string ComparablePath(const std::string &path, int codePage)
{
    std::string out;
    for (const std::string &level : SplitLevels(path, codePage)) {
        if (!level.empty() && level != ".")
            out += (out.empty() ? "" : "\\") + level;
    }
    return FoldCase(out);
}

void CheckCreatableName(const std::string &name, const std::string &where)
{
    for (unsigned char c : name) {
        if (c < 0x20 || std::string("<>:\"\\/|?*").find(static_cast<char>(c)) != std::string::npos)
            throw PackError(where + ": the name holds a character Windows does not allow in file names");
    }
    if (name.back() == '.' || name.back() == ' ')
        throw PackError(where + ": Windows drops a trailing dot or space from file names");
    if (IsDeviceName(name))
        throw PackError(where + ": the name is reserved for a device on Windows");
}

} // namespace velmor
