// Run at build time: writes the Windows language identifiers that ICU's table of
// Windows locale identifiers knows, with their BCP 47 tags, as C++ initialisers, one
// per line in ascending order: { 0x0407, "de-DE" },
// ICU's lookup needs ICU's data, which velmor-pack, linked to ICU without it, does not
// carry; the table it makes here does not.
#include <unicode/uloc.h>
#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// ICU's locale for a Windows locale identifier; "" when it has none.
std::string LocaleOf(unsigned id)
{
    UErrorCode status = U_ZERO_ERROR;
    char locale[ULOC_FULLNAME_CAPACITY];
    int32_t length = uloc_getLocaleForLCID(id, locale, sizeof locale, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0)
        return "";
    return locale;
}

// The tag of a language identifier Windows knows as a system language; "" for any
// other, also for a primary language without its sublanguage (0x07), which no system
// reports.
std::string TagOf(unsigned id)
{
    constexpr unsigned kPrimaryLanguageMask = 0x3FF;
    if ((id & ~kPrimaryLanguageMask) == 0)
        return "";
    std::string locale = LocaleOf(id);
    if (locale.empty() || locale == "root")
        return "";
    // For a sublanguage it does not know, ICU answers with its primary language's locale
    // (0x1031 gives "ts", as 0x31 does). A known identifier leads back to itself, or
    // to a locale of its own that another identifier shares (0x43C and 0x491, gd_GB).
    if (uloc_getLCID(locale.c_str()) != id && locale == LocaleOf(id & kPrimaryLanguageMask))
        return "";
    // ICU's locale id as a BCP 47 tag, its keywords (a sort order, for one) left out:
    // "es_ES@collation=traditional" is es-ES.
    std::string tag = locale.substr(0, locale.find('@'));
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    FILE *out = std::fopen(argv[1], "w");
    if (!out)
        return 1;
    int written = 0;
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        std::string tag = TagOf(id);
        if (!tag.empty() && std::fprintf(out, "{0x%04X, \"%s\"},\n", id, tag.c_str()) > 0)
            ++written;
    }
    // ICU has known some hundreds since Windows XP's time; far fewer means a broken lookup.
    if (std::fclose(out) != 0 || written < 200) {
        std::fprintf(stderr, "%s: %d language identifiers found; expected some hundreds\n", argv[0], written);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
