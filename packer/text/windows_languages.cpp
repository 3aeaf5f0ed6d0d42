#include "windows_languages.h"

#include <algorithm>
#include <iterator>

namespace velmor {
namespace {

struct WindowsLanguage {
    unsigned short id;
    const char *tag;
};

// Made at build time from ICU's table (make_windows_languages.cpp), in ascending order.
constexpr WindowsLanguage kWindowsLanguages[] = {
#include "windows_languages.inc"
};

} // namespace

std::optional<std::string> WindowsLanguageTag(unsigned short id)
{
    auto found = std::lower_bound(std::begin(kWindowsLanguages), std::end(kWindowsLanguages), id,
                                  [](const WindowsLanguage &language, unsigned short wanted) { return language.id < wanted; });
    if (found == std::end(kWindowsLanguages) || found->id != id)
        return std::nullopt;
    return found->tag;
}

} // namespace velmor
