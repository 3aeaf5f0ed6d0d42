#include "which_setup.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include "codepage.h"
#include "setup_lookup.h"
#include "windows_names.h"
#include "utf8_path.h"

namespace velmor {
namespace {

enum { kPathSize = 256 };

SystemDescription MakeSystem(const char *name, uint32_t platformId, uint32_t major,
                             uint32_t minor, uint32_t build, const char *servicePack)
{
    SystemDescription system;
    system.name = name;
    system.version.dwOSVersionInfoSize = sizeof system.version;
    system.version.dwPlatformId = platformId;
    system.version.dwMajorVersion = major;
    system.version.dwMinorVersion = minor;
    system.version.dwBuildNumber = build;
    std::strncpy(system.version.szCSDVersion, servicePack, sizeof system.version.szCSDVersion - 1);
    return system;
}

struct Preset {
    const char *option;
    SystemDescription system;
};

const std::vector<Preset> &Presets()
{
    // The 95/98/ME family repeats its version in the high word of the build number.
    // Windows 8 and later report 6.2 to a program that does not declare itself
    // compatible with them, as the launcher does not.
    static const std::vector<Preset> presets = {
        {"95", MakeSystem("Windows 95", 1, 4, 0, 0x040003B6, "")},
        {"98", MakeSystem("Windows 98", 1, 4, 10, 0x040A08AE, " A ")},
        {"me", MakeSystem("Windows ME", 1, 4, 90, 0x045A0BB8, " ")},
        {"nt4", MakeSystem("Windows NT 4.0", 2, 4, 0, 1381, "Service Pack 6a")},
        {"2000", MakeSystem("Windows 2000", 2, 5, 0, 2195, "Service Pack 4")},
        {"xp", MakeSystem("Windows XP", 2, 5, 1, 2600, "Service Pack 3")},
        {"vista", MakeSystem("Windows Vista", 2, 6, 0, 6002, "Service Pack 2")},
        {"7", MakeSystem("Windows 7", 2, 6, 1, 7601, "Service Pack 1")},
        {"8", MakeSystem("Windows 8", 2, 6, 2, 9200, "")},
        {"10", MakeSystem("Windows 10", 2, 6, 2, 9200, "")},
    };
    return presets;
}

// Notes every key the lookup asks for and answers from the file, or from nothing.
struct KeyRecorder {
    const ProfileFile *file = nullptr;
    std::vector<std::string> keys;
};

unsigned RecordKey(void *context, const char *section, const char *key, char *result,
                   unsigned size, const char *)
{
    auto *recorder = static_cast<KeyRecorder *>(context);
    recorder->keys.push_back(key);
    if (!recorder->file) {
        result[0] = 0;
        return 0;
    }
    return ReadProfileString(*recorder->file, section, key, result, size);
}

} // namespace

std::optional<SystemDescription> PresetSystem(const std::string &name)
{
    auto same = [](const std::string &a, const std::string &b) { return ProfileFile::SameName(a, b); };
    const std::string prefix = "Windows ";
    for (const Preset &preset : Presets()) {
        const std::string &shown = preset.system.name;
        if (same(name, preset.option) || same(name, shown) ||
            (shown.size() > prefix.size() && same(name, shown.substr(prefix.size()))))
            return preset.system;
    }
    return std::nullopt;
}

const std::vector<std::string> &PresetNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const Preset &preset : Presets())
            list.push_back(preset.option);
        return list;
    }();
    return names;
}

