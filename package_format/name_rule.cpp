#include "name_rule.h"

namespace {

int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

int IsPortDigit(unsigned char c, int superscriptDigits)
{
    return (c >= '0' && c <= '9') ||
           (superscriptDigits && (c == 0xB9 || c == 0xB2 || c == 0xB3));
}

// Whether the length bytes at text spell pattern (upper case ASCII), letter case aside;
// a '#' in pattern stands for a port digit.
int Spells(const char *text, int length, const char *pattern, int superscriptDigits)
{
    int i = 0;
    for (; i < length && pattern[i]; ++i) {
        if (pattern[i] == '#' ? !IsPortDigit(static_cast<unsigned char>(text[i]), superscriptDigits)
                              : Upper(text[i]) != pattern[i])
            return 0;
    }
    return i == length && !pattern[i];
}

// Whether the level from start to end is a device name: its part before the first
// dot, without the spaces that end it, is one of the names Windows reserves.
int IsDeviceLevel(const char *start, const char *end, int superscriptDigits)
{
    static const char *const names[] = {"CON",    "PRN",     "AUX",   "NUL", "COM#", "LPT#",
                                        "CONIN$", "CONOUT$", "CLOCK$"};
    int length = 0;
    while (start + length < end && start[length] != '.')
        ++length;
    while (length && start[length - 1] == ' ')
        --length;
    for (const char *name : names) {
        if (Spells(start, length, name, superscriptDigits))
            return 1;
    }
    return 0;
}

} // namespace

int IsForbiddenNameCharacter(unsigned char c)
{
    return (c >= 0x01 && c < 0x20) || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

int CheckName(const char *name, int form, const CharStep *step)
{
    if (IsSeparator(name[0]))
        return kNameLeavesFolder;
    const char *level = name;
    int blanks = 0; // dots and spaces
    int others = 0;
    int endsBlank = 0; // the level's last character is a dot or a space
    for (const char *p = name;; p = step->next(p, step->context)) {
        if (!p)
            return kNameCharacterCut;
        char c = *p;
        if (c == 0 || IsSeparator(c)) {
            if (blanks && !others)
                return kNameLeavesFolder;
            if (IsDeviceLevel(level, p, step->superscriptDigits))
                return kNameIsDevice;
            if (endsBlank)
                return kNameNotCreatable;
            if (c == 0 && form != kPathForm && others == 0)
                return kNameLeavesFolder;
            if (c == 0)
                return step->isText(name, step->context) ? kNameAccepted : kNameNotText;
            if (form != kPathForm)
                return kNameLeavesFolder;
            blanks = 0;
            others = 0;
            endsBlank = 0;
            level = p + 1;
        } else if (c == ':') {
            return kNameLeavesFolder;
        } else if (IsForbiddenNameCharacter(static_cast<unsigned char>(c))) {
            return kNameNotCreatable;
        } else {
            endsBlank = c == '.' || c == ' ';
            ++(endsBlank ? blanks : others);
        }
    }
}

int NameStaysInside(const char *name, int form, const CharStep *step)
{
    return CheckName(name, form, step) == kNameAccepted;
}
