// velmor-pack's command-line conventions, recipes and reproducible packages, run as
// a user runs them.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include "host_support.h"

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class ConventionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("conventions");
        Write(root / "src" / "setup.exe", "MZ setup");
        Write(root / "src" / "docs" / "read me.txt", "read me\r\n");
        fs::create_directories(root / "out");
        stub = root / "stub.exe";
        Write(stub, StandInStub());
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs velmor-pack in the test's folder.
    CommandRun Run(const std::string &arguments, const std::string &environment = "")
    {
        return PackIn(root, arguments, environment);
    }
    std::string Create(const std::string &options, const std::string &source = "src",
                       const std::string &output = "out/pkg.exe")
    {
        return "create --stub " + Quote(stub) + " " + options + " " + source + " -o " + output;
    }

    fs::path root;
    fs::path stub;
};

TEST_F(ConventionsTest, VersionNamesTheStubCreateUses)
{
    for (const char *flag : {"--version", "-V"}) {
        CommandRun run = Run(flag);
        EXPECT_EQ(run.status, 0) << run.output;
        std::vector<std::string> lines = Lines(run.output);
        ASSERT_EQ(lines.size(), 2u) << run.output;
        EXPECT_EQ(lines[0], std::string("velmor-pack ") + VELMOR_VERSION);
        EXPECT_EQ(lines[1], "stub: " + fs::canonical(VELMOR_I686_STUB).string());
    }
}

TEST_F(ConventionsTest, ErrorsAreOneLineWithTheExitStatusOfTheirKind)
{
    Write(root / "about.txt", "Acme");
    Write(root / "INSTALL.CFG", "[Setup Program]\nSetup-File=SETUP.EXE\n");
    struct Case {
        std::string arguments;
        int status;
        const char *expected;
        std::string environment;
    } cases[] = {
        {"crate src -o out/pkg.exe", 2, "'crate' is not a command; the commands are create, "},
        {"create src -o", 2, "--output"},
        {Create("--codepage 0x4E4"), 2, "'0x4E4' is not a decimal number"},
        {Create("--codepage 1234"), 2, "code page 1234 is not supported; choose one of 874"},
        {Create("--best"), 2, "--best chooses how --compress compresses"},
        {Create("--description x --description-file about.txt"), 2, "exclude each other"},
        {Create("", "src", "src/docs/pkg.exe"), 2, "lies inside the source folder src"},
#ifdef _WIN32 // one folder to Windows
        {Create("", "src", "SRC/Docs/pkg.exe"), 2, "lies inside the source folder src"},
#endif
        {Create("--depfile out/../out/pkg.exe"), 2, "--depfile out/../out/pkg.exe names the package itself"},
        {Create(""), 2, "SOURCE_DATE_EPOCH: expected a whole number", "SOURCE_DATE_EPOCH=yesterday"},
        {Create("--cert about.txt"), 2, "needs both --cert and --key"},
        {"which-setup INSTALL.CFG --windows 31", 2, "'31' is not a system --windows knows"},
        {"which-setup INSTALL.CFG --windows xp --lang 4O9", 2, "--lang: expected a hexadecimal number"},
        {"which-setup INSTALL.CFG --media about.txt", 2, "--media: about.txt is not a folder"},
        {Create("-j 0"), 2, "--jobs: expected 1 or more files compressed at once, found 0"},
        {Create("--description '\xCE\xA9mega'"), 1, "the description: not representable in code page 1252: it "
                                                    "holds '\xCE\xA9'; write the description without it"},
        {Create("", "nothing"), 1, "nothing: cannot read the folder to pack"},
        {"list out/missing.exe", 1, "out/missing.exe: cannot open: "},
        {"verify src", 1, "src: expected a regular file, found a folder"},
    };
    for (const Case &c : cases) {
        CommandRun run = Run(c.arguments, c.environment);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        ASSERT_EQ(Lines(run.output).size(), 1u) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.rfind("velmor-pack: ", 0), 0u) << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(fs::is_empty(root / "out")) << c.arguments;
        EXPECT_FALSE(fs::exists(root / "src" / "docs" / "pkg.exe"));
    }
}