namespace {

// The versions each platform reports to a program that does not declare itself
// compatible with later ones, as the launcher does not: Windows 8 and later say 6.2.
struct KnownVersion {
    const char *platform;
    unsigned major, minor;
};
const KnownVersion kKnownVersions[] = {
    {"Windows", 4, 0}, {"Windows", 4, 10}, {"Windows", 4, 90},
    {"WinNT", 3, 10},  {"WinNT", 3, 50},   {"WinNT", 3, 51}, {"WinNT", 4, 0}, {"WinNT", 5, 0},
    {"WinNT", 5, 1},   {"WinNT", 5, 2},    {"WinNT", 6, 0},  {"WinNT", 6, 1}, {"WinNT", 6, 2},
};

bool IsDecimal(const std::string &text)
{
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos &&
           (text == "0" || text[0] != '0');
}

// A system default language as the launcher writes it: hexadecimal without leading
// zeros, with a sublanguage (so at least 0x400).
bool IsLanguage(const std::string &text)
{
    if (text.empty() || text.size() > 4 || text[0] == '0' ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    return std::stoul(text, nullptr, 16) >= 0x400;
}

// Whether the platform has a known version of that major number, and of that minor
// number too when one is given.
bool IsKnownVersion(const std::string &platform, unsigned major, std::optional<unsigned> minor = std::nullopt)
{
    for (const KnownVersion &v : kKnownVersions) {
        if (platform == v.platform && v.major == major && (!minor || v.minor == *minor))
            return true;
    }
    return false;
}

// The first word of text and what follows the space behind it.
std::pair<std::string, std::string> FirstWord(const std::string &text)
{
    size_t space = text.find(' ');
    if (space == std::string::npos)
        return {text, ""};
    return {text.substr(0, space), text.substr(space + 1)};
}

// Why no system reads the key, or "" when some system may.
std::string KeyProblem(const std::string &key)
{
    const std::string suffix = "Setup-File";
    if (ProfileFile::SameName(key, suffix))
        return "";
    if (key.size() <= suffix.size() + 1 || !ProfileFile::SameName(key.substr(key.size() - suffix.size() - 1), " " + suffix))
        return "expected a key that ends in \" Setup-File\", such as \"WinNT 5 1 Setup-File\"";
    std::string rest = key.substr(0, key.size() - suffix.size() - 1);
    auto [word, afterPlatform] = FirstWord(rest);
    std::string platform = ProfileFile::SameName(word, "Windows") ? "Windows"
                           : ProfileFile::SameName(word, "WinNT") ? "WinNT"
                                                                   : "";
    if (platform.empty()) {
        if (IsLanguage(rest))
            return "";
        return "'" + word + "' is neither a platform the launcher names (Windows, WinNT) nor a language id "
                            "(hexadecimal, such as 409)";
    }
    if (afterPlatform.empty() || IsLanguage(afterPlatform))
        return "";
    auto [major, afterMajor] = FirstWord(afterPlatform);
    if (!IsDecimal(major)) {
        if (major.find('.') != std::string::npos)
            return "the version '" + major + "' is written with a dot; the launcher writes it with a space, "
                                             "as in \"" + platform + " 5 1 Setup-File\"";
        return "'" + major + "' is neither a version number nor a language id";
    }
    unsigned majorValue = static_cast<unsigned>(std::stoul(major));
    if (!IsKnownVersion(platform, majorValue))
        return "no " + platform + " system reports major version " + major +
               " to the launcher (Windows 8 and later report 6.2)";
    if (afterMajor.empty() || IsLanguage(afterMajor))
        return "";
    auto [minor, afterMinor] = FirstWord(afterMajor);
    if (!IsDecimal(minor))
        return "'" + minor + "' is neither a minor version number nor a language id";
    if (!IsKnownVersion(platform, majorValue, static_cast<unsigned>(std::stoul(minor))))
        return "no " + platform + " system reports version " + major + "." + minor +
               " to the launcher (Windows 8 and later report 6.2)";
    return ""; // a service pack, and perhaps a language, may follow
}

} // namespace

std::vector<std::string> CheckLauncherConfig(const ProfileFile &file)
{
    std::vector<std::string> problems;
    bool found = false;
    std::string others;
    for (const std::string &name : file.SectionNames()) {
        if (ProfileFile::SameName(name, SETUP_PROGRAM_SECTION))
            found = true;
        else
            others += (others.empty() ? "" : ", ") + ("[" + name + "]");
    }
    if (!found) {
        problems.push_back("expected a section [" SETUP_PROGRAM_SECTION "], found " +
                           (others.empty() ? std::string("none") : others) +
                           "; the launcher starts nothing on any system");
        return problems;
    }
    std::vector<std::string> keys = file.Keys(SETUP_PROGRAM_SECTION);
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string where = "[" SETUP_PROGRAM_SECTION "] key \"" + keys[i] + "\": ";
        std::string problem = KeyProblem(keys[i]);
        if (!problem.empty())
            problems.push_back(where + problem + "; no system reads it");
        for (size_t j = 0; j < i; ++j) {
            if (ProfileFile::SameName(keys[j], keys[i])) {
                problems.push_back(where + "given again; the launcher reads only the first");
                break;
            }
        }
    }
    return problems;
}

