// velmor-pack which-setup: which program the launcher `install` starts for a launcher
// config on a given Windows version and language, without that Windows at hand.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include "cli_options.h"
#include "commands.h"
#include "messages.h"
#include "output_file.h"
#include "pack_error.h"
#include "which_setup.h"
#include "windows_languages.h"
#include "utf8_path.h"

namespace velmor {
namespace {

struct WhichSetupOptions {
    std::string configPath;
    std::string windows;
    std::string platformId, major, minor, build;
    std::optional<std::string> servicePack;
    std::string language = "409";
    std::string drive = "E";
    int codePage = 1252;
    std::string media;
};

// The config as each family of Windows reads it: the NT family decodes UTF-16, the
// 95 family takes every file byte for byte.
struct ConfigReadings {
    ProfileFile nt;
    ProfileFile windows95;
    const ProfileFile &For(const SystemDescription &system) const
    {
        return system.version.dwPlatformId == 1 ? windows95 : nt;
    }
};

// A number as decimal or, with 0x in front, hexadecimal; at most 32 bits.
uint32_t ParseNumber(const std::string &text, const char *option, bool hex)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        hex = true;
    }
    if (digits.empty() || digits.size() > (hex ? 8u : 10u))
        throw UsageError(std::string(option) + ": expected a 32-bit number, found '" + text + "'");
    uint64_t value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            throw UsageError(std::string(option) + ": expected a " + (hex ? "hexadecimal" : "decimal") +
                             " number, found '" + text + "'");
        value = value * (hex ? 16 : 10) + digit;
    }
    if (value > 0xFFFFFFFFull)
        throw UsageError(std::string(option) + ": expected a 32-bit number, found '" + text + "'");
    return static_cast<uint32_t>(value);
}

SystemDescription DescribeSystem(const WhichSetupOptions &options)
{
    SystemDescription system;
    if (!options.windows.empty()) {
        system = *PresetSystem(options.windows);
    } else {
        system.name = "custom system";
        system.version.dwOSVersionInfoSize = sizeof system.version;
    }
    if (!options.platformId.empty())
        system.version.dwPlatformId = ParseNumber(options.platformId, "--platform-id", false);
    if (!options.major.empty())
        system.version.dwMajorVersion = ParseNumber(options.major, "--major", false);
    if (!options.minor.empty())
        system.version.dwMinorVersion = ParseNumber(options.minor, "--minor", false);
    if (!options.build.empty())
        system.version.dwBuildNumber = ParseNumber(options.build, "--build", false);
    if (options.servicePack) {
        if (options.servicePack->size() > sizeof system.version.szCSDVersion - 1)
            throw UsageError("--csd: expected at most 127 characters, found " +
                             std::to_string(options.servicePack->size()));
        std::fill(std::begin(system.version.szCSDVersion), std::end(system.version.szCSDVersion), 0);
        options.servicePack->copy(system.version.szCSDVersion, options.servicePack->size());
    }
    uint32_t language = ParseNumber(options.language, "--lang", true);
    if (language > 0xFFFF)
        throw UsageError("--lang: expected a 16-bit language id, found '" + options.language + "'");
    system.languageId = static_cast<unsigned short>(language);
    return system;
}

// A warning for a --lang that names no language Windows knows, naming the one probably
// meant where its digits read as a decimal number name one; "" for a known language.
std::string LanguageProblem(const std::string &text)
{
    uint32_t id = ParseNumber(text, "--lang", true);
    if (id > 0xFFFF || WindowsLanguageTag(static_cast<unsigned short>(id)))
        return "";
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", id);
    std::string problem = "--lang " + text + ": 0x" + hex + " is no language Windows knows (--lang is hexadecimal)";
    if (text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos) {
        uint32_t decimal = ParseNumber(text, "--lang", false);
        std::optional<std::string> tag;
        if (decimal <= 0xFFFF && (tag = WindowsLanguageTag(static_cast<unsigned short>(decimal)))) {
            std::snprintf(hex, sizeof hex, "%X", decimal);
            return problem + "; " + text + " in decimal is 0x" + hex + " (" + *tag + "): give --lang " + hex;
        }
    }
    return problem + "; no Windows system reports it";
}

// Where the launcher would find the config: the root folder of the drive.
std::string ConfigPathOnDrive(const WhichSetupOptions &options)
{
    const std::string &drive = options.drive;
    if (drive.size() != 1 || !std::isalpha(static_cast<unsigned char>(drive[0])))
        throw UsageError("--drive: expected a drive letter, found '" + drive + "'");
    std::string name = TextOf(PathOf(options.configPath).filename());
    std::string path = drive + ":\\" + name;
    if (path.size() > 255)
        throw PackError(options.configPath + ": file name too long for a launcher config");
    return path;
}

