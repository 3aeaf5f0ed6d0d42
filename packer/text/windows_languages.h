// Windows language identifiers (LANGID, such as 0x407 for German in Germany), as the
// table of Windows locale identifiers that ICU keeps knows them.
#ifndef VELMOR_WINDOWS_LANGUAGES_H
#define VELMOR_WINDOWS_LANGUAGES_H

#include <optional>
#include <string>

namespace velmor {

// The BCP 47 tag of a language identifier that Windows knows as a system language
// ("de-DE" for 0x407); nullopt for any other, also for a primary language without its
// sublanguage (0x07), which no system reports.
std::optional<std::string> WindowsLanguageTag(unsigned short id);

} // namespace velmor

#endif
