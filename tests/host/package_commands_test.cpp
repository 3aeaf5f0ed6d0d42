// velmor-pack list, verify and extract, run as a user runs them, on packages made by
// create and on damaged ones.
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <nlohmann/json.hpp>
#include "package_layout.h"
#include "host_support.h"
#include "record_writer.h"

namespace fs = std::filesystem;
using namespace velmor::test;

namespace {

bool Writable(const fs::path &path)
{
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

size_t CountLines(const std::string &text, const std::string &containing)
{
    size_t n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        n += line.find(containing) != std::string::npos;
    return n;
}

class InspectCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = FreshTestFolder("inspect");
        fs::create_directories(root / "out");
        stub = root / "stub.exe";
        Write(stub, StandInStub());
    }
    void TearDown() override
    {
        RemoveTree(root);
    }

    // A source tree with what a package can carry: nested folders, a read-only file,
    // an empty file, binary data, times with sub-second parts.
    void MakeSource()
    {
        const fs::path src = root / "src";
        Write(src / "setup.exe", "MZ setup program");
        Write(src / "readme.txt", "read me\r\n");
        Write(src / "empty.dat", "");
        Write(src / "data" / "big.bin", RandomBytes(300000, 7));
        Write(src / "data" / "deep" / "er" / "text.txt", std::string(5000, 'x') + "end");
        Write(src / "docs" / "locked.txt", "do not change");
        int i = 0;
        for (auto &e : fs::recursive_directory_iterator(src)) {
            if (!e.is_regular_file())
                continue;
            FileTimes given = {{1500000000 + i, 100L * i}, {1400000000 + 7 * i, 123456700L + 100 * i}};
            SetFileTimes(e.path(), given);
            times[fs::relative(e.path(), src).u8string()] = given;
            ++i;
        }
        fs::permissions(src / "docs" / "locked.txt", fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write, fs::perm_options::remove);
    }

    CommandRun Create(const std::string &options, const fs::path &output)
    {
        return Pack("create --stub " + Quote(stub) + " " + options + " " + Quote(root / "src") + " -o " +
                    Quote(output));
    }

    std::string MakePackage(const std::string &options = "--run setup.exe --folder 'C:\\Acme'")
    {
        MakeSource();
        fs::path package = root / "out" / "pkg.exe";
        CommandRun run = Create(options, package);
        EXPECT_EQ(run.status, 0) << run.output;
        return package.u8string();
    }

    fs::path root;
    fs::path stub;
    // Access and write times given to the source files (reading them moves the
    // access time on).
    std::map<std::string, FileTimes> times;
};

} // namespace

TEST_F(InspectCommandTest, ExtractReproducesTheSourceFiles)
{
    // --all-times: the access times given to the source files are stored and restored.
    for (const char *options : {"--run setup.exe --all-times", "--run setup.exe --compress --all-times"}) {
        RemoveTree(root / "src");
        RemoveTree(root / "out");
        fs::create_directories(root / "out");
        std::string package = MakePackage(options);
        CommandRun verify = Pack("verify " + Quote(package));
        EXPECT_EQ(verify.status, 0) << options << ": " << verify.output;
        EXPECT_NE(verify.output.find("sound, 6 entries"), std::string::npos) << verify.output;

        fs::path dest = root / "out" / "dest" / "below";
        CommandRun extract = Pack("extract " + Quote(package) + " " + Quote(dest));
        ASSERT_EQ(extract.status, 0) << options << ": " << extract.output;
        EXPECT_NE(extract.output.find("6 files extracted"), std::string::npos) << extract.output;
        EXPECT_EQ(Listing(dest), Listing(root / "src")) << options;
        for (auto &e : fs::recursive_directory_iterator(root / "src")) {
            if (!e.is_regular_file())
                continue;
            fs::path copy = dest / fs::relative(e.path(), root / "src");
            std::string label = std::string(options) + ": " + copy.u8string();
            // Read before reading moves the access time on.
            FileTimes a = GetFileTimes(e.path()), b = GetFileTimes(copy);
            EXPECT_EQ(Read(copy), Read(e.path())) << label;
            const FileTimes &given = times.at(fs::relative(e.path(), root / "src").u8string());
            EXPECT_EQ(b.write, a.write) << label;
            EXPECT_EQ(b.write, given.write) << label;
            EXPECT_EQ(b.access, a.access) << label;
            if (!UnderWine())
                EXPECT_EQ(b.access, given.access) << label;
            EXPECT_EQ(Writable(copy), Writable(e.path())) << label;
#ifndef _WIN32
            if (!Writable(e.path()))
                EXPECT_EQ(fs::status(copy).permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                                            fs::perms::others_write), fs::perms::none)
                    << label << ": read-only files lose every write bit";
#endif
        }
        // Again into the same folder: the read-only file of the first run is replaced,
        // as the stub replaces it.
        extract = Pack("extract " + Quote(package) + " " + Quote(dest));
        EXPECT_EQ(extract.status, 0) << options << ": " << extract.output;
    }
}