void PrintChoice(const SystemDescription &system, const std::string &configPath,
                 const SetupChoice &choice)
{
    const VersionRecord &v = system.version;
    std::printf("System: %s: platform id %u, version %u.%u, build 0x%08X, service pack \"%s\", "
                "language %X\n",
                system.name.c_str(), v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion,
                v.dwBuildNumber, v.szCSDVersion, system.languageId);
    std::printf("Config: %s\n", configPath.c_str());
    if (!choice.platformKnown) {
        std::printf("Starts: nothing: platform id %u is neither 1 (95/98/ME) nor 2 (NT), "
                    "so no key is read\n",
                    v.dwPlatformId);
        return;
    }
    std::printf("Keys in the order tried (\"=>\" marks the one that answers):\n");
    for (size_t i = 0; i < choice.attempts.size(); ++i) {
        const KeyAttempt &attempt = choice.attempts[i];
        bool answered = static_cast<int>(i) == choice.answered;
        std::printf("%s%2zu  \"%s\"", answered ? "=> " : "   ", i + 1, attempt.key.c_str());
        if (attempt.value) {
            std::printf(" = %s", attempt.value->c_str());
            if (choice.answered >= 0 && static_cast<int>(i) > choice.answered)
                std::printf("   (never reached)");
        }
        std::printf("\n");
    }
    if (!choice.programPath.empty()) {
        std::string directory = choice.programPath;
        size_t slash = directory.rfind('\\');
        directory.resize(slash == std::string::npos ? 0 : slash);
        std::printf("Starts: %s\nWorking directory: %s\n", choice.programPath.c_str(),
                    directory.c_str());
    } else if (choice.answered >= 0) {
        std::printf("Starts: nothing: the full path would be longer than 255 characters\n");
    } else {
        std::printf("Starts: nothing: no key has a value in section [Setup Program]\n");
    }
}

// The keys that answer with a program whose full path the launcher cannot hold,
// each with the systems on which it answers: they start nothing.
using OverlongPaths = std::map<std::string, std::vector<std::string>>;

void NoteOverlongPath(const SetupChoice &choice, const SystemDescription &system, OverlongPaths &overlong)
{
    if (choice.answered >= 0 && choice.programPath.empty())
        overlong[choice.attempts[choice.answered].key].push_back(system.name);
}

std::vector<std::string> OverlongPathProblems(const OverlongPaths &overlong)
{
    std::vector<std::string> problems;
    for (const auto &[key, systems] : overlong) {
        std::string names;
        for (const std::string &name : systems)
            names += (names.empty() ? "" : ", ") + name;
        problems.push_back("\"" + key + "\" names a program whose full path would be longer than 255 characters; "
                           "the launcher starts nothing on " + names);
    }
    return problems;
}

// One line per system that --windows names: what each of them starts.
std::vector<std::string> PrintEverySystem(const ConfigReadings &config, const std::string &configPath,
                                          const WhichSetupOptions &options, OverlongPaths &overlong)
{
    std::vector<std::string> programs;
    std::vector<std::string> lines;
    unsigned short language = 0;
    for (const std::string &name : PresetNames()) {
        WhichSetupOptions one = options;
        one.windows = name;
        SystemDescription system = DescribeSystem(one);
        language = system.languageId;
        SetupChoice choice = ChooseSetupProgram(config.For(system), system, configPath);
        NoteOverlongPath(choice, system, overlong);
        if (!choice.programPath.empty() &&
            std::find(programs.begin(), programs.end(), choice.programPath) == programs.end())
            programs.push_back(choice.programPath);
        std::string answer = "nothing";
        if (!choice.programPath.empty())
            answer = choice.programPath + "   (key " + std::to_string(choice.answered + 1) + ", \"" +
                     choice.attempts[choice.answered].key + "\")";
        char line[64];
        std::snprintf(line, sizeof line, "%-15s ", system.name.c_str());
        lines.push_back(line + answer);
    }
    std::printf("Config: %s, language %X\n", configPath.c_str(), language);
    for (const std::string &line : lines)
        std::printf("%s\n", line.c_str());
    return programs;
}

// Each program found below the media folder is named; the missing ones are problems.
std::vector<std::string> CheckMedia(const std::vector<std::string> &programs, const WhichSetupOptions &options)
{
    std::vector<std::string> problems;
    for (const std::string &program : programs) {
        MediaLookup lookup = FindOnMedia(options.media, program, options.codePage);
        if (lookup.found)
            std::printf("On the medium: %s\n", lookup.path.c_str());
        else
            problems.push_back(lookup.path + ": missing; the launcher would start " + program +
                               " and find nothing there");
    }
    return problems;
}

// Launcher configs are a few lines; anything larger is not one.
constexpr uint64_t kMaxConfigSize = 1 << 20;

