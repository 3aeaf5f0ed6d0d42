// The launcher's setup-file lookup, run natively with a config held in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "setup_lookup.h"

namespace {

// A launcher config as a map from key to value, noting every read.
struct FakeConfig {
    std::map<std::string, std::string> entries;
    std::vector<std::string> keysRead;
    std::vector<std::string> sectionsRead;
    std::vector<std::string> pathsRead;
};

unsigned ReadFake(void *context, const char *section, const char *key, char *result,
                  unsigned size, const char *path)
{
    auto *config = static_cast<FakeConfig *>(context);
    config->keysRead.push_back(key);
    config->sectionsRead.push_back(section);
    config->pathsRead.push_back(path);
    auto found = config->entries.find(key);
    std::string value = found == config->entries.end() ? "" : found->second;
    if (value.size() > size - 1)
        value.resize(size - 1);
    std::memcpy(result, value.c_str(), value.size() + 1);
    return static_cast<unsigned>(value.size());
}

VersionRecord MakeVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                          const char *servicePack)
{
    VersionRecord version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = platformId;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = build;
    std::strncpy(version.szCSDVersion, servicePack, sizeof version.szCSDVersion - 1);
    return version;
}

const VersionRecord kNT4SP6 = MakeVersion(2, 4, 0, 1381, "Service Pack 6");
const char kConfigPath[] = "E:\\DISK1\\INSTALL.CFG";

struct LookupResult {
    int found;
    std::string path;
};

LookupResult Lookup(FakeConfig &config, const VersionRecord &version, unsigned short language,
                    const char *configPath = kConfigPath, int resultSize = 256)
{
    ProfileReader reader = {ReadFake, &config};
    std::vector<char> result(resultSize, '\x7f');
    int found = FindSetupProgram(&version, language, configPath, result.data(), resultSize, &reader);
    return {found, found ? std::string(result.data()) : std::string()};
}

std::vector<std::string> KeysTried(const VersionRecord &version, unsigned short language)
{
    FakeConfig empty;
    EXPECT_EQ(Lookup(empty, version, language).found, 0);
    return empty.keysRead;
}

TEST(SetupLookupTest, TriesTheTenKeysOfTheWorkedExampleInOrder)
{
    FakeConfig config;
    EXPECT_EQ(Lookup(config, kNT4SP6, 0x0409).found, 0);
    EXPECT_EQ(config.keysRead, (std::vector<std::string>{
                                   "WinNT 4 0 Service Pack 6 409 Setup-File",
                                   "WinNT 4 0 409 Setup-File",
                                   "WinNT 4 409 Setup-File",
                                   "WinNT 409 Setup-File",
                                   "409 Setup-File",
                                   "WinNT 4 0 Service Pack 6 Setup-File",
                                   "WinNT 4 0 Setup-File",
                                   "WinNT 4 Setup-File",
                                   "WinNT Setup-File",
                                   "Setup-File",
                               }));
    EXPECT_EQ(config.sectionsRead, std::vector<std::string>(10, "Setup Program"));
    EXPECT_EQ(config.pathsRead, std::vector<std::string>(10, kConfigPath));
}

TEST(SetupLookupTest, StopsAtTheFirstKeyThatAnswers)
{
    FakeConfig config;
    config.entries = {{"WinNT 4 0 Setup-File", "seven.exe"},
                      {"409 Setup-File", "five.exe"},
                      {"Setup-File", "ten.exe"}};
    LookupResult result = Lookup(config, kNT4SP6, 0x0409);
    EXPECT_EQ(result.found, 1);
    EXPECT_EQ(result.path, "E:\\DISK1\\five.exe");
    EXPECT_EQ(config.keysRead.size(), 5u);
}

TEST(SetupLookupTest, EmptyValueCountsAsAbsent)
{
    FakeConfig config;
    config.entries = {{"WinNT 4 0 Service Pack 6 409 Setup-File", ""}, {"Setup-File", "any.exe"}};
    LookupResult result = Lookup(config, kNT4SP6, 0x0409);
    EXPECT_EQ(result.path, "E:\\DISK1\\any.exe");
    EXPECT_EQ(config.keysRead.size(), 10u);
}

struct PathCase {
    const char *configPath;
    const char *value;
    const char *expected; // nullptr: nothing found
};

class SetupPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(SetupPathTest, TurnsValueIntoFullPath)
{
    const PathCase &c = GetParam();
    FakeConfig config;
    config.entries = {{"Setup-File", c.value}};
    LookupResult result = Lookup(config, kNT4SP6, 0x0409, c.configPath);
    if (c.expected) {
        EXPECT_EQ(result.found, 1);
        EXPECT_EQ(result.path, c.expected);
    } else {
        EXPECT_EQ(result.found, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, SetupPathTest,
    testing::Values(
        // The worked example.
        PathCase{"E:\\DISK1\\INSTALL.CFG", "X:\\W95\\Setup.exe", "E:\\W95\\Setup.exe"},
        PathCase{"E:\\DISK1\\INSTALL.CFG", "W95\\Setup.exe", "E:\\DISK1\\W95\\Setup.exe"},
        PathCase{"E:\\DISK1\\INSTALL.CFG", "\\W95\\Setup.exe", "E:\\DISK1\\W95\\Setup.exe"},
        PathCase{"E:\\DISK1\\INSTALL.CFG", "..\\W95\\Setup.exe", "E:\\DISK1\\..\\W95\\Setup.exe"},
        // A drive letter without a backslash behind it: only the letter changes.
        PathCase{"E:\\DISK1\\INSTALL.CFG", "D:Setup.exe", "E:Setup.exe"},
        // Only the first of two leading backslashes goes.
        PathCase{"E:\\DISK1\\INSTALL.CFG", "\\\\srv\\Setup.exe", "E:\\DISK1\\\\srv\\Setup.exe"},
        // A config on a network path lends its backslash to a drive-letter value.
        PathCase{"\\\\srv\\share\\INSTALL.CFG", "X:\\W95\\Setup.exe", "\\:\\W95\\Setup.exe"},
        PathCase{"\\\\srv\\share\\INSTALL.CFG", "W95\\Setup.exe", "\\\\srv\\share\\W95\\Setup.exe"},
        // A config path without a backslash has no directory to put in front.
        PathCase{"INSTALL.CFG", "W95\\Setup.exe", "W95\\Setup.exe"},
        PathCase{"E:\\INSTALL.CFG", "Setup.exe", "E:\\Setup.exe"},
        // One character: no drive letter, nothing to drop.
        PathCase{"E:\\DISK1\\INSTALL.CFG", "S", "E:\\DISK1\\S"},
        PathCase{"E:\\DISK1\\INSTALL.CFG", "\\", "E:\\DISK1\\"}));

TEST(SetupLookupTest, JoinThatFillsBufferExactlyIsKept)
{
    // 9 characters of directory and 246 of value: 255, the most a 256-byte buffer holds.
    FakeConfig config;
    std::string value(246, 'v');
    config.entries = {{"Setup-File", value}};
    LookupResult result = Lookup(config, kNT4SP6, 0x0409);
    EXPECT_EQ(result.found, 1);
    EXPECT_EQ(result.path, "E:\\DISK1\\" + value);
}

TEST(SetupLookupTest, OverlongJoinFindsNothingRatherThanCutPath)
{
    FakeConfig config;
    config.entries = {{"Setup-File", std::string(247, 'v')}};
    ProfileReader reader = {ReadFake, &config};
    char result[256];
    EXPECT_EQ(FindSetupProgram(&kNT4SP6, 0x0409, kConfigPath, result, sizeof result, &reader), 0);
    EXPECT_STREQ(result, "");
}

TEST(SetupLookupTest, OverlongJoinInSmallBufferFindsNothing)
{
    FakeConfig config;
    config.entries = {{"Setup-File", "Setup.exe"}};
    // "E:\DISK1\Setup.exe" needs 19 bytes.
    EXPECT_EQ(Lookup(config, kNT4SP6, 0x0409, kConfigPath, 19).path, "E:\\DISK1\\Setup.exe");
    EXPECT_EQ(Lookup(config, kNT4SP6, 0x0409, kConfigPath, 18).found, 0);
}

// A value is never cut to what the buffer holds: one of 256 characters or more finds
// nothing, and the less specific keys behind it are not asked instead.
TEST(SetupLookupTest, ValueLongerThan255CharactersFindsNothing)
{
    struct Case {
        size_t length;
        int found;
    } cases[] = {{252, 1}, {253, 0}, {297, 0}};
    for (const Case &c : cases) {
        FakeConfig config;
        config.entries = {{"WinNT Setup-File", "X:\\" + std::string(c.length, 'v')}, {"Setup-File", "other.exe"}};
        LookupResult result = Lookup(config, kNT4SP6, 0x0409);
        EXPECT_EQ(result.found, c.found) << c.length;
        EXPECT_EQ(result.path, c.found ? "E:\\" + std::string(c.length, 'v') : "") << c.length;
    }
}

TEST(SetupLookupTest, OtherPlatformReadsNothingAndLeavesResult)
{
    for (uint32_t platform : {0u, 3u, 0xFFFFFFFFu}) {
        FakeConfig config;
        config.entries = {{"Setup-File", "any.exe"}};
        ProfileReader reader = {ReadFake, &config};
        char result[256] = "untouched";
        VersionRecord version = MakeVersion(platform, 4, 0, 0, "");
        EXPECT_EQ(FindSetupProgram(&version, 0x0409, kConfigPath, result, sizeof result, &reader), 0);
        EXPECT_TRUE(config.keysRead.empty()) << "platform " << platform;
        EXPECT_STREQ(result, "untouched");
    }
}

TEST(SetupLookupTest, MissingInputsFindNothing)
{
    FakeConfig config;
    config.entries = {{"Setup-File", "any.exe"}};
    ProfileReader reader = {ReadFake, &config};
    char result[256];
    EXPECT_EQ(FindSetupProgram(nullptr, 0x0409, kConfigPath, result, sizeof result, &reader), 0);
    EXPECT_EQ(FindSetupProgram(&kNT4SP6, 0x0409, nullptr, result, sizeof result, &reader), 0);
    EXPECT_EQ(FindSetupProgram(&kNT4SP6, 0x0409, "", result, sizeof result, &reader), 0);
    EXPECT_EQ(FindSetupProgram(&kNT4SP6, 0x0409, kConfigPath, nullptr, 256, &reader), 0);
    EXPECT_TRUE(config.keysRead.empty());
}

TEST(SetupLookupTest, OnlyKeySetupFileServesBothPlatforms)
{
    for (uint32_t platform : {1u, 2u}) {
        FakeConfig config;
        config.entries = {{"Setup-File", "any.exe"}};
        VersionRecord version = MakeVersion(platform, 4, 0, 0, "");
        EXPECT_EQ(Lookup(config, version, 0x0407).path, "E:\\DISK1\\any.exe");
    }
}

TEST(SetupLookupTest, LanguageOnlyKeyBeatsPlatformKeyWithoutLanguage)
{
    FakeConfig config;
    config.entries = {{"WinNT 4 0 Service Pack 6 Setup-File", "platform.exe"},
                      {"409 Setup-File", "language.exe"}};
    EXPECT_EQ(Lookup(config, kNT4SP6, 0x0409).path, "E:\\DISK1\\language.exe");
}

TEST(SetupLookupTest, EntriesWithoutPlatformOrForOtherPlatformAreNeverRead)
{
    FakeConfig config;
    config.entries = {{"4 0 Setup-File", "version.exe"},
                      {"Service Pack 6 Setup-File", "sp.exe"},
                      {"Windows 409 Setup-File", "other.exe"},
                      {"Setup-File", "any.exe"}};
    EXPECT_EQ(Lookup(config, kNT4SP6, 0x0409).path, "E:\\DISK1\\any.exe");
}

struct KeyCase {
    const char *name;
    VersionRecord version;
    unsigned short language;
    std::vector<std::string> keys; // the keys of attempts 1, 2, 3, 6 and 7
};

class SetupKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(SetupKeyTest, BuildsKeysFromTokens)
{
    const KeyCase &c = GetParam();
    std::vector<std::string> keys = KeysTried(c.version, c.language);
    ASSERT_EQ(keys.size(), 10u);
    EXPECT_EQ((std::vector<std::string>{keys[0], keys[1], keys[2], keys[5], keys[6]}), c.keys);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, SetupKeyTest,
    testing::Values(
        // An empty service pack: attempt 1 reads the key of attempt 2, 6 that of 7.
        KeyCase{"EmptyServicePack", MakeVersion(1, 4, 0, 0x040003B6, ""), 0x0409,
                {"Windows 4 0 409 Setup-File", "Windows 4 0 409 Setup-File", "Windows 4 409 Setup-File",
                 "Windows 4 0 Setup-File", "Windows 4 0 Setup-File"}},
        // Spaces around the service pack stay: two spaces in a row on each side.
        KeyCase{"ServicePackWithSpaces", MakeVersion(1, 4, 10, 0x040A08AE, " A "), 0x0409,
                {"Windows 4 10  A  409 Setup-File", "Windows 4 10 409 Setup-File", "Windows 4 409 Setup-File",
                 "Windows 4 10  A  Setup-File", "Windows 4 10 Setup-File"}},
        // The build number's high word carries the minor version past dwMinorVersion.
        KeyCase{"MinorFromBuildNumber", MakeVersion(1, 4, 0, 0x040A08AE, ""), 0x0409,
                {"Windows 4 10 409 Setup-File", "Windows 4 10 409 Setup-File", "Windows 4 409 Setup-File",
                 "Windows 4 10 Setup-File", "Windows 4 10 Setup-File"}},
        // A larger dwMinorVersion is kept.
        KeyCase{"MinorAboveBuildNumber", MakeVersion(1, 4, 90, 0x040A0000, " "), 0x0409,
                {"Windows 4 90   409 Setup-File", "Windows 4 90 409 Setup-File", "Windows 4 409 Setup-File",
                 "Windows 4 90   Setup-File", "Windows 4 90 Setup-File"}},
        KeyCase{"NTBuildNumberHasNoVersion", MakeVersion(2, 5, 0, 2195, "Service Pack 4"), 0x0409,
                {"WinNT 5 0 Service Pack 4 409 Setup-File", "WinNT 5 0 409 Setup-File", "WinNT 5 409 Setup-File",
                 "WinNT 5 0 Service Pack 4 Setup-File", "WinNT 5 0 Setup-File"}},
        // A major version that differs from the build number's takes nothing from it,
        // whatever its low byte says.
        KeyCase{"OtherMajorIgnoresBuildNumber", MakeVersion(2, 5, 0, 0x040A0000, ""), 0x0409,
                {"WinNT 5 0 409 Setup-File", "WinNT 5 0 409 Setup-File", "WinNT 5 409 Setup-File",
                 "WinNT 5 0 Setup-File", "WinNT 5 0 Setup-File"}},
        // Languages in upper-case hexadecimal without leading zeros.
        KeyCase{"LanguageHexUpperCase", MakeVersion(2, 6, 2, 9200, ""), 0x0C0A,
                {"WinNT 6 2 C0A Setup-File", "WinNT 6 2 C0A Setup-File", "WinNT 6 C0A Setup-File",
                 "WinNT 6 2 Setup-File", "WinNT 6 2 Setup-File"}},
        KeyCase{"LanguageZero", MakeVersion(2, 6, 2, 9200, ""), 0,
                {"WinNT 6 2 0 Setup-File", "WinNT 6 2 0 Setup-File", "WinNT 6 0 Setup-File",
                 "WinNT 6 2 Setup-File", "WinNT 6 2 Setup-File"}},
        // Versions as signed 32-bit numbers, as "%ld" prints them.
        KeyCase{"VersionsPrintedSigned", MakeVersion(2, 0xFFFFFFFF, 0x80000000, 0, ""), 0x0409,
                {"WinNT -1 -2147483648 409 Setup-File", "WinNT -1 -2147483648 409 Setup-File",
                 "WinNT -1 409 Setup-File", "WinNT -1 -2147483648 Setup-File", "WinNT -1 -2147483648 Setup-File"}}),
    [](const testing::TestParamInfo<KeyCase> &info) { return std::string(info.param.name); });

TEST(SetupLookupTest, LongestKeyIsBuiltWhole)
{
    std::string servicePack(127, 'S');
    VersionRecord version = MakeVersion(1, 0x80000000, 0x80000000, 0, servicePack.c_str());
    std::vector<std::string> keys = KeysTried(version, 0xFFFF);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[0], "Windows -2147483648 -2147483648 " + servicePack + " FFFF Setup-File");
    EXPECT_EQ(keys[0].size(), 175u);
}

TEST(SetupLookupTest, ServicePackWithoutZeroByteIsCut)
{
    VersionRecord version = MakeVersion(2, 5, 0, 0, "");
    std::memset(version.szCSDVersion, 'S', sizeof version.szCSDVersion);
    std::vector<std::string> keys = KeysTried(version, 0x0409);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[0], "WinNT 5 0 " + std::string(127, 'S') + " 409 Setup-File");
}

TEST(SetupLookupTest, FailedAttemptLeavesEmptyResult)
{
    FakeConfig config;
    ProfileReader reader = {ReadFake, &config};
    char result[256] = "stale";
    EXPECT_EQ(TrySetupFileKey("WinNT", nullptr, "", nullptr, "409", kConfigPath, result, sizeof result, &reader), 0);
    EXPECT_STREQ(result, "");
    ASSERT_EQ(config.keysRead.size(), 1u);
    EXPECT_EQ(config.keysRead[0], "WinNT 409 Setup-File");
}

} // namespace
