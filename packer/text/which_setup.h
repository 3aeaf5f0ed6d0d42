// What the launcher `install` does with a launcher config on a given system: the keys
// it tries, the one the config answers and the program it starts. The lookup is the
// launcher's own code; only the reading of the INI file is the packer's.
#ifndef VELMOR_PACK_WHICH_SETUP_H
#define VELMOR_PACK_WHICH_SETUP_H

#include <optional>
#include <string>
#include <vector>
#include "profile_file.h"
#include "version_record.h"

namespace velmor {

// A system as GetVersionExA and GetSystemDefaultLangID describe it.
struct SystemDescription {
    std::string name; // for the report, e.g. "Windows 98"; may be empty
    VersionRecord version{};
    unsigned short languageId = 0x0409;
};

// The systems that --windows names, as Wine reports them: "95", "98", "me", "nt4",
// "2000", "xp", "vista", "7", "8", "10", or their names as the report prints them
// ("Windows XP", also without "Windows "), in any letter case. nullopt for any other
// name.
std::optional<SystemDescription> PresetSystem(const std::string &name);
const std::vector<std::string> &PresetNames();

// What keeps a launcher config from working as written, one line each: no section
// [Setup Program], and each key in it that no system can read: one that does not end
// in "Setup-File", names a platform other than Windows and WinNT, or names a version
// that no Windows reports to the launcher or writes it other than as "5 1".
std::vector<std::string> CheckLauncherConfig(const ProfileFile &file);

struct KeyAttempt {
    std::string key;
    std::optional<std::string> value; // what the config holds for it, if anything
};

struct SetupChoice {
    bool platformKnown = false;      // platform id 1 or 2: keys were read at all
    std::vector<KeyAttempt> attempts; // the ten keys in the order tried
    int answered = -1;               // index of the key the launcher took, or -1
    std::string programPath;         // what it starts; empty when nothing
};

// Runs the launcher's lookup over the file as if it lay at configPath.
SetupChoice ChooseSetupProgram(const ProfileFile &file, const SystemDescription &system,
                               const std::string &configPath);

// Where a program that the launcher starts from a medium lies in a copy of that
// medium's files: programPath is the full path the launcher starts ("E:\\W9X\\SETUP.EXE",
// on the drive the config lies on), mediaRoot the folder that holds the medium's
// files. Each level is found as Windows finds it: letter case ignored (a name of the
// same case preferred), trailing dots and spaces dropped, "." and ".." resolved.
struct MediaLookup {
    bool found = false;
    std::string path; // the file found, or the path looked for: the levels found, then the rest
};
MediaLookup FindOnMedia(const std::string &mediaRoot, const std::string &programPath, int codePage);

} // namespace velmor

#endif