TEST_F(ConventionsTest, NumbersAreDecimal)
{
    CommandRun run = Run(Create("--codepage 01252"));
    ASSERT_EQ(run.status, 0) << run.output;
    CommandRun list = Run("list --codepage 001252 out/pkg.exe");
    EXPECT_EQ(list.status, 0) << list.output;
}

#ifndef _WIN32 // names that Windows cannot hold, and a FIFO
TEST_F(ConventionsTest, EveryProblemOfTheInputIsReportedOnALineOfItsOwn)
{
    Write(root / "src" / "caf\xe9.txt", "Latin-1 name");
    Write(root / "src" / "two\nlines", "a line break in the name");
    Write(root / "src" / "\xc3\x9c" "bersicht.txt", "1");
    Write(root / "src" / "\xc3\xbc" "bersicht.txt", "2");
    ASSERT_EQ(mkfifo((root / "src" / "pipe").c_str(), 0600), 0);
    CommandRun run = Run(Create("--folder Acme"));
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines = Lines(run.output);
    std::vector<std::string> expected = {
        "velmor-pack: src/pipe: expected a regular file or folder, found a FIFO",
        "velmor-pack: --folder 'Acme' must be a full Windows path",
        "velmor-pack: caf\\xE9.txt: the name is not UTF-8 text",
        "velmor-pack: two\\x0Alines: the name holds a character Windows does not allow in file names: '\\x0A'",
        "velmor-pack: \xc3\xbc" "bersicht.txt: Windows does not tell it apart from \xc3\x9c" "bersicht.txt",
    };
    ASSERT_EQ(lines.size(), expected.size()) << run.output;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
    EXPECT_TRUE(fs::is_empty(root / "out"));
}
#endif

TEST_F(ConventionsTest, QuietVerboseAndWarningsAsErrors)
{
    fs::create_directories(root / "src" / "empty");
    struct Case {
        const char *options;
        int status;
        std::vector<std::string> lines; // the output, line by line; "" for any line
        bool written;
    } cases[] = {
        {"", 0, {"velmor-pack: warning: empty: empty folder, not stored", "out/pkg.exe: 2 entries, "}, true},
        {"-q", 0, {}, true},
        {"-v", 0, {"velmor-pack: warning: empty: empty folder", "setup.exe", "docs/read me.txt", "out/pkg.exe: "}, true},
        {"--warnings-as-errors", 1, {"velmor-pack: empty: empty folder, not stored",
                                     "velmor-pack: 1 warning with --warnings-as-errors: no package was written"}, false},
        {"-q --warnings-as-errors", 1, {"velmor-pack: empty: empty folder", "velmor-pack: 1 warning"}, false},
    };
    for (const Case &c : cases) {
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        for (const std::string &run : {Create(c.options), std::string(c.options) + " " + Create("")}) {
            CommandRun result = Run(run);
            EXPECT_EQ(result.status, c.status) << run << "\n" << result.output;
            std::vector<std::string> lines = Lines(result.output);
            ASSERT_EQ(lines.size(), c.lines.size()) << run << "\n" << result.output;
            for (size_t i = 0; i < lines.size(); ++i)
                EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << run << ": " << lines[i];
            EXPECT_EQ(fs::exists(root / "out" / "pkg.exe"), c.written) << run;
        }
    }
}

TEST_F(ConventionsTest, CopiesOfATreeReadInBetweenGiveTheSamePackage)
{
    const char *files[] = {"setup.exe", "docs/read me.txt"};
    for (const char *file : files)
        SetFileTimes(root / "src" / file, {{1500000000, 0}, {1400000000, 500}});
    fs::copy(root / "src", root / "copy", fs::copy_options::recursive);
    // The copy's write times are the originals'; reading it moved its access times on
    // (set here, whatever the mount's atime rule).
    const int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (const char *file : files)
        SetFileTimes(root / "copy" / file, {{now, 0}, GetFileTimes(root / "src" / file).write});
    for (const char *options : {"", "--all-times"}) {
        ASSERT_EQ(Run(Create(options, "src", "out/a.exe")).status, 0);
        ASSERT_EQ(Run(Create(options, "copy", "out/b.exe")).status, 0);
        bool same = Read(root / "out" / "a.exe") == Read(root / "out" / "b.exe");
        EXPECT_EQ(same, std::string(options).empty()) << "options: " << options;
    }
    // Packing reads the files without moving their access times, old as they are.
    for (const char *file : files)
        SetFileTimes(root / "src" / file, {{1500000000, 0}, GetFileTimes(root / "src" / file).write});
    ASSERT_EQ(Run(Create("--all-times", "src", "out/first.exe")).status, 0);
    ASSERT_EQ(Run(Create("--all-times", "src", "out/again.exe")).status, 0);
    EXPECT_EQ(Read(root / "out" / "again.exe"), Read(root / "out" / "first.exe"));
}

