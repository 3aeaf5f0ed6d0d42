#include "name_rule.h"

namespace {

int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

int NameStaysInside(const char *name, int form, const CharStep *step)
{
    if (IsSeparator(name[0]))
        return 0;
    int blanks = 0; // dots and spaces
    int others = 0;
    for (const char *p = name;; p = step->next(p, step->context)) {
        char c = *p;
        if (c == 0 || IsSeparator(c)) {
            if (blanks && !others)
                return 0;
            if (c == 0)
                return form == kPathForm || others != 0;
            if (form != kPathForm)
                return 0;
            blanks = 0;
            others = 0;
        } else if (c == ':') {
            return 0;
        } else if (c == '.' || c == ' ') {
            ++blanks;
        } else {
            ++others;
        }
    }
}
