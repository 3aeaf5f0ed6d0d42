#include "which_setup.h"

#include <cstring>
#include "setup_lookup.h"

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
    for (const Preset &preset : Presets()) {
        if (name == preset.option)
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

} // namespace velmor