TEST_F(ConventionsTest, SourceDateEpochClampsEveryStoredTime)
{
    SetFileTimes(root / "src" / "setup.exe", {{1000000000, 0}, {978307200, 0}});              // written 2001-01-01
    SetFileTimes(root / "src" / "docs" / "read me.txt", {{1900000000, 0}, {1893456000, 0}}); // written 2030-01-01
    CommandRun run = Run(Create("--all-times"), "SOURCE_DATE_EPOCH=1262304000"); // 2010-01-01
    ASSERT_EQ(run.status, 0) << run.output;
    CommandRun json = Run("list --json out/pkg.exe");
    ASSERT_EQ(json.status, 0) << json.output;
    // The older file keeps its access and write times; its creation time (its birth,
    // today) and every time of the newer file become 2010-01-01. Wine gives no birth
    // time and moves the access time on when asked for a file's facts.
    const std::string clamped = "2010-01-01T00:00:00Z";
    struct Case {
        const char *path;
        std::string creation, access, write;
    } cases[] = {{"setup.exe", UnderWine() ? "" : clamped, UnderWine() ? "" : "2001-09-09T01:46:40Z",
                  "2001-01-01T00:00:00Z"},
                 {"docs\\\\read me.txt", clamped, clamped, clamped}};
    std::vector<std::string> lines = Lines(json.output);
    for (const Case &c : cases) {
        auto entry = std::find_if(lines.begin(), lines.end(), [&](const std::string &line) {
            return line.find("\"path\": \"" + std::string(c.path) + "\"") != std::string::npos;
        });
        ASSERT_NE(entry, lines.end()) << c.path << "\n" << json.output;
        for (const auto &[name, time] : {std::pair{"creationTime", c.creation}, std::pair{"lastAccessTime", c.access},
                                         std::pair{"lastWriteTime", c.write}})
            if (!time.empty())
                EXPECT_NE(entry->find("\"" + std::string(name) + "\": \"" + time + "\""), std::string::npos)
                    << name << " " << time << "\n" << *entry;
    }
}

TEST_F(ConventionsTest, TheDescriptionFileMayBeginWithAByteOrderMark)
{
    Write(root / "about.txt", "\xEF\xBB\xBF\xC3\x9C" "ber Acme");
    ASSERT_EQ(Run(Create("--description-file about.txt")).status, 0);
    CommandRun json = Run("list --json out/pkg.exe");
    EXPECT_NE(json.output.find("\"description\": \"\xC3\x9C" "ber Acme\""), std::string::npos) << json.output;
}