SetupChoice ChooseSetupProgram(const ProfileFile &file, const SystemDescription &system,
                               const std::string &configPath)
{
    SetupChoice choice;
    char result[kPathSize];

    // Against an empty config the lookup tries all ten keys: that gives the list.
    KeyRecorder allKeys;
    ProfileReader listReader = {RecordKey, &allKeys};
    FindSetupProgram(&system.version, system.languageId, configPath.c_str(), result,
                     sizeof result, &listReader);
    choice.platformKnown = !allKeys.keys.empty();
    for (const std::string &key : allKeys.keys) {
        KeyAttempt attempt{key, std::nullopt};
        std::optional<std::string> value = file.Find(SETUP_PROGRAM_SECTION, key);
        if (value && !value->empty())
            attempt.value = value;
        choice.attempts.push_back(attempt);
    }

    // Against the real one it stops at the key that answers.
    KeyRecorder readKeys;
    readKeys.file = &file;
    ProfileReader fileReader = {RecordKey, &readKeys};
    result[0] = 0;
    int found = FindSetupProgram(&system.version, system.languageId, configPath.c_str(),
                                 result, sizeof result, &fileReader);
    if (!readKeys.keys.empty() && choice.attempts[readKeys.keys.size() - 1].value)
        choice.answered = static_cast<int>(readKeys.keys.size()) - 1;
    if (found)
        choice.programPath = result;
    return choice;
}

namespace {

// The entry of folder that Windows opens for name: the one spelt alike, else the first
// (by name) that differs only in letter case.
std::optional<std::string> FindEntry(const std::filesystem::path &folder, const std::string &name)
{
    // The folder is read even where the file system itself ignores letter case, so
    // that the entry is named as the medium spells it.
    std::error_code error;
    const std::string wanted = FoldUtf8Case(name);
    std::optional<std::string> found;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        std::string candidate = TextOf(entry.path().filename());
        if (candidate == name)
            return candidate;
        if (FoldUtf8Case(candidate) == wanted && (!found || candidate < *found))
            found = candidate;
    }
    return found;
}

} // namespace

MediaLookup FindOnMedia(const std::string &mediaRoot, const std::string &programPath, int codePage)
{
    MediaLookup lookup;
    std::vector<std::string> levels = SplitLevels(programPath, codePage);
    std::vector<std::string> resolved; // as the medium spells them
    for (size_t i = 1; i < levels.size(); ++i) {  // levels[0] is the drive
        if (levels[i] == "..") {
            if (!resolved.empty())
                resolved.pop_back();
            continue;
        }
        std::string level = WithoutTrailingDotsAndSpaces(levels[i]);
        if (!level.empty()) // "" and "."
            resolved.push_back(DecodeFromCodePage(level, codePage).value_or(level));
    }
    std::filesystem::path path = PathOf(mediaRoot);
    bool missing = false;
    for (const std::string &level : resolved) {
        std::optional<std::string> entry;
        if (!missing)
            entry = FindEntry(path, level);
        missing = missing || !entry;
        path /= PathOf(entry ? *entry : level);
    }
    std::error_code error;
    lookup.found = !missing && !resolved.empty() && std::filesystem::is_regular_file(path, error);
    lookup.path = TextOf(path);
    return lookup;
}

} // namespace velmor