void RunWhichSetup(const WhichSetupOptions &options)
{
    if (!options.media.empty() && !std::filesystem::is_directory(PathOf(options.media)))
        throw UsageError("--media: " + options.media + " is not a folder");
    std::string bytes = ReadWholeFile(options.configPath, kMaxConfigSize);
    ConfigReadings config{ProfileFile::Parse(ProfileFile::TextForNt(bytes, options.codePage)),
                          ProfileFile::Parse(bytes)};
    std::string configPath = ConfigPathOnDrive(options);
    std::vector<std::string> programs;
    OverlongPaths overlong;
    if (options.windows.empty() && options.platformId.empty()) {
        programs = PrintEverySystem(config, configPath, options, overlong);
    } else {
        SystemDescription system = DescribeSystem(options);
        SetupChoice choice = ChooseSetupProgram(config.For(system), system, configPath);
        NoteOverlongPath(choice, system, overlong);
        PrintChoice(system, configPath, choice);
        if (!choice.programPath.empty())
            programs.push_back(choice.programPath);
    }
    std::vector<std::string> missing;
    if (!options.media.empty())
        missing = CheckMedia(programs, options);

    std::vector<std::string> problems = CheckLauncherConfig(config.nt);
    for (const std::string &problem : OverlongPathProblems(overlong))
        problems.push_back(problem);
    if (ProfileFile::IsUtf16(bytes))
        problems.insert(problems.begin(), "UTF-16 text: Windows NT and later read it, but Windows 95, 98 and ME "
                                          "read it byte for byte and find no section in it; save it in an ANSI "
                                          "code page for them");
    std::string language = LanguageProblem(options.language);
    if (!language.empty())
        PrintWarning(language);
    for (const std::string &problem : problems)
        PrintWarning(options.configPath + ": " + problem);
    if (!missing.empty())
        throw PackErrors(missing);
    if (!problems.empty())
        throw PackError(options.configPath + ": " + std::to_string(problems.size()) + " warning" +
                        (problems.size() == 1 ? "" : "s") + " about the config; the launcher may start "
                        "nothing, or not the program meant");
    if (!language.empty())
        throw PackError("--lang " + options.language + ": the report is for a language no Windows system has");
}

} // namespace

void AddWhichSetupCommand(CLI::App &app)
{
    auto options = std::make_shared<WhichSetupOptions>();
    CLI::App *cmd = app.add_subcommand(
        "which-setup", "Show which setup program the launcher `install` starts for a launcher config");
    cmd->add_option("CONFIG", options->configPath, "the launcher config (the .CFG beside install.exe)")
        ->required();
    cmd->add_option("--windows", options->windows,
                    "the system, as its GetVersionExA reports it; Windows 8 and 10 report 6.2. One of\n"
                    "95, 98, ME, NT4, 2000, XP, Vista, 7, 8, 10, or the name the report prints (Windows XP),\n"
                    "in any letter case")
        ->check(CLI::Validator(
            [](std::string &name) -> std::string {
                return PresetSystem(name) ? "" : "'" + name + "' is not a system --windows knows";
            },
            "SYSTEM"));
    cmd->add_option("--platform-id", options->platformId, "dwPlatformId: 1 for 95/98/ME, 2 for NT");
    cmd->add_option("--major", options->major, "dwMajorVersion");
    cmd->add_option("--minor", options->minor, "dwMinorVersion");
    cmd->add_option("--build", options->build, "dwBuildNumber, decimal or 0x hexadecimal");
    cmd->add_option("--csd", options->servicePack, "szCSDVersion, spaces included");
    cmd->add_option("--lang", options->language, "system default language id in hexadecimal (407 for German)")
        ->capture_default_str();
    cmd->add_option("--drive", options->drive, "drive letter of the setup medium")
        ->capture_default_str();
    cmd->add_option("--media", options->media,
                    "the folder that holds the medium's files: check that the program started is there,\n"
                    "its letter case aside as Windows ignores it");
    AddCodePageOption(*cmd, options->codePage,
                      "the system's ANSI code page, in which the launcher reads a UTF-16 config and names\n"
                      "its files (decimal)");
    AddMessageOptions(*cmd);
    cmd->footer("Without --windows or --platform-id: one line for each system --windows knows.\n"
                "The options after --windows change single fields of the system it names.\n"
                "The config is taken to lie in the root folder of the drive.\n"
                "A config without a section [Setup Program], with a key that no system reads (a platform\n"
                "other than Windows and WinNT, a version written 5.1 or one no Windows reports), or with a\n"
                "program whose full path is over 255 characters, is warned about, and the exit status is 1;\n"
                "so is a program that --media does not hold, and a --lang that no Windows knows.\n"
                "A UTF-16 config (with its byte-order mark) is read as UTF-16 by the NT family only.\n"
                "Example:\n"
                "  velmor-pack which-setup disk1/INSTALL.CFG --windows 98 --lang 407\n"
                "  velmor-pack which-setup disk1/INSTALL.CFG --media disk1\n");
    cmd->callback([options]() { RunWhichSetup(*options); });
}

} // namespace velmor