// create --config: recipes in TOML and INI, paths relative to the recipe, the command
// line over the recipe.
TEST_F(ConventionsTest, ARecipeHoldsTheOptionsOfCreate)
{
    Write(root / "recipes" / "payload" / "setup.exe", "MZ setup");
    Write(root / "recipes" / "payload" / "tools" / "tool.exe", "MZ tool");
    Write(root / "recipes" / "about.txt", "Acme tools");
    const std::string toml = "# Acme tools\n"
                             "mode = \"setup\"\n"
                             "run = 'setup.exe'\n"
                             "folder = 'C:\\Acme Tools'\n"
                             "description-file = \"about.txt\"\n"
                             "compress = true\n"
                             "source = \"payload\"\n"
                             "output = \"acme.exe\"\n"
                             "stub = \"../stub.exe\"\n";
    const std::string ini = "; Acme tools\n"
                            "[create]\n"
                            "mode = setup\n"
                            "run = setup.exe\n"
                            "folder = \"C:\\Acme Tools\"\n"
                            "description-file = about.txt\n"
                            "compress = true\n"
                            "source = payload\n"
                            "output = acme.exe\n"
                            "stub = ../stub.exe\n";
    // Every path a recipe sets is the recipe's, under any name of its option.
    std::string shortKeys = toml;
    shortKeys.replace(shortKeys.find("output ="), 8, "o =");
    for (const auto &[name, text] : {std::pair{"acme.toml", toml}, std::pair{"acme.ini", ini},
                                     std::pair{"short.toml", shortKeys}}) {
        Write(root / "recipes" / name, text);
        fs::remove(root / "recipes" / "acme.exe");
        CommandRun run = Run(std::string("create --config recipes/") + name);
        ASSERT_EQ(run.status, 0) << name << "\n" << run.output;
        CommandRun list = Run("list recipes/acme.exe");
        for (const char *expected : {"setup (1)", "yes, every entry is an SZDD file", "C:\\Acme Tools", "Acme tools",
                                     "tools\\tool.exe"})
            EXPECT_NE(list.output.find(expected), std::string::npos) << name << ": " << expected << "\n" << list.output;

        // The command line wins over the recipe.
        CommandRun overridden = Run(std::string("create --config recipes/") + name + " --mode extract -o out/other.exe");
        ASSERT_EQ(overridden.status, 0) << overridden.output;
        EXPECT_NE(Run("list out/other.exe").output.find("extract (0)"), std::string::npos);
    }
}

// Each recipe gives the field that list shows, or the error at its file and line
// (status 2, nothing written).
TEST_F(ConventionsTest, RecipesAreReadAsTheirFormatsDefineThem)
{
    struct Case {
        const char *file;
        const char *text;
        const char *expected;
    } cases[] = {
        // Every TOML string form, escapes decoded.
        {"r.toml", "folder = \"C:\\\\Acme\\u0020Tools\"", "Folder         C:\\Acme Tools"},
        {"r.toml", "description = \"One\\nTwo \\u00e9\\\"\"", "               Two \xC3\xA9\""},
        {"r.toml", "folder = 'C:\\Raw\\n'", "Folder         C:\\Raw\\n"},
        {"r.toml", "description = \"\"\"\nFirst \\\n   line\"\"\"", "Description    First line"},
        {"r.toml", "run = '''setup.exe'''\nmode = \"setup\"", "Setup program  setup.exe"},
        {"r.toml", "\xEF\xBB\xBF[create]\nfolder = 'C:\\Bom'", "Folder         C:\\Bom"},
        {"r.ini", "\xEF\xBB\xBF; comment\r\n[create]\r\nfolder = \"C:\\Ini\"\r\ncompress = yes", "yes, every entry"},
        // TOML's own errors, with line and column.
        {"r.toml", "folder = 'C:\\Old'\nfolder = 'C:\\New'", "r.toml:2:"},
        {"r.toml", "[create]\nmode = \"setup\"\n[create]", "r.toml:3:1:"},
        {"r.toml", "description = Acme tools", "r.toml:1:"},
        // Keys and types.
        {"r.toml", "mode = \"extract\"\n[create]\nmode = \"setup\"", "r.toml:3: 'mode' is given twice, on lines 1 and 3"},
        {"r.toml", "jobs = 2\nj = 3", "r.toml:2: 'j' sets what 'jobs' on line 1 sets"},
        {"r.toml", "[create.sub]\nmode = \"setup\"", "r.toml:1: section [create.sub] is not read"},
        {"r.toml", "[sign]\ncert = \"x.pem\"", "r.toml:1: section [sign] is not read"},
        {"r.toml", "codepage = \"1252\"", "r.toml:1: 'codepage' takes an integer, found a string"},
        {"r.toml", "\ncompress = \"yes\"", "r.toml:2: 'compress' takes true or false, found a string"},
        {"r.toml", "folder = ['C:\\A']", "r.toml:1: 'folder' takes a string, found an array of strings"},
        {"r.toml", "colour = \"red\"", "r.toml:1: 'colour' is not an option a recipe of create can set\n"},
        {"r.toml", "destination = 'C:\\Acme'", "r.toml:1: 'destination' is not an option a recipe of create can "
                                             "set; did you mean 'folder'?"},
        {"r.toml", "descripton = 'Acme'", "r.toml:1: 'descripton' is not an option a recipe of create can set; did "
                                          "you mean 'description'?"},
        {"r.toml", "folder = \"C:\\Program Files\"", "r.toml:1:14: Error while parsing string: unknown escape "
                                                  "sequence '\\P'; in a \"...\" string a backslash begins an escape: "
                                                  "write a Windows path in single quotes ('C:\\Acme')"},
        {"r.toml", "jobs = 0", "r.toml:1: 'jobs': --jobs: expected 1 or more files compressed at once, found 0"},
        {"r.toml", "\ndescription = \"a\\u0000b\"", "r.toml:2: 'description' holds a NUL character"},
        {"r.toml", "config = \"other.toml\"", "r.toml:1: 'config' is not an option"},
        {"r.toml", "mode = \"install\"", "r.toml:1: 'mode'"},
        {"r.ini", "[create]\nfolder = C:\\Old\nfolder = C:\\New", "r.ini:3: 'folder' is given twice, on lines 2 and 3"},
        {"r.ini", "[create]\r\n\r\nfolder = a\r\nfolder = b", "r.ini:4: 'folder' is given twice, on lines 3 and 4"},
        {"r.ini", "[create]\nAcme tools", "r.ini:2: 'Acme tools' is neither"},
    };
    for (const Case &c : cases) {
        Write(root / "recipes" / c.file, c.text);
        fs::remove(root / "out" / "r.exe");
        CommandRun run = Run(Create(std::string("--config recipes/") + c.file, "src", "out/r.exe"));
        bool error = std::string(c.expected).rfind(c.file, 0) == 0;
        if (error) {
            EXPECT_EQ(run.status, 2) << c.text << "\n" << run.output;
            EXPECT_EQ(run.output.rfind("velmor-pack: recipes/" + std::string(c.expected), 0), 0u)
                << c.text << "\n" << run.output;
            EXPECT_FALSE(fs::exists(root / "out" / "r.exe"));
        } else {
            ASSERT_EQ(run.status, 0) << c.text << "\n" << run.output;
            std::string list = Run("list out/r.exe").output;
            EXPECT_NE(list.find(c.expected), std::string::npos) << c.text << "\n" << list;
        }
    }
}