TEST_F(InspectCommandTest, ListShowsSettingsAndEntries)
{
    std::string package = MakePackage("--mode setup --run setup.exe --folder 'C:\\Acme' --description 'Acme 2.1'");
    CommandRun list = Pack("list " + Quote(package));
    ASSERT_EQ(list.status, 0) << list.output;
    for (const char *expected : {"setup (1)", "setup.exe", "C:\\Acme", "Acme 2.1", "data\\deep\\er\\text.txt",
                                 "docs\\locked.txt", "300000", "2014-05-13 16:53:20"})
        EXPECT_NE(list.output.find(expected), std::string::npos) << expected << "\n" << list.output;
    EXPECT_EQ(CountLines(list.output, "  R  "), 1u) << "only the locked file is read-only:\n" << list.output;

    CommandRun json = Pack("list --json " + Quote(package));
    ASSERT_EQ(json.status, 0) << json.output;
    for (const char *expected : {"\"mode\": \"setup\"", "\"compressed\": false", "\"path\": \"data\\\\big.bin\"",
                                 "\"size\": 300000", "\"problems\": []", "\"entryCount\": 6"})
        EXPECT_NE(json.output.find(expected), std::string::npos) << expected << "\n" << json.output;

    Write(root / "out" / "not-a-package.exe", "MZ" + std::string(2000, 'z'));
    CommandRun bad = Pack("list " + Quote(root / "out" / "not-a-package.exe"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("not a velmor package"), std::string::npos) << bad.output;
}

TEST_F(InspectCommandTest, VerifyNamesEachProblemWithItsEntry)
{
    std::string package = MakePackage("--run setup.exe --folder 'C:\\Acme'");
    std::string sound = Read(package);
    size_t trailer = sound.size() - kTrailerSize;
    // Entries in create's order: empty.dat, readme.txt, setup.exe, data\big.bin, ...
    size_t readme = sound.find("readme.txt");
    ASSERT_NE(readme, std::string::npos);
    struct Case {
        const char *name;
        std::string bytes;
        std::vector<std::string> lines; // each on a line of its own
    } cases[] = {
        {"name leaving the folder", [&] { std::string b = sound; b.replace(readme, 10, "..\\dme.txt"); return b; }(),
         {"entry 2 (..\\dme.txt): the file name '..\\dme.txt' is not a plain name"}},
        {"count over the records", [&] { std::string b = sound; b[trailer + 16] = 7; return b; }(),
         {"entry 7: the entry count is 7, but the data area ends after 6 entries"}},
        {"data area cut", sound.substr(0, trailer - 2) + sound.substr(trailer),
         {"entry 6 (docs\\locked.txt): its data of 13 bytes runs past the trailer (11 bytes are left)"}},
        {"mode 9", [&] { std::string b = sound; b[trailer + 10] = 9; return b; }(), {"mode 9 is neither"}},
    };
    for (const Case &c : cases) {
        fs::path damaged = root / "out" / "damaged.exe";
        Write(damaged, c.bytes);
        CommandRun run = Pack("verify " + Quote(damaged));
        EXPECT_EQ(run.status, 1) << c.name << ": " << run.output;
        for (const std::string &line : c.lines)
            EXPECT_EQ(CountLines(run.output, line), 1u) << c.name << ": " << line << "\n" << run.output;
        EXPECT_EQ(CountLines(run.output, damaged.string() + ": "), c.lines.size() + 1)
            << c.name << ": one line per problem and a summary\n" << run.output;
    }

    CommandRun longer = Pack("verify --folder 'C:\\" + std::string(240, 'L') + "' " + Quote(package));
    EXPECT_EQ(longer.status, 1) << longer.output;
    EXPECT_NE(longer.output.find("at most 255 fit"), std::string::npos) << longer.output;
    CommandRun relative = Pack("verify --folder Acme " + Quote(package));
    EXPECT_EQ(relative.status, 1);
    EXPECT_NE(relative.output.find("must be a full Windows path"), std::string::npos) << relative.output;
}

// Several packages: each one's findings and one summary line, the status of the worst;
// a file that cannot be read is one of them and does not stop the others.
TEST_F(InspectCommandTest, VerifyChecksEveryPackageItIsGiven)
{
    std::string sound = MakePackage();
    std::string bytes = Read(sound);
    fs::path damaged = root / "out" / "damaged.exe";
    bytes.replace(bytes.find("readme.txt"), 10, "..\\dme.txt");
    Write(damaged, bytes);
    const std::string missing = (root / "out" / "missing.exe").u8string();
    const std::string unsound = damaged.u8string() + ": 1 problem; ";
    struct Case {
        std::vector<std::string> packages;
        int status;
        std::vector<std::string> summaries; // one line each, in this order
    } cases[] = {
        {{sound, sound}, 0, {sound + ": sound, 6 entries", sound + ": sound, 6 entries"}},
        {{sound, damaged.u8string(), missing, sound},
         1,
         {sound + ": sound", unsound, missing + ": cannot open", sound + ": sound"}},
    };
    for (const Case &c : cases) {
        std::string arguments;
        for (const std::string &package : c.packages)
            arguments += " " + Quote(package);
        CommandRun run = Pack("verify" + arguments);
        EXPECT_EQ(run.status, c.status) << arguments << "\n" << run.output;
        EXPECT_EQ(CountLines(run.output, ": sound, ") + CountLines(run.output, "velmor-pack: "), c.packages.size())
            << run.output;
        size_t at = 0;
        for (const std::string &summary : c.summaries) {
            at = run.output.find(summary, at);
            ASSERT_NE(at, std::string::npos) << "in order: " << summary << "\n" << run.output;
            at += summary.size();
        }
    }

    // The same as JSON, alone on the output. A package name that is not UTF-8 comes
    // through with U+FFFD; Windows names are Unicode and come through as they are.
#ifdef _WIN32
    const fs::path named = root / "out" / fs::u8path("caf\xC3\xA9.exe");
    const std::string shown = named.u8string();
#else
    const fs::path named = root / "out" / "caf\xE9.exe";
    const std::string shown = (root / "out" / "caf\xEF\xBF\xBD.exe").string();
#endif
    fs::copy_file(sound, named);
    CommandRun json = Pack("verify --json " + Quote(sound) + " " + Quote(damaged) + " " + Quote(missing) + " " +
                           Quote(named));
    EXPECT_EQ(json.status, 1) << json.output;
    nlohmann::json document = nlohmann::json::parse(json.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << json.output;
    EXPECT_EQ(document["sound"], false);
    ASSERT_EQ(document["packages"].size(), 4u) << json.output;
    // Every member the guide names, for each package; null for one that cannot be read.
    const nlohmann::json none;
    struct Expected {
        std::string path;
        bool sound;
        bool readable;
        size_t problems;
        nlohmann::json entryCount, compressed, setupProgram, isSigned;
    } expected[] = {{sound, true, true, 0, 6, false, "setup.exe", false},
                    {damaged.u8string(), false, true, 1, 6, false, "setup.exe", false},
                    {missing, false, false, 0, none, none, none, none},
                    {shown, true, true, 0, 6, false, "setup.exe", false}};
    for (size_t i = 0; i < 4; ++i) {
        const nlohmann::json &package = document["packages"][i];
        std::vector<std::string> members;
        for (const auto &member : package.items())
            members.push_back(member.key());
        std::sort(members.begin(), members.end());
        EXPECT_EQ(members, (std::vector<std::string>{"compressed", "entryCount", "error", "notes", "path", "problems",
                                                     "setupProgram", "signature", "signed", "sound"}));
        EXPECT_EQ(package["path"], expected[i].path) << package;
        EXPECT_EQ(package["sound"], expected[i].sound) << package;
        EXPECT_EQ(package["error"].is_null(), expected[i].readable) << package;
        EXPECT_EQ(package["problems"].size(), expected[i].problems) << package;
        EXPECT_EQ(package["entryCount"], expected[i].entryCount) << package;
        EXPECT_EQ(package["compressed"], expected[i].compressed) << package;
        EXPECT_EQ(package["setupProgram"], expected[i].setupProgram) << package;
        EXPECT_EQ(package["signed"], expected[i].isSigned) << package;
        EXPECT_TRUE(package["signature"].is_null()) << package;
        EXPECT_TRUE(package["notes"].is_array() && package["notes"].empty()) << package;
    }
    const nlohmann::json &problem = document["packages"][1]["problems"][0];
    EXPECT_EQ(problem["index"], 2);
    EXPECT_EQ(problem["entry"], "..\\dme.txt");
    EXPECT_EQ(problem["kind"], "name");
    EXPECT_NE(problem["message"].get<std::string>().find("is not a plain name"), std::string::npos) << problem;
}

// A note (a name that holds a zero byte before its stored length ends) is printed and
// passes by default, is a problem with --warnings-as-errors, and is not printed with -q.
TEST_F(InspectCommandTest, VerifyNotesPassUnlessWarningsAreErrors)
{
    fs::path noted = root / "out" / "noted.exe";
    std::string bytes = BytePackage({{"", "A.TXT_X"}}, {"a"});
    bytes[bytes.find("A.TXT_X") + 5] = '\0';
    Write(noted, bytes);
    const std::string what = "entry 1 (A.TXT): the file name holds a zero byte before its stored length ends";
    struct Case {
        const char *options;
        int status;
        std::string line; // "" for none
    } cases[] = {{"", 0, noted.string() + ": note: " + what},
                 {"--warnings-as-errors ", 1, noted.string() + ": " + what},
                 {"-q ", 0, ""}};
    for (const Case &c : cases) {
        CommandRun run = Pack(std::string("verify ") + c.options + Quote(noted));
        EXPECT_EQ(run.status, c.status) << c.options << run.output;
        EXPECT_EQ(CountLines(run.output, what), c.line.empty() ? 0u : 1u) << c.options << run.output;
        if (!c.line.empty())
            EXPECT_NE(run.output.find(c.line + "\n"), std::string::npos) << c.options << run.output;
    }
}

// Behind a program that is not the stub, a package lists but is not sound.
TEST_F(InspectCommandTest, AForeignStubIsListedAndReported)
{
    std::string bytes = BytePackage({{"", "A.TXT"}}, {"a"});
    std::string foreign = StandInStub("QX-V0.10");
    ASSERT_EQ(foreign.size(), StandInStub().size());
    fs::path package = root / "out" / "foreign.exe";
    Write(package, foreign + bytes.substr(foreign.size()));
    CommandRun verify = Pack("verify " + Quote(package));
    EXPECT_EQ(verify.status, 1) << verify.output;
    EXPECT_EQ(CountLines(verify.output, "the program before the data is not the velmor stub"), 1u) << verify.output;
    CommandRun list = Pack("list " + Quote(package));
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(CountLines(list.output, "A.TXT"), 1u) << list.output;
    EXPECT_EQ(CountLines(list.output, "1 more problem; see velmor-pack verify"), 1u) << list.output;
}

TEST_F(InspectCommandTest, ExtractStopsAtADamagedEntryAndNeverLeavesTheDestination)
{
    using velmor::EntryHeader;
    struct Case {
        const char *name;
        std::string package;
        const char *expected;
    } cases[] = {
        {"parent directory", BytePackage({{"", "FIRST.TXT"}, {"..", "ESCAPE.TXT"}}, {"1", "bad"}), "entry 2"},
        {"path in the file name", BytePackage({{"", "FIRST.TXT"}, {"", "..\\ESCAPE.TXT"}}, {"1", "bad"}), "entry 2"},
        {"absolute directory", BytePackage({{"", "FIRST.TXT"}, {"\\TMP", "ESCAPE.TXT"}}, {"1", "bad"}), "entry 2"},
        {"drive letter", BytePackage({{"", "FIRST.TXT"}, {"C:..", "ESCAPE.TXT"}}, {"1", "bad"}), "entry 2"},
        {"trimmed dots", BytePackage({{"", "FIRST.TXT"}, {"SUB\\...", "ESCAPE.TXT"}}, {"1", "bad"}), "entry 2"},
        {"wildcard", BytePackage({{"", "FIRST.TXT"}, {"", "A*.TXT"}}, {"1", "bad"}), "entry 2 (A*.TXT)"},
    };
    for (const Case &c : cases) {
        fs::path work = root / "out" / "work";
        fs::remove_all(work);
        Write(work / "pkg.exe", c.package);
        fs::create_directories(work / "in" / "dest");
        std::vector<std::string> before = Listing(work);
        CommandRun run = Pack("extract " + Quote(work / "pkg.exe") + " " + Quote(work / "in" / "dest"));
        EXPECT_EQ(run.status, 1) << c.name << ": " << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.name << ": " << run.output;
        EXPECT_NE(run.output.find("entries 1 to 1 were extracted"), std::string::npos) << run.output;
        before.push_back("in/dest/FIRST.TXT");
        std::sort(before.begin(), before.end());
        EXPECT_EQ(Listing(work), before) << c.name << ": the first entry only, nothing elsewhere";
        EXPECT_FALSE(fs::exists(root / "out" / "ESCAPE.TXT")) << c.name;
    }

#ifndef _WIN32
    // A symbolic link inside the destination is not followed out of it (on Windows,
    // junctions: WindowsFilesTest).
    fs::path outside = root / "out" / "outside";
    fs::create_directories(outside);
    fs::path dest = root / "out" / "linked";
    fs::create_directories(dest);
    fs::create_directory_symlink(outside, dest / "SUB");
    fs::create_symlink(outside / "target.txt", dest / "LINK.TXT");
    Write(root / "out" / "links.exe", BytePackage({{"SUB", "IN.TXT"}}, {"x"}));
    CommandRun viaDirectory = Pack("extract " + Quote(root / "out" / "links.exe") + " " + Quote(dest));
    EXPECT_EQ(viaDirectory.status, 1) << viaDirectory.output;
    EXPECT_NE(viaDirectory.output.find("symbolic link"), std::string::npos) << viaDirectory.output;
    Write(root / "out" / "links.exe", BytePackage({{"", "LINK.TXT"}}, {"x"}));
    CommandRun viaFile = Pack("extract " + Quote(root / "out" / "links.exe") + " " + Quote(dest));
    EXPECT_EQ(viaFile.status, 1) << viaFile.output;
    EXPECT_TRUE(fs::is_empty(outside));
#endif
}

TEST_F(InspectCommandTest, ExtractFollowsTheStubsDirectoryRule)
{
    // An empty directory name keeps the previous entry's directory; a name differing
    // only in letter case is the same folder, as on Windows.
    Write(root / "out" / "pkg.exe",
          BytePackage({{"", "ROOT.TXT"}, {"A\\B", "1.TXT"}, {"", "2.TXT"}, {"a\\b\\", "3.TXT"}, {"C", "4.TXT"}},
                      {"r", "1", "2", "3", "4"}));
    fs::path dest = root / "out" / "dest";
    CommandRun run = Pack("extract " + Quote(root / "out" / "pkg.exe") + " " + Quote(dest));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Listing(dest), (std::vector<std::string>{"A", "A/B", "A/B/1.TXT", "A/B/2.TXT", "A/B/3.TXT", "C",
                                                        "C/4.TXT", "ROOT.TXT"}));
}

TEST_F(InspectCommandTest, EveryCommandHelpHasAnExample)
{
    for (const char *command : {"list", "verify", "extract"}) {
        CommandRun help = Pack(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.output.find("Example"), std::string::npos) << help.output;
        EXPECT_NE(help.output.find(std::string("  velmor-pack ") + command + " "), std::string::npos) << help.output;
    }
    CommandRun missing = Pack("extract " + Quote(root / "none.exe") + " " + Quote(root / "dest"));
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("none.exe"), std::string::npos) << missing.output;
    EXPECT_FALSE(fs::exists(root / "dest"));
}