TEST_F(ConventionsTest, TheExampleRecipeWorksFromAnyFolder)
{
    // Its setup program is built; the source folder is the example's files and that, as ./kit demo packs them.
    fs::copy(std::string(VELMOR_SOURCE_DIR) + "/examples/hello/files", root / "files", fs::copy_options::recursive);
    Write(root / "files" / "setup.exe", "MZ setup");
    CommandRun run = Run("create --config " + Quote(SystemPath(VELMOR_SOURCE_DIR "/examples/hello/hello.toml")) +
                         " --stub stub.exe -o out/hello.exe files");
    ASSERT_EQ(run.status, 0) << run.output;
    CommandRun list = Run("list out/hello.exe");
    for (const char *expected : {"C:\\Velmor Hello", "docs\\notes.txt", "readme.txt", "setup.exe"})
        EXPECT_NE(list.output.find(expected), std::string::npos) << expected << "\n" << list.output;
}

// The manual page names every option that --help shows.
TEST_F(ConventionsTest, TheManualPageNamesEveryOption)
{
    std::string page = Read(std::string(VELMOR_SOURCE_DIR) + "/docs/velmor-pack.1");
    ASSERT_FALSE(page.empty());
    for (const char *command : {"", "create", "list", "verify", "extract", "sign", "szdd compress", "szdd expand",
                                "which-setup"}) {
        CommandRun help = Run(std::string(command) + " --help");
        ASSERT_EQ(help.status, 0) << command;
        std::istringstream words(help.output);
        for (std::string word; words >> word;) {
            // "-j,--jobs" names its long form after the short one.
            size_t longForm = word.find(",--");
            if (word.rfind("--", 0) != 0 && longForm != std::string::npos)
                word = word.substr(longForm + 1);
            if (word.rfind("--", 0) != 0 || word.size() < 3)
                continue;
            word = word.substr(0, word.find_first_of(",=[]():;.'\""));
            std::string roff;
            for (char c : word)
                roff += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(page.find(roff), std::string::npos) << command << ": " << word;
        }
    }
}

} // namespace
